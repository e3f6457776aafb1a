#include "tests/support/SshServer.h"

#include "tests/support/Files.h"
#include "tests/support/FtpServer.h"
#include "tests/support/Peers.h"

#include <QDir>
#include <QFile>

#include <pwd.h>
#include <unistd.h>

namespace cvb::test {

namespace {

QString fingerprintOf(const QString &publicKey)
{
    // "256 SHA256:... comment (ED25519)"
    const ProcessResult r =
        runProcess(QStringLiteral("ssh-keygen"), {QStringLiteral("-l"), QStringLiteral("-E"),
                                                  QStringLiteral("sha256"), QStringLiteral("-f"), publicKey});
    return QString::fromUtf8(r.out).section(QLatin1Char(' '), 1, 1);
}

} // namespace

SshServer::SshServer() : m_port(freePort())
{
    QDir().mkpath(root());
    if (::geteuid() == 0) {
        // The password account reaches the root through the test's own folder.
        m_passwordUser = QStringLiteral("cvbsftp");
        QFile::setPermissions(m_dir.path(), QFileDevice::ReadOwner | QFileDevice::WriteOwner |
                                                QFileDevice::ExeOwner | QFileDevice::ExeGroup |
                                                QFileDevice::ExeOther);
        QFile::setPermissions(root(),
                              QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner |
                                  QFileDevice::ReadGroup | QFileDevice::WriteGroup | QFileDevice::ExeGroup |
                                  QFileDevice::ReadOther | QFileDevice::WriteOther | QFileDevice::ExeOther);
    }
    // The server's log goes to a file: a pipe that nobody reads would stop it once full.
    m_process.setStandardOutputFile(QProcess::nullDevice());
    m_process.setStandardErrorFile(m_dir.filePath(QStringLiteral("sshd.log")));
    m_process.start(QStringLiteral("/bin/sh"),
                    {sourcePath(QStringLiteral("tests/support/sshd-run.sh")), QString::number(m_port), root(),
                     m_dir.filePath(QStringLiteral("state"))});
    if (!m_process.waitForStarted(10000)) {
        m_error = QStringLiteral("could not start sshd-run.sh");
        return;
    }
    m_listening = waitUntilListening(m_port, 30000);
    if (!m_listening)
        m_error = QString::fromUtf8(readFile(m_dir.filePath(QStringLiteral("sshd.log"))));
}

SshServer::~SshServer()
{
    if (m_process.state() == QProcess::NotRunning)
        return;
    m_process.terminate();
    if (!m_process.waitForFinished(5000)) {
        m_process.kill();
        m_process.waitForFinished(5000);
    }
}

QString SshServer::address() const
{
    return QStringLiteral("sftp://127.0.0.1:%1").arg(m_port);
}

QString SshServer::keyUser()
{
    const passwd *account = ::getpwuid(::geteuid());
    return account ? QString::fromLocal8Bit(account->pw_name) : QString();
}

bool SshServer::installUserKey(const QString &home) const
{
    const QString ssh = home + QStringLiteral("/.ssh");
    return QDir().mkpath(ssh) && QFile::copy(userKey(), ssh + QStringLiteral("/id_ed25519")) &&
           QFile::setPermissions(ssh + QStringLiteral("/id_ed25519"),
                                 QFileDevice::ReadOwner | QFileDevice::WriteOwner);
}

QString SshServer::hostKeyFingerprint() const
{
    return fingerprintOf(m_dir.filePath(QStringLiteral("state/host_ed25519.pub")));
}

QString SshServer::otherKeyFingerprint() const
{
    return fingerprintOf(userKey() + QStringLiteral(".pub"));
}

} // namespace cvb::test
