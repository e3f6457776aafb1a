// Backups over a bad line, end to end with --run-profile: a server that cuts downloads short,
// answers 421 and hangs up, refuses a log-on, lists files that are gone and lies about hashes.
// What the client asked for is read back from the server's log.
#include "tests/backup/ProgramData.h"
#include "tests/support/Files.h"
#include "tests/support/FtpServer.h"
#include "tests/support/SiteTree.h"

#include <QDateTime>
#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <algorithm>

namespace {

using cvb::test::LoggedDownload;
using cvb::test::LoggingOddFtpServer;
using cvb::test::ProgramData;

// Retries wait milliseconds instead of seconds.
class Resilience : public ::testing::Test
{
protected:
    void SetUp() override { qputenv("CVB_BACKOFF_MS", "10"); }
    void TearDown() override { qunsetenv("CVB_BACKOFF_MS"); }

    // The profile backs up `sources` (in binary, as every backup does) from the odd server.
    void addProfile(const LoggingOddFtpServer &server, const QString &profile, const QStringList &sources,
                    const QString &password = QStringLiteral("secret"))
    {
        d.useServer(server.port(), QStringLiteral("tester"), password);
        d.addProfile(profile);
        for (const QString &source : sources)
            d.addSource(profile, source, QStringLiteral("Binary"));
    }

    ProgramData d;
};

std::string shown(const QStringList &rows)
{
    return rows.join(QLatin1Char('\n')).toStdString();
}

// A row's EVENT holds 100 characters: the profile's name, a blank and the start of the message.
bool hasRowStartingWith(const QStringList &rows, const QString &profile, const QString &text)
{
    const QString kept = text.left(100 - profile.size() - 1);
    return std::any_of(rows.begin(), rows.end(), [&](const QString &row) { return row.startsWith(kept); });
}

// The REST offsets of the downloads of `path`, in order.
QList<qint64> offsetsOf(const QList<LoggedDownload> &downloads, const QString &path)
{
    QList<qint64> offsets;
    for (const LoggedDownload &download : downloads) {
        if (download.path == path)
            offsets << download.offset;
    }
    return offsets;
}

int filesBelow(const QString &folder)
{
    int files = 0;
    for (QDirIterator it(folder, QDir::Files | QDir::Hidden, QDirIterator::Subdirectories); it.hasNext();
         it.next())
        ++files;
    return files;
}

// Every fifth download is reset after half of what it had to send, one RETR is answered 421 with
// the control connection closed, and the first log-on is refused with 421. Each failure is
// retried: the copy is byte for byte, a cut file goes on from the bytes it has with REST, a file
// whose connection was closed comes again on a new log-on, and each retry has its row.
TEST_F(Resilience, ABadLineStillGivesAByteForByteCopyAndEveryCutFileResumesWhereItStopped)
{
    QTemporaryDir root;
    cvb::test::buildSampleSite(root.path(), 2LL * 1024 * 1024);
    const QString www = root.filePath(QStringLiteral("www"));
    LoggingOddFtpServer server(root.path(), {QStringLiteral("--cut-every"), QStringLiteral("5"),
                                             QStringLiteral("--retr-421-once"), QStringLiteral("manual.pdf"),
                                             QStringLiteral("--logon-421"), QStringLiteral("1"),
                                             QStringLiteral("--hash")});
    ASSERT_GT(server.port(), 0);
    addProfile(server, QStringLiteral("Site"), {QStringLiteral("/www")});

    const auto r = d.run(QStringLiteral("Site"));
    const QStringList rows = d.eventsOf(QStringLiteral("Site"));
    EXPECT_EQ(r.exitCode, 0) << shown(rows) << r.err.toStdString();
    ASSERT_FALSE(rows.isEmpty());
    EXPECT_EQ(rows.last().toStdString(), "Result: complete");
    EXPECT_EQ(cvb::test::treeDifferences(www, d.target() + QStringLiteral("/www"))
                  .join(QLatin1Char('\n'))
                  .toStdString(),
              "");

    const QList<LoggedDownload> downloads = server.downloads();
    QHash<QString, int> tries;
    int cuts = 0;
    int hangUps = 0;
    for (qsizetype i = 0; i < downloads.size(); ++i) {
        const LoggedDownload &failed = downloads[i];
        const QFileInfo file(root.path() + failed.path);
        if (!file.isFile())
            continue; // a source tried as a file before it is listed
        const int attempt = ++tries[failed.path];
        const bool cut = failed.reply.startsWith(QLatin1String("426 "));
        const bool hungUp = failed.reply.startsWith(QLatin1String("421 "));
        if (!cut && !hungUp) {
            EXPECT_TRUE(failed.reply.startsWith(QLatin1String("226 ")))
                << failed.path.toStdString() << ": " << failed.reply.toStdString();
            continue;
        }
        cuts += cut;
        hangUps += hungUp;
        const auto retry =
            std::find_if(downloads.begin() + i + 1, downloads.end(),
                         [&](const LoggedDownload &later) { return later.path == failed.path; });
        if (retry == downloads.end()) {
            ADD_FAILURE() << "no retry of " << failed.path.toStdString();
            continue;
        }
        // Half of what the cut download had to send arrived; after a 421 nothing did.
        const qint64 onDisk = cut ? failed.offset + (file.size() - failed.offset) / 2 : failed.offset;
        EXPECT_EQ(retry->offset, onDisk) << failed.path.toStdString();
        if (hungUp) {
            EXPECT_NE(retry->session, failed.session) << "the retry needs a new log-on";
        }
        EXPECT_TRUE(hasRowStartingWith(
            rows, QStringLiteral("Site"),
            QStringLiteral("Try %1 of 3 of %2 follows in ").arg(attempt + 1).arg(failed.path)))
            << failed.path.toStdString() << "\n"
            << shown(rows);
        if (onDisk > 0) {
            EXPECT_TRUE(
                hasRowStartingWith(rows, QStringLiteral("Site"),
                                   QStringLiteral("Resuming %1 at %2 bytes").arg(failed.path).arg(onDisk)))
                << failed.path.toStdString();
        }
    }
    // Each file counts once towards the fifth, on its first download the server serves.
    EXPECT_EQ(cuts, filesBelow(www) / 5);
    EXPECT_EQ(hangUps, 1);
    // The log-on refused with 421 was tried again.
    EXPECT_TRUE(hasRowStartingWith(rows, QStringLiteral("Site"),
                                   QStringLiteral("Try 2 of 3 of the log-on follows in ")))
        << shown(rows);
}

// With one try a file, a file cut at 90% fails the run and keeps what arrived. The next run asks
// for the rest of it with one REST. A file whose time on the server changed in between is
// fetched whole, and a resumed file whose hash disagrees is thrown away and fetched whole again.
TEST_F(Resilience, APartFileOfAFailedRunIsFinishedNextRunUnlessTheFileChangedOrItsHashDisagrees)
{
    QTemporaryDir root;
    const QHash<QString, QByteArray> files{{QStringLiteral("big.bin"), cvb::test::randomBytes(1000000, 7)},
                                           {QStringLiteral("changed.bin"), cvb::test::randomBytes(200000, 8)},
                                           {QStringLiteral("lied.bin"), cvb::test::randomBytes(300000, 9)}};
    for (auto it = files.begin(); it != files.end(); ++it)
        ASSERT_TRUE(cvb::test::writeFile(root.filePath(QStringLiteral("files/") + it.key()), it.value()));
    LoggingOddFtpServer server(
        root.path(), {QStringLiteral("--cut-at-fraction"), QStringLiteral("big.bin"), QStringLiteral("0.9"),
                      QStringLiteral("--cut-at-fraction"), QStringLiteral("changed.bin"),
                      QStringLiteral("0.5"), QStringLiteral("--cut-at-fraction"), QStringLiteral("lied.bin"),
                      QStringLiteral("0.5"), QStringLiteral("--hash-lie"), QStringLiteral("lied.bin")});
    ASSERT_GT(server.port(), 0);
    d.writeSettings("[transfer]\nretries=1\n");
    addProfile(server, QStringLiteral("Parts"),
               {QStringLiteral("/files/big.bin"), QStringLiteral("/files/changed.bin"),
                QStringLiteral("/files/lied.bin")});

    const auto first = d.run(QStringLiteral("Parts"));
    QStringList rows = d.eventsOf(QStringLiteral("Parts"));
    EXPECT_EQ(first.exitCode, 1) << shown(rows);
    ASSERT_FALSE(rows.isEmpty());
    EXPECT_EQ(rows.last().toStdString(), "Result: failed");
    for (const QString &name : files.keys())
        EXPECT_FALSE(QFileInfo::exists(d.target() + QLatin1Char('/') + name)) << name.toStdString();
    const qsizetype firstRunDownloads = server.downloads().size();
    const qsizetype firstRunRows = rows.size();

    QFile changed(root.filePath(QStringLiteral("files/changed.bin")));
    ASSERT_TRUE(changed.open(QIODevice::ReadWrite));
    ASSERT_TRUE(changed.setFileTime(QDateTime::currentDateTimeUtc().addSecs(-3600),
                                    QFileDevice::FileModificationTime));
    changed.close();

    const auto second = d.run(QStringLiteral("Parts"));
    rows = d.eventsOf(QStringLiteral("Parts")).mid(firstRunRows);
    EXPECT_EQ(second.exitCode, 0) << shown(rows);
    ASSERT_FALSE(rows.isEmpty());
    EXPECT_EQ(rows.last().toStdString(), "Result: complete");
    for (auto it = files.begin(); it != files.end(); ++it)
        EXPECT_TRUE(cvb::test::readFile(d.target() + QLatin1Char('/') + it.key()) == it.value())
            << it.key().toStdString();
    // No part file is left behind (the manifest of the complete backup stays).
    QStringList left = QDir(d.target()).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot);
    left.removeAll(QStringLiteral(".corvale-manifest"));
    left.sort();
    EXPECT_EQ(left, (QStringList{QStringLiteral("big.bin"), QStringLiteral("changed.bin"),
                                 QStringLiteral("lied.bin")}));

    const QList<LoggedDownload> later = server.downloads().mid(firstRunDownloads);
    EXPECT_EQ(offsetsOf(later, QStringLiteral("/files/big.bin")), QList<qint64>{900000});
    EXPECT_TRUE(rows.contains(QStringLiteral("Resuming /files/big.bin at 900000 bytes"))) << shown(rows);
    EXPECT_EQ(offsetsOf(later, QStringLiteral("/files/changed.bin")), QList<qint64>{0});
    EXPECT_EQ(offsetsOf(later, QStringLiteral("/files/lied.bin")), (QList<qint64>{150000, 0}));
    for (const LoggedDownload &download : later)
        EXPECT_TRUE(download.reply.startsWith(QLatin1String("226 "))) << download.path.toStdString();
}

// A profile that writes a new folder each time: the part a failed run left in its folder is
// finished by the next run in the next folder, and nothing of it stays behind.
TEST_F(Resilience, APartLeftInTheFolderOfAFailedDateStampedRunIsFinishedInTheNextFolder)
{
    QTemporaryDir root;
    const QByteArray big = cvb::test::randomBytes(1000000, 11);
    ASSERT_TRUE(cvb::test::writeFile(root.filePath(QStringLiteral("files/big.bin")), big));
    LoggingOddFtpServer server(root.path(),
                               {QStringLiteral("--cut-at-fraction"), QStringLiteral("big.bin"), QStringLiteral("0.9")});
    ASSERT_GT(server.port(), 0);
    d.writeSettings("[transfer]\nretries=1\n");
    d.useServer(server.port(), QStringLiteral("tester"), QStringLiteral("secret"));
    d.addProfile(QStringLiteral("Stamped"), {QStringLiteral("DTSTAMP_DI=T")});
    d.addSource(QStringLiteral("Stamped"), QStringLiteral("/files"), QStringLiteral("Binary"));

    qputenv("CVB_NOW", "2026-12-07T08:00:00");
    EXPECT_EQ(d.run(QStringLiteral("Stamped")).exitCode, 1);
    qputenv("CVB_NOW", "2026-12-08T08:00:00");
    const qsizetype firstRunDownloads = server.downloads().size();
    const auto second = d.run(QStringLiteral("Stamped"));
    qunsetenv("CVB_NOW");
    EXPECT_EQ(second.exitCode, 0) << shown(d.eventsOf(QStringLiteral("Stamped")));

    const QStringList folders = QDir(d.target()).entryList(QDir::Dirs | QDir::NoDotAndDotDot, QDir::Name);
    ASSERT_EQ(folders.size(), 2);
    const QList<LoggedDownload> later = server.downloads().mid(firstRunDownloads);
    EXPECT_EQ(offsetsOf(later, QStringLiteral("/files/big.bin")), QList<qint64>{900000});
    int found = 0;
    for (const QString &folder : folders) {
        const QString copy = d.target() + QLatin1Char('/') + folder + QStringLiteral("/files/big.bin");
        if (QFileInfo::exists(copy)) {
            ++found;
            EXPECT_TRUE(cvb::test::readFile(copy) == big);
        }
        // The failed run's folder keeps no part; the complete one only the file and its manifest.
        QStringList left;
        for (QDirIterator it(d.target() + QLatin1Char('/') + folder, QDir::Files | QDir::Hidden,
                             QDirIterator::Subdirectories);
             it.hasNext();)
            left << it.next();
        EXPECT_TRUE(left.filter(QStringLiteral(".part")).isEmpty()) << left.join(QLatin1Char(' ')).toStdString();
    }
    EXPECT_EQ(found, 1);
}

// A file that the listing names and the server then no longer has is not retried: the run
// copies the rest, names the file in a row and exits with 3.
TEST_F(Resilience, AFileGoneBetweenListingAndDownloadIsNamedAndTheRunExitsWithThree)
{
    QTemporaryDir root;
    ASSERT_TRUE(cvb::test::writeFile(root.filePath(QStringLiteral("site/index.html")), "<p>here</p>\n"));
    ASSERT_TRUE(cvb::test::writeFile(root.filePath(QStringLiteral("site/sess_41af.tmp")), "session"));
    LoggingOddFtpServer server(root.path(), {QStringLiteral("--vanish"), QStringLiteral("sess_41af.tmp")});
    ASSERT_GT(server.port(), 0);
    addProfile(server, QStringLiteral("Gone"), {QStringLiteral("/site")});

    const auto r = d.run(QStringLiteral("Gone"));
    const QStringList rows = d.eventsOf(QStringLiteral("Gone"));
    EXPECT_EQ(r.exitCode, 3) << shown(rows);
    EXPECT_TRUE(rows.contains(QStringLiteral("Vanished during the backup: /site/sess_41af.tmp")))
        << shown(rows);
    ASSERT_FALSE(rows.isEmpty());
    EXPECT_EQ(rows.last().toStdString(), "Result: complete except 1 files that vanished during the run");
    EXPECT_EQ(cvb::test::readFile(d.target() + QStringLiteral("/site/index.html")), "<p>here</p>\n");
    EXPECT_FALSE(QFileInfo::exists(d.target() + QStringLiteral("/site/sess_41af.tmp")));
    EXPECT_EQ(offsetsOf(server.downloads(), QStringLiteral("/site/sess_41af.tmp")).size(), 1);
}

// 530 is final: the run fails with 1 and the password went to the server once, so that a host
// counting failed log-ons does not lock the account.
TEST_F(Resilience, AWrongPasswordFailsTheRunAndIsSentOnlyOnce)
{
    QTemporaryDir root;
    ASSERT_TRUE(cvb::test::writeFile(root.filePath(QStringLiteral("site/index.html")), "<p>here</p>\n"));
    LoggingOddFtpServer server(root.path(), {});
    ASSERT_GT(server.port(), 0);
    addProfile(server, QStringLiteral("Locked"), {QStringLiteral("/site")},
               QStringLiteral("not the password"));

    const auto r = d.run(QStringLiteral("Locked"));
    const QStringList rows = d.eventsOf(QStringLiteral("Locked"));
    EXPECT_EQ(r.exitCode, 1) << shown(rows);
    ASSERT_FALSE(rows.isEmpty());
    EXPECT_EQ(rows.last().toStdString(), "Result: failed");
    EXPECT_EQ(server.arguments(QStringLiteral("PASS")).size(), 1);
    EXPECT_FALSE(QFileInfo::exists(d.target() + QStringLiteral("/site/index.html")));
}

} // namespace
