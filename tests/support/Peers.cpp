#include "tests/support/Peers.h"

#include <QProcess>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

namespace cvb::test {

QString python()
{
    const QString fromEnv = qEnvironmentVariable("CVB_TEST_PYTHON");
    return fromEnv.isEmpty() ? QStringLiteral("/usr/bin/python3") : fromEnv;
}

QString sourcePath(const QString &relative)
{
    return QStringLiteral(CVB_SOURCE_DIR) + QLatin1Char('/') + relative;
}

int freePort()
{
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    if (fd < 0)
        return 0;
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    addr.sin_port = 0;
    socklen_t len = sizeof addr;
    int port = 0;
    if (::bind(fd, reinterpret_cast<sockaddr *>(&addr), sizeof addr) == 0 &&
        ::getsockname(fd, reinterpret_cast<sockaddr *>(&addr), &len) == 0)
        port = ntohs(addr.sin_port);
    ::close(fd);
    return port;
}

ProcessResult runProcess(const QString &program, const QStringList &args, int timeoutMs,
                         const QByteArray &stdinData)
{
    QProcess p;
    p.start(program, args);
    ProcessResult r;
    if (!p.waitForStarted(10000)) {
        r.err = "could not start " + program.toUtf8();
        return r;
    }
    if (!stdinData.isEmpty())
        p.write(stdinData);
    p.closeWriteChannel();
    if (!p.waitForFinished(timeoutMs)) {
        p.kill();
        p.waitForFinished();
        r.err = "timed out: " + program.toUtf8();
    } else {
        r.exitCode = p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1;
    }
    r.out += p.readAllStandardOutput();
    r.err += p.readAllStandardError();
    return r;
}

} // namespace cvb::test
