// An instant backup from the main window starts at once, not on the queue monitor's next tick.
#include "MainWinFixture.h"

#include "data/Layouts.h"
#include "tests/support/Files.h"
#include "tests/support/FtpServer.h"

#include <QDeadlineTimer>
#include <QElapsedTimer>
#include <QStackedWidget>
#include <QTableView>
#include <QTimer>

namespace {

class InstantBackup : public MainWinTest
{
protected:
    void addProfile(const QString &name, const QString &target, const QString &source)
    {
        cvb::Table profiles;
        profiles.open(cvb::ProfilesTable, cvb::ProfileIndex);
        profiles.insert();
        profiles.setString(QStringLiteral("PROFILE"), name);
        profiles.setString(QStringLiteral("TARGET_LOC"), target);
        profiles.setBool(QStringLiteral("ACTIVE"), true);
        profiles.post();
        cvb::Table sources;
        sources.open(cvb::SourcesTable, cvb::ProfileIndex);
        sources.insert();
        sources.setString(QStringLiteral("PROFILE"), name);
        sources.setString(QStringLiteral("SOURCE"), source);
        sources.setString(QStringLiteral("MODE"), QStringLiteral("Binary"));
        sources.post();
    }

    QStringList logEvents() const
    {
        cvb::Table log;
        log.open(cvb::LogTable);
        QStringList events;
        for (int row = 0; row < log.recordCount(); ++row)
            events << log.stringAt(row, QStringLiteral("EVENT"));
        return events;
    }
};

TEST_F(InstantBackup, StartsWithinASecondOfTheDoubleClickWhileTheQueueMonitorKeepsItsInterval)
{
    cvb::test::PyFtpServer server;
    ASSERT_TRUE(server.isListening()) << server.error().toStdString();
    ASSERT_TRUE(cvb::test::writeFile(server.path("index.html"), "home\n"));
    setConnection(QStringLiteral("127.0.0.1:%1").arg(server.port()), server.user(), server.password());
    {
        cvb::Table cnct;
        cnct.open(cvb::ConnectionTable);
        cnct.edit();
        cnct.setBool(QStringLiteral("USEDEFAULT"), true);
        cnct.post();
    }
    const QString target = dir.filePath("backups");
    ASSERT_TRUE(QDir().mkpath(target));
    addProfile(QStringLiteral("NOW"), target, QStringLiteral("/index.html"));

    cvb::TMainWin &w = createWindow();
    w.show();
    QStringList closed;
    QObject::connect(&w, &cvb::TMainWin::backupClosed, &w, [&closed](const QString &profile, bool ok) {
        closed << profile + (ok ? " ok" : " failed");
    });
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

    QDeadlineTimer end(60000);
    while (closed.isEmpty() && !end.hasExpired()) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 50);
        processDeletes();
    }
    EXPECT_EQ(closed, QStringList{"NOW ok"});
    EXPECT_EQ(cvb::test::readFile(target + "/index.html"), "home\n");
}

} // namespace
