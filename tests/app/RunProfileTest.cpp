// The end of a --run-profile run inside the program: the main window closes (and the program
// ends) only when the profile's backup has ended and no other backup is running.
#include "MainWinFixture.h"

#include "app/RunProfile.h"
#include "tests/support/FtpServer.h"

#include <QDeadlineTimer>
#include <QDir>

namespace {

class RunProfileEnd : public MainWinTest
{
protected:
    void addProfile(const QString &name, const QString &source)
    {
        cvb::Table profiles;
        profiles.open(cvb::ProfilesTable, cvb::ProfileIndex);
        profiles.insert();
        profiles.setString(QStringLiteral("PROFILE"), name);
        profiles.setString(QStringLiteral("TARGET_LOC"), target(name));
        profiles.setBool(QStringLiteral("ACTIVE"), false);
        profiles.post();
        cvb::Table sources;
        sources.open(cvb::SourcesTable, cvb::ProfileIndex);
        sources.insert();
        sources.setString(QStringLiteral("PROFILE"), name);
        sources.setString(QStringLiteral("SOURCE"), source);
        sources.setString(QStringLiteral("MODE"), QStringLiteral("ASCII"));
        sources.post();
        QDir().mkpath(target(name));
    }

    QString target(const QString &name) const { return dir.filePath(QStringLiteral("target-") + name); }
};

TEST_F(RunProfileEnd, TheProgramWaitsForABackupThatTheSchedulerStartedMeanwhile)
{
    cvb::test::PyFtpServer server;
    ASSERT_TRUE(server.isListening());
    ASSERT_TRUE(cvb::test::writeFile(server.path(QStringLiteral("quick.txt")), "quick\n"));
    ASSERT_TRUE(QDir().mkpath(server.path(QStringLiteral("slow"))));
    for (int i = 0; i < 2; ++i)
        ASSERT_TRUE(cvb::test::writeFile(server.path(QStringLiteral("slow/f%1.txt").arg(i)), "slow\n"));
    setConnection(QStringLiteral("127.0.0.1:%1").arg(server.port()), server.user(), server.password());
    addProfile(QStringLiteral("Quick"), QStringLiteral("/quick.txt"));
    addProfile(QStringLiteral("Slow"), QStringLiteral("/slow"));

    cvb::TMainWin &w = createWindow();
    QStringList closed;
    bool closedBeforeEnd = false;
    QObject::connect(&w, &cvb::TMainWin::backupClosed, &w,
                     [&](const QString &profile, bool) { closed << profile; });
    QObject::connect(&w, &QObject::destroyed, [&] { closedBeforeEnd = closed.size() == 2; });

    // The scheduler has started Slow, whose folder copy pauses for some seconds; Quick, run by
    // --run-profile, ends meanwhile.
    const QByteArray pacing = qgetenv("CVB_PACING");
    qputenv("CVB_PACING", "1");
    w.Table_Queue().insert();
    w.Table_Queue().setString(QStringLiteral("PROFILE"), QStringLiteral("Slow"));
    w.Table_Queue().post();
    w.QueueMonitorTimer();
    cvb::ProfileRun run(&w, QStringLiteral("Quick"));

    QDeadlineTimer deadline(60000);
    while (win && !deadline.hasExpired()) {
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 100);
        processDeletes();
    }
    qputenv("CVB_PACING", pacing);

    EXPECT_FALSE(win) << "the program did not end";
    // Quick normally ends first. On a loaded machine its worker, at idle priority, may be held
    // back until Slow has ended; the program must end after both all the same.
    closed.sort();
    EXPECT_EQ(closed, (QStringList{QStringLiteral("Quick"), QStringLiteral("Slow")}));
    EXPECT_TRUE(closedBeforeEnd);
    EXPECT_EQ(run.exitStatus(), 0);
    EXPECT_TRUE(QFile::exists(target(QStringLiteral("Slow")) + QStringLiteral("/slow/f1.txt")));
}

} // namespace
