// What tells the user how a backup goes, from the main window and the command line: an instant
// backup starts at once, a failed one shows a tray message, and --run-profile prints a progress
// line on a terminal and one summary line in any case.
#include "MainWinFixture.h"

#include "data/Layouts.h"
#include "tests/support/Files.h"
#include "tests/support/FtpServer.h"
#include "tests/support/Peers.h"
#include "ui/common/TrayNotices.h"
#include "ui/profiles/ProfileRules.h"

#include <QApplication>
#include <QDeadlineTimer>
#include <QElapsedTimer>
#include <QProcess>
#include <QRegularExpression>
#include <QSystemTrayIcon>
#include <QTableView>
#include <QTimer>

namespace {

class BackupFeedback : public MainWinTest
{
protected:
    // The connection to a test server on loopback (user "tester"), without dial-up.
    void useServer(int port, const QString &password = QStringLiteral("secret"))
    {
        setConnection(QStringLiteral("127.0.0.1:%1").arg(port), QStringLiteral("tester"), password);
        cvb::Table cnct;
        cnct.open(cvb::ConnectionTable);
        cnct.edit();
        cnct.setBool(QStringLiteral("USEDEFAULT"), true);
        cnct.post();
    }
    // An active profile of one file source, backed up into "backups".
    void addProfile(const QString &name, const QString &source)
    {
        addProfileWithSource(name, source, target(), QStringLiteral("Binary"), true);
    }
    QString target() const { return dir.filePath("backups"); }

    QStringList logEvents() const
    {
        cvb::Table log;
        log.open(cvb::LogTable);
        QStringList events;
        for (int row = 0; row < log.recordCount(); ++row)
            events << log.stringAt(row, QStringLiteral("EVENT"));
        return events;
    }

    // The backups that the window reports closed, waiting up to a minute for the first.
    QStringList waitForClosedBackup(cvb::TMainWin &w)
    {
        QStringList closed;
        QObject::connect(&w, &cvb::TMainWin::backupClosed, &w, [&closed](const QString &profile, bool ok) {
            closed << profile + (ok ? " ok" : " failed");
        });
        QDeadlineTimer end(60000);
        while (closed.isEmpty() && !end.hasExpired()) {
            QCoreApplication::processEvents(QEventLoop::AllEvents, 50);
            processDeletes();
        }
        QObject::disconnect(&w, &cvb::TMainWin::backupClosed, &w, nullptr);
        return closed;
    }

    // Lets the program have the tables; Qt warns on standard error without a runtime folder, as
    // cron leaves it.
    void handOverToTheProgram()
    {
        lock.reset();
        ASSERT_TRUE(QDir().mkpath(dir.filePath("runtime")));
        QFile::setPermissions(dir.filePath("runtime"),
                              QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        qputenv("XDG_RUNTIME_DIR", dir.filePath("runtime").toUtf8());
    }
    void TearDown() override
    {
        qunsetenv("XDG_RUNTIME_DIR");
        MainWinTest::TearDown();
    }
    QString program() const
    {
        return qEnvironmentVariable("CVB_BUILD_DIR") + QStringLiteral("/app/corvale-backup");
    }
};

// A tray that is there, and remembers what it was asked to show.
class RecordingTray : public cvb::TrayNotices
{
public:
    RecordingTray() : m_previous(cvb::installTrayNotices(this)) {}
    ~RecordingTray() override { cvb::installTrayNotices(m_previous); }
    bool available() const override { return true; }
    void showMessage(QSystemTrayIcon &icon, const QString &title, const QString &text) override
    {
        shown << icon.objectName() + QStringLiteral(" | ") + title + QStringLiteral(" | ") + text;
    }
    QStringList shown;

private:
    cvb::TrayNotices *m_previous;
};

TEST_F(BackupFeedback, AnInstantBackupStartsWithinASecondOfTheDoubleClickWhileTheQueueMonitorKeepsItsInterval)
{
    cvb::test::PyFtpServer server;
    ASSERT_TRUE(server.isListening()) << server.error().toStdString();
    ASSERT_TRUE(cvb::test::writeFile(server.path("index.html"), "home\n"));
    useServer(server.port());
    addProfile(QStringLiteral("NOW"), QStringLiteral("/index.html"));

    cvb::TMainWin &w = createWindow();
    w.show();
    w.openMenuWindow(QStringLiteral("InstantBackupButton"));
    auto *wizard = child<QWidget>(QStringLiteral("FTP_CreateNewProfile"));
    ASSERT_NE(wizard, nullptr);
    auto *grid = wizard->findChild<QTableView *>("InstantGrid");
    ASSERT_EQ(grid->model()->rowCount(), 1);
    // The monitor's tick lies a whole interval ahead.
    w.QueueMonitor()->start();
    QElapsedTimer sinceClick;
    sinceClick.start();
    emit grid->doubleClicked(grid->model()->index(0, 0));
    const QString begun = QStringLiteral("NOW Begining backup profile NOW");
    QDeadlineTimer deadline(30000);
    while (!logEvents().contains(begun) && !deadline.hasExpired())
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    const qint64 startedAfterMs = sinceClick.elapsed();
    ASSERT_TRUE(logEvents().contains(begun)) << logEvents().join('\n').toStdString();
    EXPECT_LT(startedAfterMs, 1000);
    EXPECT_EQ(w.QueueMonitor()->interval(), 10000);

    EXPECT_EQ(waitForClosedBackup(w), QStringList{"NOW ok"});
    EXPECT_EQ(cvb::test::readFile(target() + "/index.html"), "home\n");
}

TEST_F(BackupFeedback, AFailedBackupShowsOneTrayMessageWithItsFirstFailureAndItsResultInTheTooltip)
{
    cvb::test::PyFtpServer server;
    ASSERT_TRUE(server.isListening());
    useServer(server.port(), QStringLiteral("wrong"));
    addProfile(QStringLiteral("Locked"), QStringLiteral("/index.html"));
    RecordingTray tray;

    cvb::TMainWin &w = createWindow();
    cvb::queueProfile(w.Table_Queue(), QStringLiteral("Locked"));
    w.startQueuedBackupSoon();
    ASSERT_EQ(waitForClosedBackup(w), QStringList{"Locked failed"});
    ASSERT_EQ(tray.shown.size(), 1) << tray.shown.join('\n').toStdString();
    EXPECT_TRUE(tray.shown[0].startsWith(QStringLiteral("TrayIcon1 | ") +
                                         QApplication::applicationDisplayName() +
                                         QStringLiteral(" | The backup of profile Locked failed: ")))
        << tray.shown[0].toStdString();
    EXPECT_TRUE(tray.shown[0].contains(QStringLiteral("530"))) << tray.shown[0].toStdString();
    EXPECT_TRUE(w.TrayIcon1()->toolTip().contains(QStringLiteral("\nLocked: backup failed, 0 files")))
        << w.TrayIcon1()->toolTip().toStdString();
}

// One file of 400 kB, sent at 40 kB a second: long enough for a few progress lines.
struct SlowFile
{
    SlowFile() { cvb::test::writeFile(site.filePath("slow.bin"), QByteArray(400000, 's')); }
    QTemporaryDir site;
    cvb::test::OddFtpServer server{site.path(), {}, false, 40000};
};

TEST_F(BackupFeedback, RunProfileOnATerminalRewritesAProgressLineInPlaceAndEndsWithTheSummary)
{
    SlowFile slow;
    ASSERT_GT(slow.server.port(), 0);
    useServer(slow.server.port());
    addProfile(QStringLiteral("Slow"), QStringLiteral("/slow.bin"));
    handOverToTheProgram();
    const QString command =
        program() + QStringLiteral(" --data '") + dir.path() + QStringLiteral("' --run-profile Slow");
    const cvb::test::ProcessResult run = cvb::test::runProcess(
        QStringLiteral("script"), {QStringLiteral("-qec"), command, QStringLiteral("/dev/null")});
    const QString shown = QString::fromUtf8(run.out);
    EXPECT_EQ(run.exitCode, 0) << shown.toStdString();
    EXPECT_TRUE(shown.contains(QStringLiteral("\rSlow: 0 of 1 files done, "))) << shown.toStdString();
    EXPECT_TRUE(shown.contains(QStringLiteral("/s, 0:0"))) << shown.toStdString();
    EXPECT_TRUE(shown.contains(QStringLiteral(" /slow.bin\x1b[K"))) << shown.toStdString();
    // The progress line is cleared, then the summary stands on its own line.
    const QString last = shown.section(QStringLiteral("\r\x1b[K"), -1);
    EXPECT_TRUE(
        QRegularExpression(QStringLiteral("^Slow: backup succeeded, 1 file, 400 kB in \\d+:\\d\\d\\r\\n$"))
            .match(last)
            .hasMatch())
        << shown.toStdString();
}

TEST_F(BackupFeedback, RunProfileWithoutATerminalPrintsOnlyTheSummaryLine)
{
    SlowFile slow;
    ASSERT_GT(slow.server.port(), 0);
    useServer(slow.server.port());
    addProfile(QStringLiteral("Slow"), QStringLiteral("/slow.bin"));
    handOverToTheProgram();
    QProcess process;
    process.setProcessChannelMode(QProcess::MergedChannels);
    process.start(program(), {QStringLiteral("--data"), dir.path(), QStringLiteral("--run-profile"),
                              QStringLiteral("Slow")});
    ASSERT_TRUE(process.waitForFinished(60000));
    EXPECT_EQ(process.exitCode(), 0);
    const QString output = QString::fromUtf8(process.readAll());
    EXPECT_TRUE(
        QRegularExpression(QStringLiteral("^Slow: backup succeeded, 1 file, 400 kB in \\d+:\\d\\d\\n$"))
            .match(output)
            .hasMatch())
        << output.toStdString();
}

} // namespace
