// corvale-backup --run-profile over SFTP, end to end: OpenSSH's sshd on loopback serving the
// sample site, the server field "sftp://127.0.0.1:PORT", the host key pinned in known-servers
// (or not, or another one), and a log-on with the password or with the user's key.
#include "data/KnownServers.h"
#include "tests/backup/ProgramData.h"
#include "tests/support/Files.h"
#include "tests/support/SiteTree.h"
#include "tests/support/SshServer.h"

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QScopeGuard>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <sys/stat.h>

namespace {

using cvb::test::ProgramData;
using cvb::test::SshServer;

// The sample site's sources where the SFTP server keeps them: SFTP names the server's own
// paths, and the site lies below the server's root folder.
void addSampleProfile(const ProgramData &d, const SshServer &server, const QString &name = QStringLiteral("Sample"),
                      const QStringList &fields = {})
{
    d.addProfile(name, fields);
    d.addSource(name, server.path(QStringLiteral("www/index.html")), QStringLiteral("Binary"));
    d.addSource(name, server.path(QStringLiteral("www/site")));
    d.addSource(name, server.path(QStringLiteral("cgi-bin")));
}

class SftpBackup : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(server.isListening()) << server.error().toStdString();
        // The program finds no agent and no ~/.ssh but the test's own.
        qunsetenv("SSH_AUTH_SOCK");
        qputenv("HOME", home.path().toLocal8Bit());
        EXPECT_GE(cvb::test::buildSampleSite(server.root(), 5LL * 1024 * 1024), 200);
        addSampleProfile(d, server);
    }
    void TearDown() override { qputenv("HOME", savedHome); }

    void useAccount(const QString &user, const QString &password) const
    {
        d.setConnection({QStringLiteral("DOMAIN=") + server.address(), QStringLiteral("USERNAME=") + user,
                         QStringLiteral("PASSWORD=") + password});
    }
    void pin(const QString &fingerprint) const
    {
        ASSERT_EQ(cvb::pinFingerprint(d.data(), QStringLiteral("127.0.0.1"), server.port(), fingerprint),
                  QString());
    }
    void expectWholeSite() const
    {
        const auto r = d.run(QStringLiteral("Sample"));
        EXPECT_EQ(r.exitCode, 0) << r.err.toStdString()
                                 << d.eventsOf(QStringLiteral("Sample")).join('\n').toStdString();
        QTemporaryDir expected;
        cvb::test::copyExpectedBackup(server.root(), expected.path());
        EXPECT_EQ(
            cvb::test::treeDifferences(expected.path(), d.target()).join(QLatin1Char('\n')).toStdString(),
            "");
    }
    // The log file that keeps the rows uncut.
    QString fullLog() const
    {
        return QString::fromUtf8(cvb::test::readFile(d.data() + QStringLiteral("/logs/Sample.log")));
    }
    // What the failed backup left in its target: nothing.
    QStringList targetContents() const
    {
        return QDir(d.target()).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot);
    }

    SshServer server;
    QTemporaryDir home;
    QByteArray savedHome = qgetenv("HOME");
    ProgramData d;
};

TEST_F(SftpBackup, TheSampleSiteComesByteForByteWithThePassword)
{
    if (server.passwordUser().isEmpty())
        GTEST_SKIP() << "the password account needs the tests to run as root";
    useAccount(server.passwordUser(), SshServer::password());
    pin(server.hostKeyFingerprint());
    expectWholeSite();
    EXPECT_FALSE(fullLog().contains(SshServer::password() + QLatin1Char(' ')));
}

TEST_F(SftpBackup, TheSampleSiteComesByteForByteWithTheUsersKeyAndAnEmptyPassword)
{
    ASSERT_TRUE(server.installUserKey(home.path()));
    useAccount(SshServer::keyUser(), QString());
    pin(server.hostKeyFingerprint());
    expectWholeSite();
}

TEST_F(SftpBackup, AnUnknownHostKeyFailsTheBackupWithItsRowAndDownloadsNothing)
{
    ASSERT_TRUE(server.installUserKey(home.path()));
    useAccount(SshServer::keyUser(), QString());
    const auto r = d.run(QStringLiteral("Sample"));
    EXPECT_EQ(r.exitCode, 1);
    const QStringList rows = d.eventsOf(QStringLiteral("Sample"));
    // The log-on's row, and the same failure for each source, which tries no log-on of its own.
    EXPECT_FALSE(rows.filter(QStringLiteral("EXCEPTION: 341: The host key of 127.0.0.1:%1 is not known")
                                 .arg(server.port()))
                     .isEmpty())
        << rows.join('\n').toStdString();
    EXPECT_TRUE(fullLog().contains(server.hostKeyFingerprint())) << fullLog().toStdString();
    EXPECT_EQ(targetContents(), QStringList());
    // Nobody was asked, and nothing was pinned.
    EXPECT_EQ(cvb::pinnedFingerprint(d.data(), QStringLiteral("127.0.0.1"), server.port()), QString());
}

TEST_F(SftpBackup, AChangedHostKeyFailsTheBackupNamingBothFingerprints)
{
    ASSERT_TRUE(server.installUserKey(home.path()));
    useAccount(SshServer::keyUser(), QString());
    pin(server.otherKeyFingerprint());
    const auto r = d.run(QStringLiteral("Sample"));
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_FALSE(d.eventsOf(QStringLiteral("Sample")).filter(QStringLiteral("EXCEPTION: 342: ")).isEmpty());
    EXPECT_TRUE(fullLog().contains(server.otherKeyFingerprint())) << fullLog().toStdString();
    EXPECT_TRUE(fullLog().contains(server.hostKeyFingerprint())) << fullLog().toStdString();
    EXPECT_EQ(targetContents(), QStringList());
}

// A date-stamped profile over SFTP fetches only what changed, as over FTP: the second backup of
// an unchanged site downloads nothing, and its folder is complete, every file linked.
TEST_F(SftpBackup, TheSecondDateStampedBackupOfAnUnchangedSiteLinksEveryFile)
{
    ASSERT_TRUE(server.installUserKey(home.path()));
    useAccount(SshServer::keyUser(), QString());
    pin(server.hostKeyFingerprint());
    addSampleProfile(d, server, QStringLiteral("Stamped"), {QStringLiteral("DTSTAMP_DI=T")});
    const auto guard = qScopeGuard([] { qunsetenv("CVB_NOW"); });
    qputenv("CVB_NOW", "2026-12-07T08:00:00");
    ASSERT_EQ(d.run(QStringLiteral("Stamped")).exitCode, 0);
    const qsizetype firstRows = d.eventsOf(QStringLiteral("Stamped")).size();
    qputenv("CVB_NOW", "2026-12-08T08:00:00");
    const auto r = d.run(QStringLiteral("Stamped"));
    const QStringList rows = d.eventsOf(QStringLiteral("Stamped")).mid(firstRows);
    EXPECT_EQ(r.exitCode, 0) << rows.join('\n').toStdString();

    const QStringList folders = QDir(d.target()).entryList(QDir::Dirs | QDir::NoDotAndDotDot, QDir::Name);
    ASSERT_EQ(folders.size(), 2);
    const QString second = d.target() + QLatin1Char('/') + folders.last();
    QTemporaryDir expected;
    cvb::test::copyExpectedBackup(server.root(), expected.path());
    EXPECT_EQ(cvb::test::treeDifferences(expected.path(), second).join('\n').toStdString(), "");
    int files = 0;
    for (QDirIterator it(expected.path(), QDir::Files | QDir::Hidden, QDirIterator::Subdirectories); it.hasNext();
         it.next())
        ++files;
    EXPECT_TRUE(rows.contains(QStringLiteral("Files downloaded: 0, unchanged: %1, failed: 0.").arg(files)))
        << rows.join('\n').toStdString();
    EXPECT_TRUE(rows.contains(QStringLiteral("Bytes over the network: 0.")));
    struct stat page
    {
    };
    ASSERT_EQ(::stat(QFile::encodeName(second + QStringLiteral("/index.html")).constData(), &page), 0);
    EXPECT_EQ(page.st_nlink, 2u);
}

} // namespace

namespace {

TEST_F(SftpBackup, AMissingSourceFailsAsOverFtpWithTheServersRefusalAndLeavesNoFolderInItsPlace)
{
    ASSERT_TRUE(server.installUserKey(home.path()));
    useAccount(SshServer::keyUser(), QString());
    pin(server.hostKeyFingerprint());
    d.addProfile(QStringLiteral("Miss"));
    d.addSource(QStringLiteral("Miss"), server.path(QStringLiteral("gone.html")));
    const auto r = d.run(QStringLiteral("Miss"));
    EXPECT_EQ(r.exitCode, 1) << r.err.toStdString();
    const QStringList rows = d.eventsOf(QStringLiteral("Miss"));
    EXPECT_FALSE(
        rows.filter(QRegularExpression(QStringLiteral("^EXCEPTION: 141: 550 No such file"))).isEmpty())
        << rows.join('\n').toStdString();
    // (The row is cut at 100 characters; a long temporary folder cuts its end.)
    EXPECT_FALSE(
        rows.filter(QRegularExpression(QStringLiteral("^Download of file : .*/gone\\.html"))).isEmpty())
        << rows.join('\n').toStdString();
    EXPECT_FALSE(QFileInfo::exists(d.target() + QStringLiteral("/gone.html")));
}

} // namespace
