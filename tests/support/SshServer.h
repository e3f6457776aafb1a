// OpenSSH's sshd on loopback as the SFTP server of the tests and benchmarks, started by
// tests/support/sshd-run.sh with a configuration, a host key and a user key of its own, and
// stopped with the object. Its sessions start in root().
#pragma once

#include <QProcess>
#include <QString>
#include <QTemporaryDir>

namespace cvb::test {

class SshServer
{
public:
    SshServer();
    ~SshServer();
    SshServer(const SshServer &) = delete;
    SshServer &operator=(const SshServer &) = delete;

    bool isListening() const { return m_listening; }
    QString error() const { return m_error; }
    int port() const { return m_port; }
    // "sftp://127.0.0.1:<port>", for the server field.
    QString address() const;
    QString root() const { return m_dir.filePath(QStringLiteral("root")); }
    QString path(const QString &relative) const { return root() + QLatin1Char('/') + relative; }

    // The account that logs on with the user key (the user running the tests).
    static QString keyUser();
    // The private key that the server takes, for a ~/.ssh of a test's own.
    QString userKey() const { return m_dir.filePath(QStringLiteral("state/id_ed25519")); }
    // Makes `home`/.ssh hold the user key, as a user's own ~/.ssh would.
    bool installUserKey(const QString &home) const;
    // The server's host key as OpenSSH prints it ("SHA256:" and base64).
    QString hostKeyFingerprint() const;
    // Another real key's fingerprint, for a pin that the server's key does not match.
    QString otherKeyFingerprint() const;

    // The account with the password "secret": only when the tests run as root, which may make
    // it. Empty otherwise (password tests are then skipped). root() is open to it.
    QString passwordUser() const { return m_passwordUser; }
    static QString password() { return QStringLiteral("secret"); }

private:
    QTemporaryDir m_dir;
    QProcess m_process;
    QString m_error;
    QString m_passwordUser;
    int m_port = 0;
    bool m_listening = false;
};

} // namespace cvb::test
