// TcvbSMTP: delivers one message to an SMTP server. Setting Action runs one dialogue step
// (connect, send, disconnect, ...) and returns when it is over; failures raise EcvbSMTP.
#pragma once

#include "socket/IPPortMsg.h"

#include <QStringList>

#include <cstdint>
#include <functional>

namespace cvb {

enum TcvbSMTPActions {
    smtpIdle = 0,
    smtpConnect = 1,
    smtpDisconnect = 2,
    smtpSend = 3,
    smtpResetHeaders = 4,
    smtpCommand = 5,
};

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

    // Copies the server, the addresses, the headers, the text and the four trace and
    // transfer handlers.
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
    int Disconnect();
    int Send();
    int SendBody();
    void ResetHeaders();
    // One command and its reply; an empty command reads the greeting.
    int Step(const QByteArray &command);
    // A failure with a text of its own.
    int Fail(int code, const QString &text);
    void Trail(int direction, const QString &message);

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
