// The FTP component speaking SFTP to OpenSSH's sshd on loopback: log-on with a password and
// with the user's key, the host key rules, listings with types, sizes and times, transfers both
// ways and the folder operations of the live session, as the callers drive them.
#include "ftp/FolderListing.h"
#include "ftp/FtpClient.h"
#include "ftp/PartFile.h"
#include "tests/support/Files.h"
#include "tests/support/SshServer.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QScopeGuard>
#include <QTemporaryDir>
#include <QThread>
#include <QTimer>
#include <gtest/gtest.h>

#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

namespace {

using namespace cvb;
using cvb::test::readFile;
using cvb::test::SshServer;
using cvb::test::writeFile;

class SftpComponent : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(server.isListening()) << server.error().toStdString();
        // Neither the user's agent nor the user's ~/.ssh take part unless a test says so.
        qunsetenv("SSH_AUTH_SOCK");
        qputenv("HOME", home.path().toLocal8Bit());
        ftp.SetWinsockLoaded(true);
        ftp.SetSftp(true);
        ftp.SetRemoteHost(QStringLiteral("127.0.0.1"));
        ftp.SetServerName(QStringLiteral("127.0.0.1"));
        ftp.SetControlPort(static_cast<std::uint16_t>(server.port()));
        ftp.SetTrustedFingerprint(server.hostKeyFingerprint());
        ftp.OnFirePITrail = [this](QObject *, int, const QString &line) { trace << line; };
    }
    void TearDown() override
    {
        if (savedHome.isEmpty())
            qunsetenv("HOME");
        else
            qputenv("HOME", savedHome);
    }

    // The password account, or a skipped test without one.
    bool usePassword()
    {
        if (server.passwordUser().isEmpty())
            return false;
        ftp.SetUser(server.passwordUser());
        ftp.SetPassword(SshServer::password());
        return true;
    }
    void useKey()
    {
        ASSERT_TRUE(server.installUserKey(home.path()));
        ftp.SetUser(SshServer::keyUser());
        ftp.SetPassword(QString());
    }
    int logOn()
    {
        return WithoutRaising(ftp, [this] { ftp.SetAction(ftpLogon); });
    }

    SshServer server;
    QTemporaryDir home;
    QByteArray savedHome = qgetenv("HOME");
    QTemporaryDir local;
    TcvbFTP ftp;
    QStringList trace;
};

TEST_F(SftpComponent, APasswordLogOnListsTypedEntriesAndMovesFilesBothWaysWithoutTracingThePassword)
{
    if (!usePassword())
        GTEST_SKIP() << "the password account needs the tests to run as root";
    const QByteArray big = cvb::test::randomBytes(3 * 1024 * 1024 + 17, 7);
    ASSERT_TRUE(writeFile(server.path(QStringLiteral("www/site/big.bin")), big));
    ASSERT_TRUE(writeFile(server.path(QStringLiteral("www/.htaccess")), "Deny from all\n"));
    const QDateTime stamp(QDate(2024, 2, 29), QTime(13, 14, 15), Qt::UTC);
    QFile page(server.path(QStringLiteral("www/.htaccess")));
    ASSERT_TRUE(page.open(QIODevice::ReadWrite) &&
                page.setFileTime(stamp, QFileDevice::FileModificationTime));
    page.close();

    ASSERT_EQ(logOn(), 0) << ftp.LastErrorText().toStdString();
    EXPECT_EQ(ftp.RemotePath(), QFileInfo(server.root()).canonicalFilePath());
    ftp.SetRemotePath(QStringLiteral("www"));
    const FolderEntries listed = listFolderEntries(ftp, QDateTime::currentDateTimeUtc());
    ASSERT_TRUE(listed.typed);
    ASSERT_EQ(listed.entries.size(), 2);
    for (const ftp::ListedEntry &entry : listed.entries) {
        if (entry.name == QLatin1String(".htaccess")) {
            EXPECT_EQ(entry.type, ftp::EntryType::File);
            EXPECT_EQ(entry.size, 14);
            EXPECT_TRUE(entry.modifiedExact);
            EXPECT_EQ(entry.modified, stamp);
        } else {
            EXPECT_EQ(entry.name, QStringLiteral("site"));
            EXPECT_EQ(entry.type, ftp::EntryType::Folder);
        }
    }
    EXPECT_EQ(entryTypeOf(ftp, QStringLiteral("site")), ftp::EntryType::Folder);
    EXPECT_EQ(entryTypeOf(ftp, QStringLiteral("site/big.bin")), ftp::EntryType::File);

    // Down through the temporary file that replaces the old copy, in binary and in ASCII mode
    // alike: over SFTP files are copied as they are.
    const QString copy = local.filePath(QStringLiteral("big.bin"));
    ASSERT_TRUE(writeFile(copy, "old copy"));
    ftp.SetTransferMode(tmASCII);
    downloadReplacing(ftp, QStringLiteral("site/big.bin"), copy);
    EXPECT_TRUE(readFile(copy) == big);
    EXPECT_EQ(QDir(local.path()).entryList(QDir::Files | QDir::Hidden).size(), 1);

    // Up, into the session's start folder (open to the account), and the folder operations.
    ftp.SetRemotePath(QStringLiteral(".."));
    ftp.SetLocalFile(copy);
    ftp.SetRemoteFile(QStringLiteral("up.bin"));
    ftp.SetAction(ftpUpload);
    EXPECT_TRUE(readFile(server.path(QStringLiteral("up.bin"))) == big);
    ftp.SetRemoteFile(QStringLiteral("new"));
    ftp.SetAction(ftpMakeDirectory);
    ftp.SetRemoteFile(QStringLiteral("up.bin"));
    ftp.SetAltFile(QStringLiteral("new/moved.bin"));
    ftp.SetAction(ftpRenameFile);
    EXPECT_TRUE(readFile(server.path(QStringLiteral("new/moved.bin"))) == big);
    ftp.SetRemoteFile(QStringLiteral("new/moved.bin"));
    ftp.SetAction(ftpDeleteFile);
    ftp.SetRemoteFile(QStringLiteral("new"));
    ftp.SetAction(ftpRemoveDirectory);
    EXPECT_FALSE(QFileInfo::exists(server.path(QStringLiteral("new"))));
    ftp.SetAction(ftpLogoff);
    EXPECT_FALSE(ftp.Connected());

    const QString all = trace.join(QLatin1Char('\n'));
    EXPECT_FALSE(all.contains(SshServer::password())) << all.toStdString();
    EXPECT_TRUE(all.contains(QStringLiteral("Key exchange ")) && all.contains(QStringLiteral(", cipher ")))
        << all.toStdString();
    EXPECT_EQ(all.count(QStringLiteral("The transfer mode has no meaning over SFTP")), 1)
        << all.toStdString();
}

TEST_F(SftpComponent, AWrongPasswordFailsTheLogOnAndIsNotSentAgainByItself)
{
    if (!usePassword())
        GTEST_SKIP() << "the password account needs the tests to run as root";
    ftp.SetPassword(QStringLiteral("wrong"));
    EXPECT_EQ(logOn(), kSshAuthRefused);
    EXPECT_TRUE(ftp.LogOnBarred());
    trace.clear();
    EXPECT_THROW(ftp.SetAction(ftpListDirectory), EcvbFTP);
    EXPECT_FALSE(trace.join(QLatin1Char('\n')).contains(QStringLiteral("Authenticating")));
}

TEST_F(SftpComponent, AnEmptyPasswordLogsOnWithTheKeyOfHomeSshAndFailsClearlyWithoutOne)
{
    ftp.SetUser(SshServer::keyUser());
    EXPECT_EQ(logOn(), kSshAuthRefused);
    EXPECT_TRUE(ftp.LastErrorText().contains(QStringLiteral("refused every key")))
        << ftp.LastErrorText().toStdString();

    useKey();
    ASSERT_TRUE(writeFile(server.path(QStringLiteral("index.html")), "<html>\n"));
    ASSERT_EQ(logOn(), 0) << ftp.LastErrorText().toStdString();
    QStringList names;
    ftp.OnDirList = [&names](QObject *, const QString &name) { names << name; };
    ftp.SetAction(ftpListDirectory);
    EXPECT_EQ(names, QStringList{QStringLiteral("index.html")});
}

TEST_F(SftpComponent, AnEmptyPasswordLogsOnWithAKeyOfTheUsersSshAgent)
{
    // The user's agent holds the key; ~/.ssh holds none.
    QTemporaryDir agentDir;
    const QString socket = agentDir.filePath(QStringLiteral("agent"));
    QProcess agent;
    agent.start(QStringLiteral("ssh-agent"), {QStringLiteral("-D"), QStringLiteral("-a"), socket});
    ASSERT_TRUE(agent.waitForStarted(10000));
    const auto stopAgent = qScopeGuard([&agent] {
        agent.terminate();
        agent.waitForFinished(5000);
    });
    qputenv("SSH_AUTH_SOCK", QFile::encodeName(socket));
    QProcess add;
    for (int attempt = 0; attempt < 100; ++attempt) {
        // The agent listens once its socket is there.
        add.start(QStringLiteral("ssh-add"), {server.userKey()});
        ASSERT_TRUE(add.waitForFinished(10000));
        if (add.exitCode() == 0)
            break;
        QThread::msleep(50);
    }
    ASSERT_EQ(add.exitCode(), 0) << add.readAllStandardError().toStdString();
    ftp.SetUser(SshServer::keyUser());
    EXPECT_EQ(logOn(), 0) << ftp.LastErrorText().toStdString();
    EXPECT_TRUE(ftp.Connected());
    ftp.SetAction(ftpLogoff);
    qunsetenv("SSH_AUTH_SOCK");
}

TEST_F(SftpComponent, AnUnknownHostKeyFailsTheLogOnWithItsFingerprintBeforeAnyAuthentication)
{
    useKey();
    ftp.SetTrustedFingerprint(QString());
    EXPECT_EQ(logOn(), kSshHostKeyUnknown);
    EXPECT_TRUE(ftp.LastErrorText().contains(server.hostKeyFingerprint()))
        << ftp.LastErrorText().toStdString();
    EXPECT_EQ(ftp.HostKey().fingerprint, server.hostKeyFingerprint());
    EXPECT_FALSE(ftp.Connected());
    EXPECT_FALSE(trace.join(QLatin1Char('\n')).contains(QStringLiteral("Authenticating")));
}

TEST_F(SftpComponent, AChangedHostKeyFailsEveryConnectionNamingTheServerAndBothFingerprints)
{
    useKey();
    ftp.SetTrustedFingerprint(server.otherKeyFingerprint());
    EXPECT_EQ(logOn(), kSshHostKeyChanged);
    const QString text = ftp.LastErrorText();
    EXPECT_TRUE(text.contains(QStringLiteral("127.0.0.1:%1").arg(server.port()))) << text.toStdString();
    EXPECT_TRUE(text.contains(server.otherKeyFingerprint())) << text.toStdString();
    EXPECT_TRUE(text.contains(server.hostKeyFingerprint())) << text.toStdString();
    // Not once more by itself either.
    EXPECT_TRUE(ftp.LogOnBarred());
    EXPECT_THROW(ftp.SetAction(ftpListDirectory), EcvbFTP);
}

TEST_F(SftpComponent, AMissingRemoteFileOrFolderIsARefusalAndTheOldLocalCopyStays)
{
    useKey();
    ASSERT_EQ(logOn(), 0) << ftp.LastErrorText().toStdString();
    const QString copy = local.filePath(QStringLiteral("gone.html"));
    ASSERT_TRUE(writeFile(copy, "old copy"));
    try {
        downloadReplacing(ftp, QStringLiteral("gone.html"), copy);
        ADD_FAILURE() << "the download did not fail";
    } catch (const EcvbFTP &e) {
        // As an FTP server's refusal reads, so that callers tell a missing file by its code.
        EXPECT_EQ(e.Code(), kFtpReplyRefused);
        EXPECT_TRUE(e.Message().startsWith(QStringLiteral("141: 550 "))) << e.Message().toStdString();
        EXPECT_TRUE(e.Message().contains(QStringLiteral("gone.html"))) << e.Message().toStdString();
    }
    EXPECT_EQ(readFile(copy), "old copy");
    EXPECT_EQ(QDir(local.path()).entryList(QDir::Files | QDir::Hidden).size(), 1);
    // An upload into a folder that is not there is refused the same way.
    ftp.SetLocalFile(copy);
    ftp.SetRemoteFile(QStringLiteral("missing/up.html"));
    EXPECT_EQ(WithoutRaising(ftp, [this] { ftp.SetAction(ftpUpload); }), kFtpReplyRefused);
    EXPECT_TRUE(ftp.LastErrorText().startsWith(QStringLiteral("550 "))) << ftp.LastErrorText().toStdString();
    // The session is still there for the next file.
    EXPECT_TRUE(ftp.Connected());
}

TEST_F(SftpComponent, ADownloadFromAStartByteCompletesTheFileAlreadyBegun)
{
    useKey();
    const QByteArray whole = cvb::test::randomBytes(1024 * 1024 + 3, 11);
    ASSERT_TRUE(writeFile(server.path(QStringLiteral("big.bin")), whole));
    const QString part = local.filePath(QStringLiteral("big.bin"));
    ASSERT_TRUE(writeFile(part, whole.left(200000) + "bytes beyond the start are replaced"));
    ASSERT_EQ(logOn(), 0) << ftp.LastErrorText().toStdString();
    ftp.SetStartByte(200000);
    ftp.SetRemoteFile(QStringLiteral("big.bin"));
    ftp.SetLocalFile(part);
    ftp.SetAction(ftpDownload);
    EXPECT_TRUE(readFile(part) == whole);
}

TEST_F(SftpComponent, AServerThatNeverSpeaksEndsTheLogOnAtTheIdleLimitOrAtAnInterrupt)
{
    // A port that takes connections (into its backlog) and never says a word.
    const int listener = ::socket(AF_INET, SOCK_STREAM, 0);
    const auto closeListener = qScopeGuard([listener] { ::close(listener); });
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    ASSERT_EQ(::bind(listener, reinterpret_cast<sockaddr *>(&address), sizeof address), 0);
    ASSERT_EQ(::listen(listener, 4), 0);
    ASSERT_EQ(::getsockname(listener, reinterpret_cast<sockaddr *>(&address), &length), 0);
    ftp.SetControlPort(ntohs(address.sin_port));
    ftp.SetIdleLimit(1);
    useKey();
    EXPECT_EQ(logOn(), CIPPortMsg::kInterrupted);
    EXPECT_EQ(ftp.LastErrorText(), QStringLiteral("Timed out"));
    EXPECT_FALSE(ftp.Connected());

    // Without a limit only the interrupt (a window's Stop or close) ends the wait.
    ftp.SetIdleLimit(0);
    QTimer::singleShot(50, &ftp, [this] { ftp.Interrupt(); });
    EXPECT_EQ(logOn(), CIPPortMsg::kInterrupted);
    EXPECT_EQ(ftp.LastErrorText(), QStringLiteral("Interrupted"));
    EXPECT_FALSE(ftp.Connected());
}

} // namespace
