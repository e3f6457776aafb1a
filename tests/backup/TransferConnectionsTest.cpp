// Backups over several connections, seen from the server's side: what the listings say is used
// (no folder fetched as a file, no file probed as a folder), and a server that takes fewer
// connections than asked for.
#include "data/Settings.h"
#include "tests/backup/BackupHarness.h"
#include "tests/support/Files.h"
#include "tests/support/FtpServer.h"
#include "tests/support/SiteTree.h"

#include <QDir>
#include <QFileInfo>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <gtest/gtest.h>

namespace {

using cvb::test::BackupHarness;
using cvb::test::OddFtpServer;

QString address(int port)
{
    return QStringLiteral("127.0.0.1:%1").arg(port);
}

// A small site below root/site: dot files, names with blanks, an empty folder, three levels.
void buildSite(const QString &root)
{
    const QString site = root + QStringLiteral("/site/");
    for (const auto &[path, bytes] : std::initializer_list<std::pair<const char *, QByteArray>>{
             {"index.html", "<html>home</html>\n"},
             {".htaccess", "Deny from all\r\n"},
             {"img/a b.gif", QByteArray("GIF\r\n\x00\xff", 7)},
             {"img/logo.png", cvb::test::randomBytes(70000, 1)},
             {"img/deep/x.txt", "x\n"},
             {"my docs/read me.txt", "read me\n"},
             {"my docs/.hidden", "h"},
             {"cgi-bin/run.pl", "#!/usr/bin/perl\r\n"}})
        ASSERT_TRUE(cvb::test::writeFile(site + QLatin1String(path), bytes)) << path;
    ASSERT_TRUE(QDir().mkpath(site + QStringLiteral("empty")));
}

class ListedTypes : public ::testing::TestWithParam<const char *>
{
};

// With MLSD (pyftpdlib's own) and, where the server offers none, with LIST -a read line by line.
TEST_P(ListedTypes, NoFolderIsFetchedAsAFileAndNoFileIsProbed)
{
    QTemporaryDir root;
    buildSite(root.path());
    const QString option = QString::fromLatin1(GetParam());
    cvb::test::LoggingOddFtpServer server(root.path(),
                                          option.isEmpty() ? QStringList() : QStringList{option});
    ASSERT_GT(server.port(), 0);

    BackupHarness h;
    h.setConnection(address(server.port()), QStringLiteral("tester"), QStringLiteral("secret"));
    h.addProfile({QStringLiteral("Site")});
    h.addSource(QStringLiteral("Site"), QStringLiteral("/site"));
    h.enqueue(QStringLiteral("Site"));
    const auto closed = h.runQueue();
    ASSERT_EQ(closed.size(), 1u);
    EXPECT_TRUE(closed[0].ok) << h.events().join(QLatin1Char('\n')).toStdString();
    EXPECT_EQ(cvb::test::treeDifferences(root.filePath(QStringLiteral("site")), h.target() + QStringLiteral("/site"))
                  .join(QLatin1Char('\n'))
                  .toStdString(),
              "");

    // The source itself is typed, not listed: where the server cannot say what it is, it is
    // tried as a file first (and then probed).
    QStringList retrieved = server.arguments(QStringLiteral("RETR"));
    EXPECT_LE(retrieved.removeAll(QStringLiteral("/site")), 1);
    for (const QString &path : retrieved)
        EXPECT_TRUE(QFileInfo(root.path() + path).isFile()) << "RETR " << path.toStdString();
    EXPECT_EQ(retrieved.size(), 8) << retrieved.join(QLatin1Char('\n')).toStdString();
    EXPECT_EQ(QSet<QString>(retrieved.begin(), retrieved.end()).size(), retrieved.size());
    for (const QString &path : server.arguments(QStringLiteral("CWD")))
        EXPECT_TRUE(QFileInfo(root.path() + path).isDir()) << "CWD " << path.toStdString();
}

INSTANTIATE_TEST_SUITE_P(Listings, ListedTypes, ::testing::Values("", "--no-mlsd"),
                         [](const auto &info) { return std::string(*info.param ? "List" : "Mlsd"); });

void writeSettings(const BackupHarness &h, const QByteArray &text)
{
    ASSERT_TRUE(cvb::test::writeFile(h.dataFolder() + QStringLiteral("/settings.ini"), text));
}

// The server takes three sessions of the user at once: the main connection and two of the three
// transfer connections. The third is greeted with 421; the backup completes on the others and the
// next one asks for two only. The source "/" is a folder without being tried as a file, so no
// probe connection competes for a place.
TEST(TransferConnections, AServerThatRefusesTheThirdLeavesABackupOnTwoAndTheLimitIsRemembered)
{
    QTemporaryDir root;
    const int files = cvb::test::buildSampleSite(root.path(), 3LL * 1024 * 1024);
    ASSERT_GE(files, 200);
    OddFtpServer server(root.path(), {}, false, 0, {}, {}, false,
                        {QStringLiteral("--max-sessions"), QStringLiteral("3")});
    ASSERT_GT(server.port(), 0);

    BackupHarness h;
    h.setConnection(address(server.port()), QStringLiteral("tester"), QStringLiteral("secret"), true);
    h.addProfile({QStringLiteral("All")});
    h.addSource(QStringLiteral("All"), QStringLiteral("/"));
    h.enqueue(QStringLiteral("All"));
    auto closed = h.runQueue();
    ASSERT_EQ(closed.size(), 1u);
    const QStringList rows = h.eventsOf(QStringLiteral("All"));
    const std::string shown = rows.join(QLatin1Char('\n')).toStdString();
    EXPECT_TRUE(closed[0].ok) << shown;
    EXPECT_EQ(cvb::test::treeDifferences(root.path(), h.target()).join(QLatin1Char('\n')).toStdString(), "");

    // Which of the three logs on last is the threads' affair; exactly one is turned away.
    const QStringList refused =
        rows.filter(QRegularExpression(QStringLiteral("^Transfer connection [123] was not accepted \\(421 ")));
    EXPECT_EQ(refused.size(), 1) << shown;
    EXPECT_EQ(rows.filter(QStringLiteral("was not accepted")).size(), 1) << shown;
    EXPECT_TRUE(rows.contains(
        QStringLiteral("The server took 2 transfer connections at once; later backups ask for no more.")))
        << shown;
    EXPECT_EQ(rows.filter(QStringLiteral("Finished downloading")).size(), files + 1) << shown;
    EXPECT_EQ(rows.last(), QStringLiteral("Result: complete"));
    EXPECT_EQ(cvb::ProgramSettings(h.dataFolder()).connectionLimit(address(server.port())), 2);

    // The next backup of this server asks for two and is turned away by nobody.
    h.enqueue(QStringLiteral("All"));
    closed = h.runQueue();
    ASSERT_EQ(closed.size(), 1u);
    const QStringList again = h.eventsOf(QStringLiteral("All")).mid(rows.size());
    EXPECT_TRUE(closed[0].ok) << again.join(QLatin1Char('\n')).toStdString();
    EXPECT_TRUE(again.filter(QStringLiteral("not accepted")).isEmpty()) << again.join(QLatin1Char('\n')).toStdString();
    EXPECT_EQ(cvb::ProgramSettings(h.dataFolder()).connectionLimit(address(server.port())), 2);
}

// Where the server cannot say what a source is (no MLST), folder sources are tried as files and
// then probed on the probe connection, which logs on only then: on a server that takes two sessions at once, the main connection and the one transfer
// connection leave no place for it (or, should the probe come first, for the transfer
// connection). Either way every folder is still found and copied.
TEST(TransferConnections, AProbeConnectionTurnedAwayStillFindsTheFolderSources)
{
    QTemporaryDir root;
    ASSERT_GE(cvb::test::buildSampleSite(root.path(), 1024 * 1024), 200);
    OddFtpServer server(root.path(), {}, false, 0, {}, {}, false,
                        {QStringLiteral("--no-mlsd"), QStringLiteral("--max-sessions"), QStringLiteral("2")});
    ASSERT_GT(server.port(), 0);

    BackupHarness h;
    writeSettings(h, "[transfer]\nconnections=1\n");
    h.setConnection(address(server.port()), QStringLiteral("tester"), QStringLiteral("secret"));
    h.addProfile({QStringLiteral("Sample")});
    h.addSource(QStringLiteral("Sample"), QStringLiteral("/www/index.html"), QStringLiteral("Binary"));
    h.addSource(QStringLiteral("Sample"), QStringLiteral("/www/site"));
    h.addSource(QStringLiteral("Sample"), QStringLiteral("/cgi-bin"));
    h.enqueue(QStringLiteral("Sample"));
    const auto closed = h.runQueue();
    ASSERT_EQ(closed.size(), 1u);
    const QStringList rows = h.eventsOf(QStringLiteral("Sample"));
    EXPECT_TRUE(closed[0].ok) << rows.join(QLatin1Char('\n')).toStdString();
    QTemporaryDir expected;
    cvb::test::copyExpectedBackup(root.path(), expected.path());
    EXPECT_EQ(cvb::test::treeDifferences(expected.path(), h.target()).join(QLatin1Char('\n')).toStdString(), "");
    EXPECT_EQ(rows.last(), QStringLiteral("Result: complete"));
}

} // namespace
