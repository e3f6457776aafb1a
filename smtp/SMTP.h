// TcvbSMTP: delivers one message to an SMTP server. Setting Action runs one dialogue step
// (connect, send, disconnect, ...) and returns when it is over; failures raise EcvbSMTP.
//
// Plain SMTP greets with HELO, as it always has. With TLS (STARTTLS after EHLO, required, or TLS
// from the first byte) the component greets with EHLO, greets again once TLS is up, and logs in
// with AUTH PLAIN or AUTH LOGIN (PLAIN when the server offers both) when a user is set. The
// log-in never travels over an unencrypted connection, and the password never reaches the trace.
#pragma once

#include "socket/IPPortMsg.h"

#include <QStringList>

#include <cstdint>
#include <functional>
#include <memory>

namespace cvb {

enum TcvbSMTPActions {
    smtpIdle = 0,
    smtpConnect = 1,
    smtpDisconnect = 2,
    smtpSend = 3,
    smtpResetHeaders = 4,
    smtpCommand = 5,
};

// Plain SMTP; STARTTLS after EHLO (required: never given up for plain); TLS from the first byte.
enum TSMTPSecurity { smtpsNone = 0, smtpsStartTls = 1, smtpsImplicit = 2 };

// Error codes of the component beyond the reply refusals (161) and the connection events (162).
inline constexpr int kSmtpNotSecured = 168; // TLS required but not offered or refused
inline constexpr int kSmtpNoLogIn = 169;    // a log-in that cannot be made safely or at all

class EcvbSMTP : public EcvbComponent
{
public:
    using EcvbComponent::EcvbComponent;
};

using TTransferEvent = std::function<void(QObject *Sender, std::int64_t BytesTransferred)>;

class TcvbSMTP : public CIPPortMsgPlusFile
{
    Q_OBJECT
public:
    explicit TcvbSMTP(QObject *parent = nullptr);
    ~TcvbSMTP() override;

    std::uint16_t MailPort() const { return RemotePort(); }
    void SetMailPort(std::uint16_t port) { SetRemotePort(port); }
    QString MailServer() { return RemoteHost(); }
    void SetMailServer(const QString &host) { SetRemoteHost(host); }

    TSMTPSecurity Security() const { return m_security; }
    void SetSecurity(TSMTPSecurity security) { m_security = security; }
    // The name the server's certificate must carry (the host as the user wrote it); the
    // server's address when empty.
    QString ServerName() { return m_serverName.isEmpty() ? MailServer() : m_serverName; }
    void SetServerName(const QString &name) { m_serverName = name; }
    // A SHA-256 fingerprint trusted for this server although the system's store does not vouch
    // for its certificate (any common spelling).
    QString TrustedFingerprint() const { return m_trustedFingerprint; }
    void SetTrustedFingerprint(const QString &fingerprint) { m_trustedFingerprint = fingerprint; }
    // The certificate the server showed on the last TLS connection (empty without one).
    TlsCertificateInfo PeerCertificate() const { return m_peerCertificate; }
    // The log-in; an empty user logs in nowhere.
    QString User() const { return m_user; }
    void SetUser(const QString &user) { m_user = user; }
    void SetPassword(const QString &password) { m_password = password; }

    int Action() const { return m_action; }
    // Runs the action; smtpIdle interrupts a running one.
    void SetAction(int action);

    // String values and whole lists are stored folded to a width of 80.
    QString From() const { return m_from; }
    void SetFrom(const QString &from);
    QStringList &SendTo() { return m_sendTo; }
    void SetSendTo(const QStringList &list);
    QStringList &Cc() { return m_cc; }
    void SetCc(const QStringList &list);
    QStringList &BCc() { return m_bcc; }
    void SetBCc(const QStringList &list);
    QString ReplyTo() const { return m_replyTo; }
    void SetReplyTo(const QString &value);
    QString Date() const { return m_date; }
    void SetDate(const QString &value);
    QString Subject() const { return m_subject; }
    void SetSubject(const QString &value);
    QStringList &OtherHeaders() { return m_otherHeaders; }
    QStringList &MessageText() { return m_messageText; }
    // A file whose bytes are sent after MessageText; empty for none.
    QString AttachedFile() const { return m_attachedFile; }
    void SetAttachedFile(const QString &path) { m_attachedFile = path; }
    // A raw command line for smtpCommand.
    QString Command() const { return m_command; }
    void SetCommand(const QString &command) { m_command = command; }

    TPITrailEvent OnPITrail;
    TTransferEvent OnTransfer;
    TNotifyEvent OnStartTransfer;
    TNotifyEvent OnEndTransfer;

    // Copies the server with its security, trust and log-in, the addresses, the headers, the text
    // and the four trace and transfer handlers.
    void Assign(const TcvbSMTP &other);

    std::exception_ptr CreateError(int code, const QString &text) override;

    // The header block sent after DATA, as its bytes.
    QByteArray HeaderBlock() const;

protected:
    int FileProgressHook(qint64 bytesSent) override;
    void FireConnected(int status, const QString &description) override;
    void FireDisconnected(int status, const QString &description) override;
    void ReplyLineHook(const QByteArray &line) override;

private:
    int run(int action);
    int Connect();
    // EHLO, keeping what the server offers.
    int Ehlo();
    int StartTls();
    // TLS on the connection and the trust decision; the connection is closed when either fails.
    int Secure();
    int Authenticate();
    // The reply to the step just made must begin with `code`, else the step failed with it.
    int Expect(int result, const char *code);
    void DropConnection();
    int Disconnect();
    int Send();
    int SendBody();
    void ResetHeaders();
    // One command and its reply; an empty command reads the greeting. `traced` stands in the
    // trace for a command that carries a secret.
    int Step(const QByteArray &command, const QString &traced = {});
    // A failure with a text of its own.
    int Fail(int code, const QString &text);
    void Trail(int direction, const QString &message);

    TSMTPSecurity m_security = smtpsNone;
    QString m_serverName;
    QString m_trustedFingerprint;
    TlsCertificateInfo m_peerCertificate;
    std::unique_ptr<CTlsContext> m_tlsContext;
    QString m_user;
    QString m_password;
    // What the last EHLO reply offered, and whether this connection has logged in.
    bool m_startTlsOffered = false;
    QStringList m_authMechanisms;
    bool m_authenticated = false;
    TReply m_reply; // the reply to the last step

    int m_action = smtpIdle;
    QString m_resultText;
    QString m_localHost;
    bool m_localHostKnown = false;
    bool m_transferring = false;

    QString m_from;
    QStringList m_sendTo;
    QStringList m_cc;
    QStringList m_bcc;
    QString m_replyTo;
    QString m_date;
    QString m_subject;
    QStringList m_otherHeaders;
    QStringList m_messageText;
    QString m_attachedFile;
    QString m_command;
};

} // namespace cvb
