#include "tests/support/FtpServer.h"

#include "tests/support/Peers.h"

#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QRegularExpression>
#include <QThread>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

namespace cvb::test {

namespace {

bool canConnect(int port)
{
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    if (fd < 0)
        return false;
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    addr.sin_port = htons(uint16_t(port));
    const bool ok = ::connect(fd, reinterpret_cast<sockaddr *>(&addr), sizeof addr) == 0;
    ::close(fd);
    return ok;
}

void stop(QProcess &process)
{
    if (process.state() == QProcess::NotRunning)
        return;
    process.closeWriteChannel();
    process.terminate();
    if (!process.waitForFinished(5000)) {
        process.kill();
        process.waitForFinished(5000);
    }
}

} // namespace

QList<LoggedLine> loggedLines(const QString &logPrefix)
{
    QList<LoggedLine> lines;
    const QFileInfo prefix(logPrefix);
    // "<date> <time> 127.0.0.1:40312-[tester] <- RETR /a.bin"
    const QRegularExpression line(QStringLiteral("^\\S+ \\S+ (\\S+?)-\\[[^\\]]*\\] (<-|->) (.*)$"));
    for (const QFileInfo &log : QDir(prefix.path()).entryInfoList({prefix.fileName() + QStringLiteral(".*")})) {
        for (const QByteArray &text : readFile(log.filePath()).split('\n')) {
            const QRegularExpressionMatch match = line.match(QString::fromUtf8(text));
            if (match.hasMatch())
                lines.append(
                    {match.captured(1), match.captured(2) == QLatin1String("<-"), match.captured(3)});
        }
    }
    return lines;
}

QStringList loggedArguments(const QString &logPrefix, const QString &command)
{
    QStringList arguments;
    for (const LoggedLine &line : loggedLines(logPrefix)) {
        if (line.fromClient && line.text.section(QLatin1Char(' '), 0, 0) == command)
            arguments << line.text.section(QLatin1Char(' '), 1);
    }
    return arguments;
}

QList<LoggedDownload> loggedDownloads(const QString &logPrefix)
{
    QList<LoggedDownload> downloads;
    // Per session: the folder it is in, the one a CWD awaits its reply for, the last REST and the
    // download that awaits its final reply (an index in `downloads`).
    QHash<QString, QString> folder, enteringFolder;
    QHash<QString, qint64> restOffset;
    QHash<QString, qsizetype> awaitingReply;
    const auto below = [&folder](const QString &session, const QString &path) {
        return QDir::cleanPath(path.startsWith(QLatin1Char('/'))
                                   ? path
                                   : folder.value(session, QStringLiteral("/")) + QLatin1Char('/') + path);
    };
    for (const LoggedLine &line : loggedLines(logPrefix)) {
        const QString word = line.text.section(QLatin1Char(' '), 0, 0);
        const QString argument = line.text.section(QLatin1Char(' '), 1);
        if (!line.fromClient) {
            if (enteringFolder.contains(line.session) && line.text.startsWith(QLatin1String("250 ")))
                folder[line.session] = enteringFolder.value(line.session);
            enteringFolder.remove(line.session);
            if (!word.startsWith(QLatin1Char('1')) && awaitingReply.contains(line.session))
                downloads[awaitingReply.take(line.session)].reply = line.text;
        } else if (word == QLatin1String("CWD") || word == QLatin1String("CDUP")) {
            enteringFolder[line.session] =
                below(line.session, word == QLatin1String("CDUP") ? QStringLiteral("..") : argument);
        } else if (word == QLatin1String("REST")) {
            restOffset[line.session] = argument.toLongLong();
        } else if (word == QLatin1String("RETR")) {
            awaitingReply[line.session] = downloads.size();
            downloads.append(
                {line.session, below(line.session, argument), restOffset.take(line.session), {}});
        }
    }
    return downloads;
}

LoggingOddFtpServer::LoggingOddFtpServer(const QString &root, const QStringList &options)
{
    qputenv("CVB_FTP_LOG", logPrefix().toUtf8());
    m_server =
        std::make_unique<OddFtpServer>(root, QStringList(), false, 0, QString(), QString(), false, options);
    qunsetenv("CVB_FTP_LOG");
}

bool waitUntilListening(int port, int timeoutMs)
{
    QDeadlineTimer deadline(timeoutMs);
    while (!deadline.hasExpired()) {
        if (canConnect(port))
            return true;
        QThread::msleep(50);
    }
    return false;
}

PyFtpServer::PyFtpServer(const QString &user, const QString &password, const QString &tlsPem, bool cutDataTls)
    : m_user(user), m_password(password)
{
    m_process.setProcessChannelMode(QProcess::SeparateChannels);
    QStringList args{sourcePath(QStringLiteral("tests/support/ftp_server.py")), QStringLiteral("0"),
                     m_root.path(), user, password};
    if (!tlsPem.isEmpty())
        args << tlsPem;
    if (cutDataTls)
        args << QStringLiteral("cut");
    m_process.start(python(), args);
    if (!m_process.waitForStarted(10000)) {
        m_error = QStringLiteral("could not start ") + python();
        return;
    }
    QDeadlineTimer deadline(20000);
    QByteArray out;
    while (!deadline.hasExpired() && !out.contains('\n')) {
        if (!m_process.waitForReadyRead(int(deadline.remainingTime())))
            break;
        out += m_process.readAllStandardOutput();
    }
    if (out.startsWith("LISTENING "))
        m_port = out.mid(10).trimmed().toInt();
    if (m_port == 0)
        m_error = QString::fromUtf8(out + m_process.readAllStandardError());
}

PyFtpServer::~PyFtpServer()
{
    stop(m_process);
}

OddFtpServer::OddFtpServer(const QString &root, const QStringList &extraNames, bool noActive, int sendRate,
                           const QString &stallName, const QString &refuseSecondCwd, bool namesOnly,
                           const QStringList &options)
{
    QStringList args{sourcePath(QStringLiteral("tests/support/odd_ftp_server.py"))};
    if (noActive)
        args << QStringLiteral("--no-active");
    if (sendRate > 0)
        args << QStringLiteral("--send-rate") << QString::number(sendRate);
    if (!stallName.isEmpty())
        args << QStringLiteral("--stall") << stallName;
    if (!refuseSecondCwd.isEmpty())
        args << QStringLiteral("--refuse-second-cwd") << refuseSecondCwd;
    if (namesOnly)
        args << QStringLiteral("--names-only");
    args << options;
    args << QStringLiteral("0") << root << QStringLiteral("tester") << QStringLiteral("secret") << extraNames;
    m_process.start(python(), args);
    if (m_process.waitForStarted(10000) && m_process.waitForReadyRead(20000)) {
        const QByteArray line = m_process.readLine();
        if (line.startsWith("LISTENING "))
            m_port = line.mid(10).trimmed().toInt();
    }
}

OddFtpServer::~OddFtpServer()
{
    stop(m_process);
}

VsftpdServer::VsftpdServer(const QString &root, const QString &tlsPem, bool implicitTls) : m_port(freePort())
{
    QStringList args{sourcePath(QStringLiteral("tests/support/vsftpd-run.sh")), QString::number(m_port),
                     root};
    if (!tlsPem.isEmpty())
        args << tlsPem;
    if (implicitTls)
        args << QStringLiteral("implicit");
    m_process.start(QStringLiteral("/bin/sh"), args);
    if (!m_process.waitForStarted(10000)) {
        m_error = QStringLiteral("could not start vsftpd-run.sh");
        return;
    }
    m_listening = waitUntilListening(m_port);
    if (!m_listening)
        m_error = QString::fromUtf8(m_process.readAllStandardError());
}

VsftpdServer::~VsftpdServer()
{
    stop(m_process);
}

} // namespace cvb::test
