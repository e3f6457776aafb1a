// Backups that fetch only what changed, end to end against pyftpdlib (MLSD) and vsftpd (LIST,
// SIZE and MDTM) in each folder mode: every backup folder complete, unchanged files taken from
// the newest complete backup, the server's command log as the witness of what was downloaded.
#include "data/Clock.h"
#include "remote/Manifest.h"
#include "tests/backup/BackupHarness.h"
#include "tests/backup/ProgramData.h"
#include "tests/support/Files.h"
#include "tests/support/FtpServer.h"
#include "tests/support/SiteTree.h"

#include <QDeadlineTimer>
#include <QDir>
#include <QDirIterator>
#include <QFileInfo>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QThread>
#include <gtest/gtest.h>

#include <memory>
#include <sys/stat.h>
#include <tuple>

namespace {

using cvb::test::BackupHarness;

const QString kProfile = QStringLiteral("Snap");

// One of the two servers, serving root/site, with a log of every command.
class LoggedServer
{
public:
    explicit LoggedServer(bool vsftpd) : m_vsftpd(vsftpd)
    {
        if (vsftpd) {
            m_root = m_site.filePath(QStringLiteral("root"));
            QDir().mkpath(m_root);
            qputenv("CVB_VSFTPD_LOG", logFile().toUtf8());
            m_vsftpdServer = std::make_unique<cvb::test::VsftpdServer>(m_root);
            qunsetenv("CVB_VSFTPD_LOG");
            m_listening = m_vsftpdServer->isListening();
        } else {
            qputenv("CVB_FTP_LOG", logFile().toUtf8());
            m_pyftpdlib = std::make_unique<cvb::test::PyFtpServer>();
            qunsetenv("CVB_FTP_LOG");
            m_root = m_pyftpdlib->root();
            m_listening = m_pyftpdlib->isListening();
        }
    }

    bool isListening() const { return m_listening; }
    QString site() const { return m_root + QStringLiteral("/site"); }

    void useIn(BackupHarness &h) const
    {
        if (m_vsftpd)
            h.setConnection(QStringLiteral("127.0.0.1:%1").arg(m_vsftpdServer->port()),
                            QStringLiteral("anonymous"), QStringLiteral("backup@example.com"));
        else
            h.setConnection(QStringLiteral("127.0.0.1:%1").arg(m_pyftpdlib->port()), m_pyftpdlib->user(),
                            m_pyftpdlib->password());
    }

    // The paths of every file fetched so far, in the order the server took them. (Where the server
    // cannot say what the source /site is, it is tried as a file first.)
    QStringList retrieved() const
    {
        QStringList paths;
        if (!m_vsftpd) {
            paths = cvb::test::loggedArguments(logFile(), QStringLiteral("RETR"));
        } else {
            static const QRegularExpression retr(
                QStringLiteral("FTP command: Client \"[^\"]*\", \"RETR (.*)\"$"));
            for (const QByteArray &line : cvb::test::readFile(logFile()).split('\n')) {
                const QRegularExpressionMatch match = retr.match(QString::fromUtf8(line));
                if (match.hasMatch())
                    paths << match.captured(1);
            }
        }
        paths.removeAll(QStringLiteral("/site"));
        return paths;
    }

private:
    QString logFile() const { return m_logs.filePath(QStringLiteral("commands")); }

    bool m_vsftpd;
    QTemporaryDir m_site;
    QTemporaryDir m_logs;
    QString m_root;
    bool m_listening = false;
    std::unique_ptr<cvb::test::PyFtpServer> m_pyftpdlib;
    std::unique_ptr<cvb::test::VsftpdServer> m_vsftpdServer;
};

void buildSite(const QString &site)
{
    for (const auto &[path, bytes] : std::initializer_list<std::pair<const char *, QByteArray>>{
             {"index.html", "<html>home</html>\n"},
             {".htaccess", "Deny from all\n"},
             {"a b.html", "<p>same size</p>\n"},
             {"img/logo.png", cvb::test::randomBytes(70000, 7)},
             {"img/deep/x.txt", "x\n"}})
        ASSERT_TRUE(cvb::test::writeFile(site + QLatin1Char('/') + QLatin1String(path), bytes)) << path;
    ASSERT_TRUE(QDir().mkpath(site + QStringLiteral("/empty")));
}

// Every file below `folder`, relative to it.
QStringList filesBelow(const QString &folder)
{
    QStringList files;
    QDirIterator it(folder, QDir::Files | QDir::Hidden, QDirIterator::Subdirectories);
    while (it.hasNext())
        files << QDir(folder).relativeFilePath(it.next());
    files.sort();
    return files;
}

struct stat statOf(const QString &path)
{
    struct stat info
    {
    };
    ::stat(QFile::encodeName(path).constData(), &info);
    return info;
}

bool sameFile(const QString &a, const QString &b)
{
    const struct stat first = statOf(a), second = statOf(b);
    return first.st_ino != 0 && first.st_dev == second.st_dev && first.st_ino == second.st_ino;
}

enum class Mode { Overwrite, DateStamped, Rotation };

using Case = std::tuple<bool /*vsftpd*/, Mode>;

std::string caseName(const ::testing::TestParamInfo<Case> &info)
{
    const auto &[vsftpd, mode] = info.param;
    const char *modes[] = {"Overwrite", "DateStamped", "Rotation"};
    return std::string(vsftpd ? "vsftpd_" : "pyftpdlib_") + modes[int(mode)];
}

class SnapshotBackups : public ::testing::TestWithParam<Case>
{
protected:
    void TearDown() override { cvb::Clock::useSystemTime(); }

    // Runs one backup of the profile and returns its folder; the run must succeed.
    QString backUp(BackupHarness &h, int run)
    {
        // A new date-stamped folder each run.
        cvb::Clock::setNow(QDateTime(QDate(2026, 12, 7), QTime(8 + run, 0, 5)));
        const qsizetype rowsBefore = h.eventsOf(kProfile).size();
        const QStringList foldersBefore = QDir(h.target()).entryList(QDir::Dirs | QDir::NoDotAndDotDot);
        h.enqueue(kProfile);
        const auto closed = h.runQueue();
        const QStringList rows = h.eventsOf(kProfile).mid(rowsBefore);
        EXPECT_EQ(closed.size(), 1u);
        EXPECT_TRUE(!closed.empty() && closed[0].ok) << rows.join(QLatin1Char('\n')).toStdString();
        m_rows = rows;
        // The run's folder is the one it made, or the target itself that the backups overwrite.
        if (std::get<1>(GetParam()) == Mode::Overwrite)
            return h.target();
        for (const QString &name : QDir(h.target()).entryList(QDir::Dirs | QDir::NoDotAndDotDot))
            if (!foldersBefore.contains(name))
                return h.target() + QLatin1Char('/') + name;
        return h.target();
    }

    QStringList m_rows;
};

TEST_P(SnapshotBackups, OnlyChangedAndNewFilesAreDownloadedAndEveryFolderIsComplete)
{
    const auto &[vsftpd, mode] = GetParam();
    LoggedServer server(vsftpd);
    ASSERT_TRUE(server.isListening());
    buildSite(server.site());
    BackupHarness h;
    server.useIn(h);
    cvb::test::ProfileSettings profile(kProfile);
    profile.dateStamped = mode == Mode::DateStamped;
    profile.rotate = mode == Mode::Rotation;
    h.addProfile(profile);
    h.addSource(kProfile, QStringLiteral("/site"));
    const QStringList siteFiles = filesBelow(server.site());
    ASSERT_EQ(siteFiles.size(), 5);

    // The first backup fetches everything, with the server's times.
    const QString first = backUp(h, 0);
    EXPECT_EQ(server.retrieved().size(), siteFiles.size());
    EXPECT_EQ(cvb::test::treeDifferences(server.site(), first + QStringLiteral("/site")), QStringList());
    cvb::Manifest manifest;
    QString error;
    ASSERT_TRUE(cvb::readManifest(first, &manifest, &error)) << error.toStdString();
    EXPECT_EQ(manifest.profile, kProfile);
    EXPECT_EQ(manifest.files.size(), siteFiles.size());
    EXPECT_TRUE(cvb::checkFolder(first, manifest).agrees());
    for (const QString &file : siteFiles)
        EXPECT_EQ(QFileInfo(first + QStringLiteral("/site/") + file).lastModified().toSecsSinceEpoch(),
                  QFileInfo(server.site() + QLatin1Char('/') + file).lastModified().toSecsSinceEpoch())
            << file.toStdString();

    // Nothing changed: no RETR at all; a new folder is complete, its files links of the first's.
    const qsizetype retrievedBefore = server.retrieved().size();
    const QString second = backUp(h, 1);
    EXPECT_EQ(server.retrieved().mid(retrievedBefore), QStringList());
    EXPECT_EQ(cvb::test::treeDifferences(server.site(), second + QStringLiteral("/site")), QStringList());
    EXPECT_EQ(m_rows.filter(QRegularExpression(QStringLiteral("^Unchanged "))).size(), siteFiles.size())
        << m_rows.join(QLatin1Char('\n')).toStdString();
    EXPECT_TRUE(m_rows.contains(QStringLiteral("Files downloaded: 0, unchanged: 5, failed: 0.")))
        << m_rows.join(QLatin1Char('\n')).toStdString();
    EXPECT_TRUE(m_rows.contains(QStringLiteral("Bytes over the network: 0.")));
    for (const QString &file : siteFiles) {
        const QString copy = second + QStringLiteral("/site/") + file;
        EXPECT_TRUE(sameFile(copy, first + QStringLiteral("/site/") + file)) << file.toStdString();
        EXPECT_EQ(statOf(copy).st_nlink, mode == Mode::Overwrite ? 1u : 2u) << file.toStdString();
    }

    // One file changed with its size kept, one new, one deleted.
    const QString changed = server.site() + QStringLiteral("/a b.html");
    const QDateTime changedTime = QFileInfo(changed).lastModified().addSecs(3600);
    ASSERT_TRUE(cvb::test::writeFile(changed, "<p>same SIZE</p>\n"));
    {
        QFile file(changed);
        ASSERT_TRUE(file.open(QIODevice::ReadWrite));
        ASSERT_TRUE(file.setFileTime(changedTime, QFileDevice::FileModificationTime));
    }
    ASSERT_TRUE(cvb::test::writeFile(server.site() + QStringLiteral("/img/new.gif"), "GIF89a new"));
    ASSERT_TRUE(QFile::remove(server.site() + QStringLiteral("/img/deep/x.txt")));
    const qsizetype retrievedThen = server.retrieved().size();
    const QString third = backUp(h, 2);
    QStringList downloaded = server.retrieved().mid(retrievedThen);
    downloaded.sort();
    EXPECT_EQ(downloaded,
              (QStringList{QStringLiteral("/site/a b.html"), QStringLiteral("/site/img/new.gif")}));
    EXPECT_TRUE(m_rows.contains(QStringLiteral("Files downloaded: 2, unchanged: 3, failed: 0.")))
        << m_rows.join(QLatin1Char('\n')).toStdString();
    ASSERT_TRUE(cvb::readManifest(third, &manifest, &error)) << error.toStdString();
    EXPECT_FALSE(manifest.files.contains(QStringLiteral("site/img/deep/x.txt")));
    EXPECT_EQ(QFileInfo(third + QStringLiteral("/site/a b.html")).lastModified().toSecsSinceEpoch(),
              changedTime.toSecsSinceEpoch());
    EXPECT_TRUE(
        sameFile(third + QStringLiteral("/site/index.html"), second + QStringLiteral("/site/index.html")));
    const cvb::FolderCheck check = cvb::checkFolder(third, manifest);
    if (mode == Mode::Overwrite) {
        // The folder the backups overwrite keeps what the site no longer has, outside the manifest.
        EXPECT_EQ(check.extra, QStringList{QStringLiteral("site/img/deep/x.txt")});
    } else {
        EXPECT_TRUE(check.agrees());
        EXPECT_EQ(cvb::test::treeDifferences(server.site(), third + QStringLiteral("/site")), QStringList());
    }
    if (mode == Mode::Rotation) {
        // A again: what the first backup put there and the site no longer has goes.
        backUp(h, 3);
        EXPECT_EQ(cvb::test::treeDifferences(server.site(), h.target() + QStringLiteral("/A/site")),
                  QStringList());
        EXPECT_TRUE(
            m_rows.contains(QStringLiteral("Removed site/img/deep/x.txt: the server no longer has it.")))
            << m_rows.join(QLatin1Char('\n')).toStdString();
    }
}

INSTANTIATE_TEST_SUITE_P(Snapshot, SnapshotBackups,
                         ::testing::Combine(::testing::Bool(),
                                            ::testing::Values(Mode::Overwrite, Mode::DateStamped,
                                                              Mode::Rotation)),
                         caseName);

// The newest subfolder below `folder` by name (the date stamps of one morning sort by time).
QString newestFolder(const QString &folder)
{
    const QStringList names = QDir(folder).entryList(QDir::Dirs | QDir::NoDotAndDotDot, QDir::Name);
    return names.isEmpty() ? QString() : folder + QLatin1Char('/') + names.last();
}

TEST(SnapshotProgram, ABackupStoppedBySigtermLeavesNoManifestAndTheNextTakesNothingFromIt)
{
    QTemporaryDir site;
    ASSERT_TRUE(cvb::test::writeFile(site.filePath("page.html"), "<p>page</p>\n"));
    ASSERT_TRUE(cvb::test::writeFile(site.filePath("other.html"), "<p>first</p>\n"));
    ASSERT_TRUE(cvb::test::writeFile(site.filePath("hang.bin"), QByteArray(1 << 20, 'h')));
    cvb::test::LoggingOddFtpServer server(site.path(), {});
    cvb::test::OddFtpServer stalling(site.path(), {}, false, 0, QStringLiteral("hang.bin"));
    ASSERT_NE(server.port(), 0);
    ASSERT_NE(stalling.port(), 0);
    cvb::test::ProgramData d;
    d.addProfile(kProfile, {QStringLiteral("DTSTAMP_DI=T")});
    d.addSource(kProfile, QStringLiteral("/"), QStringLiteral("Binary"));

    qputenv("CVB_NOW", "2026-12-07T08:00:00");
    d.useServer(server.port(), QStringLiteral("tester"), QStringLiteral("secret"));
    EXPECT_EQ(d.run(kProfile).exitCode, 0);
    const QString first = newestFolder(d.target());
    ASSERT_TRUE(QFileInfo::exists(first + QLatin1Char('/') + cvb::ManifestFileName));

    // other.html and hang.bin change; the backup is stopped while hang.bin stalls, after
    // other.html has arrived.
    ASSERT_TRUE(cvb::test::writeFile(site.filePath("other.html"), "<p>second</p>\n"));
    ASSERT_TRUE(cvb::test::writeFile(site.filePath("hang.bin"), QByteArray(1 << 20, 'H')));
    for (const char *name : {"other.html", "hang.bin"}) {
        QFile file(site.filePath(QLatin1String(name)));
        ASSERT_TRUE(file.open(QIODevice::ReadWrite));
        ASSERT_TRUE(
            file.setFileTime(QDateTime::currentDateTime().addSecs(-60), QFileDevice::FileModificationTime));
    }
    qputenv("CVB_NOW", "2026-12-07T09:00:00");
    d.useServer(stalling.port(), QStringLiteral("tester"), QStringLiteral("secret"));
    QProcess program;
    program.start(cvb::test::built(QStringLiteral("app/corvale-backup")),
                  {QStringLiteral("--data"), d.data(), QStringLiteral("--run-profile"), kProfile});
    ASSERT_TRUE(program.waitForStarted(10000));
    QString stopped;
    const auto halfWay = [&] {
        stopped = newestFolder(d.target());
        if (stopped == first ||
            cvb::test::readFile(stopped + QStringLiteral("/other.html")) != "<p>second</p>\n")
            return false;
        for (const QFileInfo &file :
             QDir(stopped).entryInfoList({QStringLiteral(".hang.bin.*")}, QDir::Files | QDir::Hidden))
            if (file.size() > 0)
                return true;
        return false;
    };
    QDeadlineTimer deadline(60000);
    while (!halfWay() && !deadline.hasExpired() && program.state() == QProcess::Running)
        QThread::msleep(50);
    ASSERT_TRUE(halfWay()) << program.readAllStandardError().toStdString();
    program.terminate();
    ASSERT_TRUE(program.waitForFinished(10000)) << "still running 10 s after SIGTERM";
    EXPECT_EQ(program.exitCode(), 1);
    EXPECT_FALSE(QFileInfo::exists(stopped + QLatin1Char('/') + cvb::ManifestFileName));

    // The next backup's base is the first: other.html is downloaded again, page.html linked.
    qputenv("CVB_NOW", "2026-12-07T10:00:00");
    d.useServer(server.port(), QStringLiteral("tester"), QStringLiteral("secret"));
    const qsizetype before = server.arguments(QStringLiteral("RETR")).size();
    EXPECT_EQ(d.run(kProfile).exitCode, 0);
    qunsetenv("CVB_NOW");
    const QString third = newestFolder(d.target());
    QStringList downloaded = server.arguments(QStringLiteral("RETR")).mid(before);
    downloaded.sort();
    EXPECT_EQ(downloaded, (QStringList{QStringLiteral("/hang.bin"), QStringLiteral("/other.html")}));
    EXPECT_TRUE(sameFile(third + QStringLiteral("/page.html"), first + QStringLiteral("/page.html")));
    EXPECT_EQ(cvb::test::readFile(third + QStringLiteral("/other.html")), "<p>second</p>\n");
}

TEST(SnapshotProgram, VerifyFindsAFileChangedByHandAMissingAndAnExtraFile)
{
    cvb::test::PyFtpServer server;
    ASSERT_TRUE(server.isListening());
    buildSite(server.path(QStringLiteral("site")));
    cvb::test::ProgramData d;
    d.useServer(server);
    d.addProfile(kProfile);
    d.addSource(kProfile, QStringLiteral("/site"));
    ASSERT_EQ(d.run(kProfile).exitCode, 0);
    const QString program = cvb::test::built(QStringLiteral("app/corvale-backup"));
    const auto verified = cvb::test::runProcess(program, {QStringLiteral("--verify"), d.target()});
    EXPECT_EQ(verified.exitCode, 0) << verified.out.toStdString() << verified.err.toStdString();

    ASSERT_TRUE(cvb::test::writeFile(d.target() + QStringLiteral("/site/a b.html"), "<p>SAME size</p>\n"));
    ASSERT_TRUE(QFile::remove(d.target() + QStringLiteral("/site/img/logo.png")));
    ASSERT_TRUE(cvb::test::writeFile(d.target() + QStringLiteral("/site/img/stray.txt"), "stray"));
    const auto r = cvb::test::runProcess(program, {QStringLiteral("--verify"), d.target()});
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_EQ(
        QString::fromUtf8(r.out).split(QLatin1Char('\n')).mid(0, 3),
        (QStringList{QStringLiteral("missing: site/img/logo.png"), QStringLiteral("changed: site/a b.html"),
                     QStringLiteral("extra: site/img/stray.txt")}))
        << r.out.toStdString();

    const auto none = cvb::test::runProcess(program, {QStringLiteral("--verify"), d.data()});
    EXPECT_EQ(none.exitCode, 1);
    EXPECT_TRUE(none.err.contains("no complete backup")) << none.err.toStdString();
}

} // namespace
