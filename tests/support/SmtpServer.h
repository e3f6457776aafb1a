// A real SMTP server (aiosmtpd, run with Debian's python) on 127.0.0.1 and a free port, that
// accepts every message and records its envelope and bytes, plain or with TLS and a log-in.
#pragma once
#include <QByteArray>
#include <QProcess>
#include <QStringList>
#include <QTemporaryDir>

namespace cvb::test {

struct ReceivedMail
{
    QString helo;
    QString mailFrom;
    QStringList rcptTos;
    QByteArray message; // the bytes after DATA, up to the terminating "."
    bool tls = false;   // the message came over TLS
    QString user;       // the user logged in as; empty without a log-in
};

struct SmtpServerOptions
{
    QStringList refused; // recipient addresses answered with a 550 reply
    enum class Tls { None, StartTls, Implicit } tls = Tls::None;
    QString pemFile; // certificate and key, for TLS
    // A log-in that is required and the only one accepted (none when the user is empty).
    QString user;
    QString password;
    bool authOverPlain = false; // AUTH offered without TLS as well
    bool loginOnly = false;     // AUTH LOGIN alone, no AUTH PLAIN
};

// The message with the value of its Message-ID header replaced by "<ID>" (every mail has a new
// one), so that whole messages can be compared.
QByteArray maskedMessageId(const QByteArray &message);

class SmtpServer
{
public:
    // Starts the server; refused: recipient addresses answered with a 550 reply.
    explicit SmtpServer(const QStringList &refused = {});
    explicit SmtpServer(const SmtpServerOptions &options);
    ~SmtpServer();
    SmtpServer(const SmtpServer &) = delete;
    SmtpServer &operator=(const SmtpServer &) = delete;

    bool IsRunning() const { return m_ready; }
    int Port() const { return m_port; }
    // The folder the server writes its messages to.
    QString Folder() const { return m_dir.path(); }
    QString FileOf(int n) const;
    // Waits up to timeoutMs for the n-th message (from 1); empty helo and no bytes on time-out.
    ReceivedMail WaitMessage(int n, int timeoutMs = 10000) const;
    // Messages received so far.
    int Count() const;
    // Every byte the clients have sent so far, after decryption.
    QByteArray Transcript() const;
    QString Errors();

private:
    QTemporaryDir m_dir;
    QProcess m_process;
    int m_port = 0;
    bool m_ready = false;
};

} // namespace cvb::test
