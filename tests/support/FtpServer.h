// Real FTP servers on loopback for tests and benchmarks: pyftpdlib (user with every right,
// active and passive mode) and vsftpd (anonymous, read-only, run in the foreground as root); both
// speak FTP over TLS when given a certificate (tests/support/TestCertificate.h).
#pragma once

#include "tests/support/Files.h"

#include <QProcess>
#include <QString>
#include <QTemporaryDir>

#include <memory>

namespace cvb::test {

class PyFtpServer
{
public:
    // Starts the server on a port of the system's choice with a fresh empty root folder. With
    // `tlsPem` (certificate and key) it requires TLS; with `cutDataTls` as well, its data
    // connections end without the TLS close.
    PyFtpServer(const QString &user = QStringLiteral("tester"),
                const QString &password = QStringLiteral("secret"), const QString &tlsPem = {},
                bool cutDataTls = false);
    ~PyFtpServer();
    PyFtpServer(const PyFtpServer &) = delete;
    PyFtpServer &operator=(const PyFtpServer &) = delete;

    // True once the server accepts connections; false (with `error()`) when it did not start.
    bool isListening() const { return m_port != 0; }
    QString error() const { return m_error; }
    int port() const { return m_port; }
    QString root() const { return m_root.path(); }
    // Absolute path of a file or folder below the root.
    QString path(const QString &relative) const { return m_root.filePath(relative); }
    QString user() const { return m_user; }
    QString password() const { return m_password; }

private:
    QTemporaryDir m_root;
    QString m_user;
    QString m_password;
    QProcess m_process;
    QString m_error;
    int m_port = 0;
};

class VsftpdServer
{
public:
    // Serves `root` (an existing folder) to anonymous users on a free loopback port. With
    // `tlsPem` (certificate and key) it requires TLS with session reuse on data connections and
    // takes uploads into folders that every user may write; `implicitTls` starts TLS with the
    // first byte.
    explicit VsftpdServer(const QString &root, const QString &tlsPem = {}, bool implicitTls = false);
    ~VsftpdServer();
    VsftpdServer(const VsftpdServer &) = delete;
    VsftpdServer &operator=(const VsftpdServer &) = delete;

    bool isListening() const { return m_listening; }
    QString error() const { return m_error; }
    int port() const { return m_port; }

private:
    QProcess m_process;
    QString m_error;
    int m_port = 0;
    bool m_listening = false;
};

// The pyftpdlib server of odd_ftp_server.py (user "tester", password "secret", read-only):
// extra names in every folder listing, optionally no active data connections, optionally files
// sent at most `sendRate` bytes a second, and optionally a file name whose download stalls after
// its first bytes. `options` are further flags of the script ("--no-mlsd", "--max-sessions", "3",
// the faults of a bad line such as "--cut-every", "5").
class OddFtpServer
{
public:
    OddFtpServer(const QString &root, const QStringList &extraNames, bool noActive = false, int sendRate = 0,
                 const QString &stallName = {}, const QString &refuseSecondCwd = {}, bool namesOnly = false,
                 const QStringList &options = {});
    ~OddFtpServer();
    OddFtpServer(const OddFtpServer &) = delete;
    OddFtpServer &operator=(const OddFtpServer &) = delete;

    int port() const { return m_port; }

private:
    QProcess m_process;
    int m_port = 0;
};

// One line of a pyftpdlib server's log: a command the client sent or a reply of the server.
struct LoggedLine
{
    QString session; // "127.0.0.1:<client port>": the control connection it belongs to
    bool fromClient = false;
    QString text; // "REST 4096", "PASS ******", "426 Connection reset after ..."
};

// A RETR in a server's log: the file (its absolute path, also when the client named it in the
// folder it had changed to), the REST offset it started from and the final reply (226, 426, 421,
// 550, ...; empty when the log ends before it).
struct LoggedDownload
{
    QString session;
    QString path;
    qint64 offset = 0;
    QString reply;
};

// The pyftpdlib servers log every session to PREFIX.<pid> while CVB_FTP_LOG=PREFIX is set when
// they start: every command and reply in the logs of `logPrefix`, in order per log.
QList<LoggedLine> loggedLines(const QString &logPrefix);
// The arguments of every `command` in those logs.
QStringList loggedArguments(const QString &logPrefix, const QString &command);
// Every RETR in those logs, in the order the server took them.
QList<LoggedDownload> loggedDownloads(const QString &logPrefix);

// The odd server started with CVB_FTP_LOG set, so that it logs every command; `options` are
// flags of odd_ftp_server.py, the faults of a bad line among them ("--cut-every", "5").
class LoggingOddFtpServer
{
public:
    LoggingOddFtpServer(const QString &root, const QStringList &options);

    int port() const { return m_server->port(); }
    QString logPrefix() const { return m_logs.filePath(QStringLiteral("session")); }
    QStringList arguments(const QString &command) const { return loggedArguments(logPrefix(), command); }
    QList<LoggedDownload> downloads() const { return loggedDownloads(logPrefix()); }

private:
    QTemporaryDir m_logs;
    std::unique_ptr<OddFtpServer> m_server;
};

// Waits until something accepts TCP connections on 127.0.0.1:port (at most timeoutMs).
bool waitUntilListening(int port, int timeoutMs = 10000);

} // namespace cvb::test
