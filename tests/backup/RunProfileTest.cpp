// corvale-backup --run-profile, end to end: tables prepared with cvb-dbf, real FTP servers on
// loopback, the program run as cron or a systemd timer would run it.
#include "socket/Tls.h"
#include "tests/backup/ProgramData.h"
#include "tests/support/Files.h"
#include "tests/support/FtpServer.h"
#include "tests/support/PdfText.h"
#include "tests/support/Peers.h"
#include "tests/support/SiteTree.h"
#include "tests/support/TestCertificate.h"

#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QThread>
#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <string>
#include <tuple>

namespace {

using cvb::test::built;
using cvb::test::ProgramData;
using cvb::test::runProcess;

// The names in a folder as a server lists them: sorted by their bytes, dot files included.
QStringList listing(const QString &folder)
{
    QStringList names =
        QDir(folder).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot, QDir::NoSort);
    std::sort(names.begin(), names.end(),
              [](const QString &a, const QString &b) { return a.toUtf8() < b.toUtf8(); });
    return names;
}

// The rows a backup of `sources` from the server folder `root` into `target` writes after
// "Logging in to '": files of file sources, then the folders breadth first, then the counts.
QStringList expectedTransferRows(const QString &root, const QStringList &sources, const QString &target)
{
    QStringList rows;
    struct Entry
    {
        QString path;
        qsizetype base;
    };
    QList<Entry> work;
    int files = 0;
    qint64 bytes = 0;
    const auto count = [&](const QString &path) {
        ++files;
        bytes += QFileInfo(path).size();
    };
    for (const QString &source : sources) {
        if (QFileInfo(root + source).isFile()) {
            rows << QStringLiteral("Finished downloading ") + source;
            count(root + source);
        } else {
            work.append({source, source.lastIndexOf(QLatin1Char('/')) + 1});
        }
    }
    while (!work.isEmpty()) {
        const Entry e = work.takeFirst();
        for (const QString &name : listing(root + e.path)) {
            if (QFileInfo(root + e.path + QLatin1Char('/') + name).isDir()) {
                work.append({e.path + QLatin1Char('/') + name, e.base});
            } else {
                rows << QStringLiteral("Finished downloading ") + target + QLatin1Char('/') +
                            e.path.mid(e.base) + QLatin1Char('/') + name;
                count(root + e.path + QLatin1Char('/') + name);
            }
        }
    }
    return rows << QStringLiteral("Files downloaded: %1, unchanged: 0, failed: 0.").arg(files)
                << QStringLiteral("Bytes over the network: %1.").arg(bytes)
                << QStringLiteral("Logged out of FTP server.") << QStringLiteral("Backup Complete")
                << QStringLiteral("Result: complete");
}

// The rows of each folder sorted among themselves: a folder's rows stay together, in the order of
// its listing, which is the server's own.
QStringList sortedWithinFolders(QStringList rows)
{
    const auto folderOf = [](const QString &row) { return row.section(QLatin1Char('/'), 0, -2); };
    for (qsizetype begin = 0; begin < rows.size();) {
        qsizetype end = begin + 1;
        while (end < rows.size() && folderOf(rows[end]) == folderOf(rows[begin]))
            ++end;
        std::sort(rows.begin() + begin, rows.begin() + end);
        begin = end;
    }
    return rows;
}

const QStringList sampleSources{QStringLiteral("/www/index.html"), QStringLiteral("/www/site"),
                                QStringLiteral("/cgi-bin")};

void checkSampleBackup(const ProgramData &d, const QString &siteRoot)
{
    const auto r = d.run(QStringLiteral("Sample"));
    EXPECT_EQ(r.exitCode, 0) << r.err.toStdString();
    QTemporaryDir expected;
    cvb::test::copyExpectedBackup(siteRoot, expected.path());
    EXPECT_EQ(cvb::test::treeDifferences(expected.path(), d.target()).join(QLatin1Char('\n')).toStdString(),
              "");

    QStringList rows = d.eventsOf(QStringLiteral("Sample"));
    ASSERT_GT(rows.size(), 4);
    EXPECT_EQ(rows.mid(0, 2), (QStringList{QStringLiteral("Begining backup profile Sample"),
                                           QStringLiteral("Loading Winsock")}));
    EXPECT_FALSE(rows[2].isEmpty());
    EXPECT_EQ(rows[3], QStringLiteral("Logging in to '/"));
    EXPECT_EQ(
        sortedWithinFolders(rows.mid(4)).join(QLatin1Char('\n')).toStdString(),
        sortedWithinFolders(expectedTransferRows(siteRoot, sampleSources, d.target())).join(QLatin1Char('\n')).toStdString());
}

void addSampleProfile(const ProgramData &d)
{
    d.addProfile(QStringLiteral("Sample"));
    d.addSource(QStringLiteral("Sample"), sampleSources[0], QStringLiteral("Binary"));
    d.addSource(QStringLiteral("Sample"), sampleSources[1]);
    d.addSource(QStringLiteral("Sample"), sampleSources[2]);
}

constexpr qint64 kBigFile = 50LL * 1024 * 1024;

// settings.ini in the data folder asks for `connections` at once; 0 leaves the default.
void askForConnections(const ProgramData &d, int connections)
{
    if (connections > 0)
        d.writeSettings(QStringLiteral("[transfer]\nconnections=%1\n").arg(connections).toUtf8());
}

QString firewallField(bool passive)
{
    return passive ? QStringLiteral("FIREWALL=T") : QStringLiteral("FIREWALL=F");
}

// The server, the connections asked for (0: the default) and passive data connections.
using SampleRun = std::tuple<std::string, int, bool>;

std::string sampleRunName(const ::testing::TestParamInfo<SampleRun> &info)
{
    const auto &[server, connections, passive] = info.param;
    return server + "_" + (connections ? std::to_string(connections) : std::string("default")) +
           (passive ? "_passive" : "_active");
}

class SampleSite : public ::testing::TestWithParam<SampleRun>
{
};

// pyftpdlib lists with MLSD. vsftpd has no MLSD (its LIST -a is read), leaves dot files out of a
// plain listing and locks the anonymous user into the site.
TEST_P(SampleSite, IsCopiedByteForByte)
{
    const auto &[serverName, connections, passive] = GetParam();
    ProgramData d;
    QTemporaryDir site;
    std::unique_ptr<cvb::test::PyFtpServer> pyftpdlib;
    std::unique_ptr<cvb::test::VsftpdServer> vsftpd;
    QString root;
    QTemporaryDir logs;
    const QString logPrefix = logs.filePath(QStringLiteral("session"));
    if (serverName == "pyftpdlib") {
        qputenv("CVB_FTP_LOG", logPrefix.toUtf8());
        pyftpdlib = std::make_unique<cvb::test::PyFtpServer>();
        qunsetenv("CVB_FTP_LOG");
        ASSERT_TRUE(pyftpdlib->isListening()) << pyftpdlib->error().toStdString();
        root = pyftpdlib->root();
        EXPECT_GE(cvb::test::buildSampleSite(root, kBigFile), 200);
        d.useServer(*pyftpdlib);
    } else {
        root = site.filePath(QStringLiteral("site"));
        ASSERT_TRUE(QDir().mkpath(root));
        EXPECT_GE(cvb::test::buildSampleSite(root, kBigFile), 200);
        vsftpd = std::make_unique<cvb::test::VsftpdServer>(root);
        ASSERT_TRUE(vsftpd->isListening()) << vsftpd->error().toStdString();
        d.setConnection({QStringLiteral("DOMAIN=127.0.0.1:%1").arg(vsftpd->port()),
                         QStringLiteral("USERNAME=anonymous"), QStringLiteral("PASSWORD=backup@example.com")});
    }
    d.setConnection({firewallField(passive)});
    askForConnections(d, connections);
    addSampleProfile(d);
    checkSampleBackup(d, root);
    // The main connection and the transfer connections (and perhaps a probe) logged on.
    if (pyftpdlib) {
        EXPECT_GE(cvb::test::loggedArguments(logPrefix, QStringLiteral("USER")).size(),
                  1 + (connections ? connections : 3));
    }
}

INSTANTIATE_TEST_SUITE_P(RunProfile, SampleSite,
                         ::testing::Combine(::testing::Values("pyftpdlib", "vsftpd"), ::testing::Values(0, 1, 4),
                                            ::testing::Bool()),
                         sampleRunName);

class SampleSiteOverTls : public ::testing::TestWithParam<bool>
{
};

// Over ftpes:// the whole session is encrypted; vsftpd insists that every data connection
// resumes the TLS session of its own control connection, on each of the four connections. The
// certificate is pinned in known-servers.
TEST_P(SampleSiteOverTls, FromVsftpdOnFourConnectionsIsCopiedByteForByte)
{
    QTemporaryDir site;
    const QString root = site.filePath(QStringLiteral("site"));
    ASSERT_TRUE(QDir().mkpath(root));
    EXPECT_GE(cvb::test::buildSampleSite(root, 5LL * 1024 * 1024), 200);
    cvb::test::TestCertificate cert;
    ASSERT_TRUE(cert.ok()) << cert.error().toStdString();
    cvb::test::VsftpdServer server(root, cert.pemFile());
    ASSERT_TRUE(server.isListening()) << server.error().toStdString();
    ProgramData d;
    d.setConnection({QStringLiteral("DOMAIN=ftpes://127.0.0.1:%1").arg(server.port()),
                     QStringLiteral("USERNAME=anonymous"), QStringLiteral("PASSWORD=backup@example.com"),
                     firewallField(GetParam())});
    ASSERT_TRUE(cvb::test::writeFile(
        d.data() + QStringLiteral("/known-servers"),
        QStringLiteral("127.0.0.1:%1 %2\n").arg(server.port()).arg(cert.fingerprint()).toUtf8()));
    askForConnections(d, 4);
    addSampleProfile(d);
    checkSampleBackup(d, root);
}

INSTANTIATE_TEST_SUITE_P(RunProfile, SampleSiteOverTls, ::testing::Bool(),
                         [](const auto &info) { return std::string(info.param ? "passive" : "active"); });

// Nobody is asked during a backup: a certificate that is neither vouched for by the system's
// store nor pinned, or that differs from the pinned one, fails the backup before anything is
// downloaded, and the log names the server and the certificate.
TEST(RunProfile, AnUntrustedOrChangedCertificateFailsTheBackupAndDownloadsNothing)
{
    cvb::test::TestCertificate cert;
    cvb::test::TestCertificate changed;
    ASSERT_TRUE(cert.ok() && changed.ok());
    cvb::test::PyFtpServer server(QStringLiteral("tester"), QStringLiteral("secret"), changed.pemFile());
    ASSERT_TRUE(server.isListening()) << server.error().toStdString();
    ASSERT_TRUE(cvb::test::writeFile(server.path(QStringLiteral("page.html")), "<p>secret</p>\n"));
    ProgramData d;
    d.useServer(server);
    d.setConnection({QStringLiteral("DOMAIN=ftpes://127.0.0.1:%1").arg(server.port())});
    d.addProfile(QStringLiteral("Tls"));
    d.addSource(QStringLiteral("Tls"), QStringLiteral("/page.html"));
    const QString pinned = QStringLiteral("127.0.0.1:%1 %2\n").arg(server.port());
    for (const QString &knownServers : {QString(), pinned.arg(cert.fingerprint())}) {
        if (!knownServers.isEmpty()) {
            ASSERT_TRUE(
                cvb::test::writeFile(d.data() + QStringLiteral("/known-servers"), knownServers.toUtf8()));
        }
        const qsizetype before = d.eventsOf(QStringLiteral("Tls")).size();
        const auto r = d.run(QStringLiteral("Tls"));
        EXPECT_EQ(r.exitCode, 1) << r.err.toStdString();
        const QStringList rows = d.eventsOf(QStringLiteral("Tls")).mid(before);
        const QStringList exceptions = rows.filter(QStringLiteral("EXCEPTION: "));
        ASSERT_FALSE(exceptions.isEmpty()) << rows.join(QLatin1Char('\n')).toStdString();
        // The row is cut at 100 characters: the short fingerprint and the server come first.
        EXPECT_TRUE(exceptions[0].contains(QStringLiteral("127.0.0.1:%1").arg(server.port())))
            << exceptions[0].toStdString();
        EXPECT_TRUE(exceptions[0].contains(cvb::shortFingerprint(changed.fingerprint())))
            << exceptions[0].toStdString();
        EXPECT_TRUE(rows.filter(QStringLiteral("Finished downloading")).isEmpty());
        EXPECT_TRUE(QDir(d.target()).isEmpty(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot));
    }
}

// A data connection that ends without its TLS close may have been cut short by anyone on the
// way: the download fails and the earlier copy stays as it was.
TEST(RunProfile, ATlsDownloadCutShortFailsAndKeepsTheEarlierCopy)
{
    cvb::test::TestCertificate cert;
    ASSERT_TRUE(cert.ok());
    cvb::test::PyFtpServer server(QStringLiteral("tester"), QStringLiteral("secret"), cert.pemFile(), true);
    ASSERT_TRUE(server.isListening()) << server.error().toStdString();
    ASSERT_TRUE(cvb::test::writeFile(server.path(QStringLiteral("big.bin")), QByteArray(300000, 'n')));
    ProgramData d;
    d.useServer(server);
    d.setConnection({QStringLiteral("DOMAIN=ftpes://127.0.0.1:%1").arg(server.port())});
    ASSERT_TRUE(cvb::test::writeFile(
        d.data() + QStringLiteral("/known-servers"),
        QStringLiteral("127.0.0.1:%1 %2\n").arg(server.port()).arg(cert.fingerprint()).toUtf8()));
    d.addProfile(QStringLiteral("Cut"));
    d.addSource(QStringLiteral("Cut"), QStringLiteral("/big.bin"), QStringLiteral("Binary"));
    const QByteArray earlier(1000, 'g');
    const QString copy = d.target() + QStringLiteral("/big.bin");
    ASSERT_TRUE(cvb::test::writeFile(copy, earlier));
    const auto r = d.run(QStringLiteral("Cut"));
    EXPECT_EQ(r.exitCode, 1) << r.err.toStdString();
    EXPECT_EQ(cvb::test::readFile(copy), earlier);
    EXPECT_EQ(QDir(d.target()).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot),
              QStringList{QStringLiteral("big.bin")});
    const QStringList rows = d.eventsOf(QStringLiteral("Cut"));
    EXPECT_FALSE(rows.filter(QStringLiteral("EXCEPTION: 331")).isEmpty())
        << rows.join(QLatin1Char('\n')).toStdString();
}

TEST(RunProfile, AMissingSourceFailsWithoutLeavingAFolderInItsPlaceAndExitsWithOne)
{
    cvb::test::PyFtpServer server;
    ASSERT_TRUE(server.isListening());
    ProgramData d;
    d.useServer(server);
    d.addProfile(QStringLiteral("Miss"));
    d.addSource(QStringLiteral("Miss"), QStringLiteral("/gone.html"));
    const auto r = d.run(QStringLiteral("Miss"));
    EXPECT_EQ(r.exitCode, 1) << r.err.toStdString();
    const QStringList rows = d.eventsOf(QStringLiteral("Miss"));
    ASSERT_EQ(rows.size(), 11) << rows.join(QLatin1Char('\n')).toStdString();
    EXPECT_TRUE(rows[4].startsWith(QStringLiteral("EXCEPTION: 141: 550 "))) << rows[4].toStdString();
    EXPECT_EQ(rows[5], QStringLiteral("Download of file : /gone.html may not have been successful!"));
    EXPECT_EQ(rows[6], QStringLiteral("Files downloaded: 0, unchanged: 0, failed: 1."));
    EXPECT_EQ(rows[9], QStringLiteral("Backup Complete"));
    EXPECT_EQ(rows[10], QStringLiteral("Result: failed"));
    // A name is copied as a folder only when the server has one of that name.
    EXPECT_FALSE(QFileInfo::exists(d.target() + QStringLiteral("/gone.html")));
}

TEST(RunProfile, ARelativeSourceIsBelowTheLogOnFolderAndATreeDeeperThanTheLimitStopsThere)
{
    // "www" typed without "/" is the log-on folder's www; its subfolder is copied below it.
    // "deep" goes further down than the depth limit (as a server-side link back up, www -> .,
    // would on a server that resolves it without end): the copy stops there, says so in one
    // row, and the backup counts as failed.
    cvb::test::PyFtpServer server;
    ASSERT_TRUE(server.isListening());
    ASSERT_TRUE(cvb::test::writeFile(server.path("www/sub/page.html"), "page"));
    ASSERT_TRUE(cvb::test::writeFile(server.path("www/top.txt"), "top"));
    QString deepest = QStringLiteral("deep");
    for (int level = 0; level < 64; ++level)
        deepest += "/d";
    ASSERT_TRUE(cvb::test::writeFile(server.path(deepest + "/last.txt"), "last"));
    ASSERT_TRUE(cvb::test::writeFile(server.path(deepest + "/d/below.txt"), "below"));
    ASSERT_TRUE(cvb::test::writeFile(server.path(deepest + "/d/d/below.txt"), "below"));
    ProgramData d;
    d.useServer(server);
    d.addProfile(QStringLiteral("Rel"));
    d.addSource(QStringLiteral("Rel"), QStringLiteral("www"));
    d.addSource(QStringLiteral("Rel"), QStringLiteral("deep"));
    const auto r = d.run(QStringLiteral("Rel"));
    EXPECT_EQ(r.exitCode, 1) << r.err.toStdString();
    EXPECT_EQ(cvb::test::readFile(d.target() + "/www/sub/page.html"), "page");
    EXPECT_EQ(cvb::test::readFile(d.target() + "/www/top.txt"), "top");
    EXPECT_EQ(cvb::test::readFile(d.target() + QLatin1Char('/') + deepest + "/last.txt"), "last");
    EXPECT_FALSE(QFileInfo::exists(d.target() + QLatin1Char('/') + deepest + "/d"));
    const QStringList rows = d.eventsOf(QStringLiteral("Rel"));
    const QStringList limit = rows.filter(QStringLiteral("levels below their source"));
    ASSERT_EQ(limit.size(), 1) << rows.join(QLatin1Char('\n')).toStdString();
    EXPECT_TRUE(limit[0].startsWith(QStringLiteral("EXCEPTION: Folders more than 64 levels below")));
    EXPECT_TRUE(rows.filter(QStringLiteral("outside the backup folder")).isEmpty());
    EXPECT_EQ(rows.last(), QStringLiteral("Result: failed"));
}

class StalledTransfer : public ::testing::TestWithParam<const char *>
{
};

// The file source is fetched on the main connection; the folder "/" hands its files to the
// transfer connections, which a stop must reach as well.
TEST_P(StalledTransfer, SigtermStopsTheBackupExitsOneAndLeavesNoTemporaryFile)
{
    QTemporaryDir site;
    ASSERT_TRUE(cvb::test::writeFile(site.filePath("hang.bin"), QByteArray(1 << 20, 'h')));
    cvb::test::OddFtpServer server(site.path(), {}, false, 0, QStringLiteral("hang.bin"));
    ASSERT_NE(server.port(), 0);
    ProgramData d;
    d.setConnection({QStringLiteral("DOMAIN=127.0.0.1:%1").arg(server.port()), QStringLiteral("USERNAME=tester"),
                     QStringLiteral("PASSWORD=secret"), QStringLiteral("FIREWALL=T")});
    d.addProfile(QStringLiteral("Hang"));
    d.addSource(QStringLiteral("Hang"), QString::fromLatin1(GetParam()), QStringLiteral("Binary"));
    // The earlier copy of the file must survive the stopped run.
    ASSERT_TRUE(cvb::test::writeFile(d.target() + "/hang.bin", "earlier copy"));

    QProcess program;
    program.start(built(QStringLiteral("app/corvale-backup")),
                  {QStringLiteral("--data"), d.data(), QStringLiteral("--run-profile"), QStringLiteral("Hang")});
    ASSERT_TRUE(program.waitForStarted(10000));
    // The download has begun once its temporary file holds the first bytes.
    const auto partial = [&] {
        for (const QFileInfo &file : QDir(d.target()).entryInfoList(QDir::Files | QDir::Hidden)) {
            if (file.fileName() != "hang.bin" && file.size() > 0)
                return true;
        }
        return false;
    };
    QDeadlineTimer started(60000);
    while (!partial() && !started.hasExpired() && program.state() == QProcess::Running)
        QThread::msleep(50);
    ASSERT_TRUE(partial()) << program.readAllStandardError().toStdString()
                           << d.eventsOf(QStringLiteral("Hang")).join(QLatin1Char('\n')).toStdString()
                           << " running: " << (program.state() == QProcess::Running);

    program.terminate();
    ASSERT_TRUE(program.waitForFinished(10000)) << "still running 10 s after SIGTERM";
    EXPECT_EQ(program.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(program.exitCode(), 1) << program.readAllStandardError().toStdString();
    EXPECT_EQ(QDir(d.target()).entryList(QDir::Files | QDir::Hidden), QStringList{"hang.bin"});
    EXPECT_EQ(cvb::test::readFile(d.target() + "/hang.bin"), "earlier copy");
    const QStringList rows = d.eventsOf(QStringLiteral("Hang"));
    EXPECT_TRUE(rows.contains(QStringLiteral("Backup stopped: the program is ending."))) << rows.join('\n').toStdString();
}

INSTANTIATE_TEST_SUITE_P(RunProfile, StalledTransfer, ::testing::Values("/hang.bin", "/"),
                         [](const auto &info) { return std::string(info.param[1] ? "FileSource" : "FolderSource"); });

// A full disk, as a file-size limit gives it: the write fails with the system's error.
TEST(RunProfile, ALocalWriteErrorFailsTheBackupAndKeepsTheEarlierCopy)
{
    cvb::test::PyFtpServer server;
    ASSERT_TRUE(server.isListening());
    QByteArray good(300000, 'g');
    cvb::test::writeFile(server.path(QStringLiteral("big.bin")), good);
    ProgramData d;
    d.useServer(server);
    d.addProfile(QStringLiteral("Big"));
    d.addSource(QStringLiteral("Big"), QStringLiteral("/big.bin"), QStringLiteral("Binary"));
    ASSERT_EQ(d.run(QStringLiteral("Big")).exitCode, 0);
    const QString copy = d.target() + QStringLiteral("/big.bin");
    ASSERT_EQ(cvb::test::readFile(copy), good);

    const qsizetype rowsBefore = d.eventsOf(QStringLiteral("Big")).size();
    cvb::test::writeFile(server.path(QStringLiteral("big.bin")), QByteArray(300000, 'n'));
    {
        // Changed within the second of the first backup, the file would look unchanged to it.
        QFile changed(server.path(QStringLiteral("big.bin")));
        ASSERT_TRUE(changed.open(QIODevice::ReadWrite) &&
                    changed.setFileTime(QDateTime::currentDateTime().addSecs(-3600),
                                        QFileDevice::FileModificationTime));
    }
    // 100 blocks of 1024 bytes; SIGXFSZ ignored, so that writing past the limit fails with EFBIG.
    const auto r =
        runProcess(QStringLiteral("/bin/bash"),
                   {QStringLiteral("-c"), QStringLiteral("ulimit -f 100; trap '' XFSZ; exec \"$0\" \"$@\""),
                    built(QStringLiteral("app/corvale-backup")), QStringLiteral("--data"), d.data(),
                    QStringLiteral("--run-profile"), QStringLiteral("Big")},
                   600000);
    EXPECT_EQ(r.exitCode, 1) << r.err.toStdString();
    EXPECT_EQ(cvb::test::readFile(copy), good) << "the earlier copy was touched";
    EXPECT_EQ(QDir(d.target()).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot),
              QStringList{QStringLiteral("big.bin")})
        << "a temporary file was left";
    const QStringList rows = d.eventsOf(QStringLiteral("Big")).mid(rowsBefore);
    EXPECT_TRUE(
        rows.filter(QStringLiteral("EXCEPTION: ")).join(QString()).contains(QStringLiteral("File too large")))
        << rows.join(QLatin1Char('\n')).toStdString();
    EXPECT_FALSE(rows.join(QString()).contains(QStringLiteral("Finished downloading /big.bin")));
}

// Copies are private to the user, and a name near the file system's limit still gets its
// temporary file.
TEST(RunProfile, CopiesArePrivateAndNamesUpToTheLimitAreSaved)
{
    cvb::test::PyFtpServer server;
    ASSERT_TRUE(server.isListening());
    const QString longName = QString(251, QLatin1Char('n')) + QStringLiteral(".bin");
    ASSERT_TRUE(QDir().mkpath(server.path(QStringLiteral("sub"))));
    cvb::test::writeFile(server.path(QStringLiteral("sub/") + longName), "long");
    cvb::test::writeFile(server.path(QStringLiteral("sub/wp-config.php")), "secret");
    ProgramData d;
    d.useServer(server);
    d.addProfile(QStringLiteral("Priv"));
    d.addSource(QStringLiteral("Priv"), QStringLiteral("/sub"));
    const auto r = d.run(QStringLiteral("Priv"));
    EXPECT_EQ(r.exitCode, 0) << d.eventsOf(QStringLiteral("Priv")).join(QLatin1Char('\n')).toStdString();
    const QString folder = d.target() + QStringLiteral("/sub");
    EXPECT_EQ(cvb::test::readFile(folder + QLatin1Char('/') + longName), "long");
    EXPECT_EQ(QFileInfo(folder).permissions() & 0x0777, QFile::ReadUser | QFile::WriteUser | QFile::ExeUser);
    for (const QString &file : {longName, QStringLiteral("wp-config.php")})
        EXPECT_EQ(QFileInfo(folder + QLatin1Char('/') + file).permissions() & 0x0777,
                  QFile::ReadUser | QFile::WriteUser)
            << file.toStdString();
}

TEST(RunProfile, RotationUsesABCAThenDateStampsMakeANewFolderEachRun)
{
    cvb::test::PyFtpServer server;
    ASSERT_TRUE(server.isListening());
    ASSERT_TRUE(cvb::test::writeFile(server.path(QStringLiteral("page.html")), "<p>rotating</p>\n"));
    ProgramData d;
    d.useServer(server);
    d.addProfile(QStringLiteral("Rot"), {QStringLiteral("ROTATE_DIR=T"), QStringLiteral("DTSTAMP_DI=T")});
    d.addSource(QStringLiteral("Rot"), QStringLiteral("/page.html"));
    for (int run = 0; run < 4; ++run)
        EXPECT_EQ(d.run(QStringLiteral("Rot")).exitCode, 0);
    const QString t = d.target();
    EXPECT_EQ(QDir(t).entryList(QDir::Dirs | QDir::NoDotAndDotDot),
              (QStringList{QStringLiteral("A"), QStringLiteral("B"), QStringLiteral("C")}));
    QStringList folderRows;
    for (const QString &row : d.eventsOf(QStringLiteral("Rot"))) {
        if (row.contains(QStringLiteral("New subfolder")))
            folderRows << row;
    }
    EXPECT_EQ(folderRows,
              (QStringList{QStringLiteral("New subfolder ") + t + QStringLiteral("/A sucessfully created."),
                           QStringLiteral("New subfolder ") + t + QStringLiteral("/B sucessfully created."),
                           QStringLiteral("New subfolder ") + t + QStringLiteral("/C sucessfully created."),
                           QStringLiteral("WARNING - New subfolder ") + t +
                               QStringLiteral("/A could not be created.")}));
    EXPECT_TRUE(QFile::exists(t + QStringLiteral("/A/page.html")));

    d.addProfile(QStringLiteral("Stamp"), {QStringLiteral("DTSTAMP_DI=T")});
    d.addSource(QStringLiteral("Stamp"), QStringLiteral("/page.html"));
    qputenv("CVB_NOW", "2026-12-07T20:56:05");
    EXPECT_EQ(d.run(QStringLiteral("Stamp")).exitCode, 0);
    qputenv("CVB_NOW", "2026-12-08T09:01:02");
    EXPECT_EQ(d.run(QStringLiteral("Stamp")).exitCode, 0);
    qunsetenv("CVB_NOW");
    EXPECT_TRUE(QFile::exists(t + QStringLiteral("/Monday, December 7, 2026 - 08!56!05 PM/page.html")));
    EXPECT_TRUE(QFile::exists(t + QStringLiteral("/Tuesday, December 8, 2026 - 09!01!02 AM/page.html")));
}

TEST(RunProfile, UnknownProfileAndUsageErrorsExitWithTwo)
{
    ProgramData d;
    const auto unknown = d.run(QStringLiteral("Nobody"));
    EXPECT_EQ(unknown.exitCode, 2);
    EXPECT_TRUE(unknown.err.contains("Nobody")) << unknown.err.toStdString();
    const auto missingName =
        runProcess(built(QStringLiteral("app/corvale-backup")),
                   {QStringLiteral("--data"), d.data(), QStringLiteral("--run-profile")});
    EXPECT_EQ(missingName.exitCode, 2);
    EXPECT_TRUE(d.dbf({QStringLiteral("dump"), d.table("FTP Queue.dbf")}).count('\n') <= 1);
}

} // namespace

namespace {

TEST(ScheduledBackup, ADueProfileIsQueuedAndBackedUpWithNoOneAtTheKeyboard)
{
    cvb::test::PyFtpServer server;
    ASSERT_TRUE(server.isListening());
    ASSERT_TRUE(cvb::test::writeFile(server.path(QStringLiteral("nightly.html")), "<p>on time</p>\n"));
    ProgramData d;
    d.useServer(server);
    // Due at 9:00 pm on Monday, December 7, 2026; the program starts ten seconds before.
    d.addProfile(QStringLiteral("Nightly"),
                 {QStringLiteral("KIND=Daily Backup every          day(s) at             :"),
                  QStringLiteral("TIME=09:00 pm"), QStringLiteral("ACTIVE=T"), QStringLiteral("MON=T"),
                  QStringLiteral("PERFORM_IN=1 12/7/2026|9:00:00 PM")});
    d.addSource(QStringLiteral("Nightly"), QStringLiteral("/nightly.html"));

    QProcess program;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("CVB_NOW"), QStringLiteral("2026-12-07T20:59:50"));
    env.insert(QStringLiteral("CVB_SHORTDATE"), QStringLiteral("M/d/yyyy"));
    env.insert(QStringLiteral("CVB_LONGTIME"), QStringLiteral("h:mm:ss AP"));
    env.insert(QStringLiteral("CVB_PACING"), QStringLiteral("0"));
    program.setProcessEnvironment(env);
    program.start(built(QStringLiteral("app/corvale-backup")),
                  {QStringLiteral("--data"), d.data(), QStringLiteral("--background")});
    ASSERT_TRUE(program.waitForStarted(10000));
    QDeadlineTimer deadline(120000);
    while (!deadline.hasExpired() &&
           !d.eventsOf(QStringLiteral("Nightly")).contains(QStringLiteral("Result: complete")))
        QThread::msleep(500);
    program.terminate();
    EXPECT_TRUE(program.waitForFinished(20000));
    EXPECT_EQ(program.exitCode(), 0) << program.readAllStandardError().toStdString();

    const QStringList rows = d.eventsOf(QStringLiteral("Nightly"));
    ASSERT_FALSE(rows.isEmpty());
    EXPECT_EQ(rows.first(), QStringLiteral("Begining backup profile Nightly"));
    EXPECT_EQ(rows.last(), QStringLiteral("Result: complete"));
    EXPECT_TRUE(QFile::exists(d.target() + QStringLiteral("/nightly.html")));
    const QByteArray profiles = d.dbf({QStringLiteral("dump"), d.table("FTP Profiles.DBF")});
    EXPECT_TRUE(profiles.contains("1 12/14/2026|9:00:00 PM")) << profiles.toStdString();
}

// The log that a backup wrote, printed as PDF by a user without a display: every row in order.
TEST(PrintLog, TheLogOfABackupIsWrittenAsPdfFromACleanStart)
{
    cvb::test::PyFtpServer server;
    ASSERT_TRUE(server.isListening());
    ASSERT_TRUE(cvb::test::writeFile(server.path(QStringLiteral("index.html")), "<html></html>\n"));
    ProgramData d;
    d.useServer(server);
    d.addProfile(QStringLiteral("Site"));
    d.addSource(QStringLiteral("Site"), QStringLiteral("/index.html"));
    ASSERT_EQ(d.run(QStringLiteral("Site")).exitCode, 0);

    const QString pdf = d.target() + QStringLiteral("/event log.pdf");
    const auto r = runProcess(built(QStringLiteral("app/corvale-backup")),
                              {QStringLiteral("--data"), d.data(), QStringLiteral("--print-log"), pdf});
    EXPECT_EQ(r.exitCode, 0) << r.err.toStdString();
    EXPECT_TRUE(r.out.contains(pdf.toUtf8())) << r.out.toStdString();
    const QStringList pages = cvb::test::pdfPages(pdf);
    ASSERT_EQ(pages.size(), 1);
    const QStringList lines = cvb::test::pageLines(pages.at(0));
    const QStringList events = d.events();
    ASSERT_EQ(lines.size(), 4 + events.size()) << pages.at(0).toStdString();
    EXPECT_EQ(lines.mid(1, 3), (QStringList{"Backup Event Log", "Corvale Backup", "Date Time Event"}));
    for (qsizetype i = 0; i < events.size(); ++i)
        EXPECT_TRUE(lines.at(4 + i).endsWith(events.at(i).simplified()))
            << lines.at(4 + i).toStdString() << " / " << events.at(i).toStdString();
}

} // namespace
