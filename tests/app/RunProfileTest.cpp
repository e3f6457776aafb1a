// The end of a --run-profile run inside the program: the main window closes (and the program
// ends) only when the profile's backup has ended and no other backup is running.
#include "MainWinFixture.h"

#include "app/RunProfile.h"
#include "tests/support/Files.h"
#include "tests/support/FtpServer.h"
#include "tests/support/Peers.h"

#include <QDeadlineTimer>
#include <QDir>

namespace {

class RunProfileEnd : public MainWinTest
{
protected:
    void addProfile(const QString &name, const QString &source)
    {
        addProfileWithSource(name, source, target(name), QStringLiteral("ASCII"), false);
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

// The program as cron runs it, with a name that the profiles table finds although it is not
// the stored one: blanks at the end, or more than the field's 40 bytes. The backup reports its
// end under the stored name; the program must recognise it and end.
TEST(RunProfileName, ANameTheTableFindsButThatIsNotTheStoredOneStillEndsTheProgram)
{
    cvb::test::PyFtpServer server;
    ASSERT_TRUE(server.isListening()) << server.error().toStdString();
    ASSERT_TRUE(cvb::test::writeFile(server.path(QStringLiteral("page.html")), "<p>page</p>\n"));
    QTemporaryDir dir;
    const QString data = dir.filePath(QStringLiteral("data"));
    const QString target = dir.filePath(QStringLiteral("target"));
    ASSERT_TRUE(QDir().mkpath(data) && QDir().mkpath(target));
    const QString build = qEnvironmentVariable("CVB_BUILD_DIR");
    const auto dbf = [&](const QStringList &args) {
        const auto r = cvb::test::runProcess(build + QStringLiteral("/tools/cvb-dbf/cvb-dbf"), args);
        ASSERT_EQ(r.exitCode, 0) << r.err.toStdString();
    };
    const QString stored = QStringLiteral("NIGHTLY COPY OF THE WHOLE WEB SITE 12345"); // 40 bytes
    dbf({QStringLiteral("init"), data});
    dbf({QStringLiteral("set"), data + QStringLiteral("/FTP Connection.dbf"), QStringLiteral("1"),
         QStringLiteral("DOMAIN=127.0.0.1:%1").arg(server.port()),
         QStringLiteral("USERNAME=") + server.user(), QStringLiteral("PASSWORD=") + server.password()});
    dbf({QStringLiteral("add"), data + QStringLiteral("/FTP Profiles.DBF"),
         QStringLiteral("PROFILE=") + stored, QStringLiteral("TARGET_LOC=") + target});
    dbf({QStringLiteral("add"), data + QStringLiteral("/FTP Sources.DBF"),
         QStringLiteral("PROFILE=") + stored, QStringLiteral("SOURCE=/page.html"),
         QStringLiteral("MODE=Binary")});

    for (const QString &given : {stored + QStringLiteral("   "), stored + QStringLiteral(" AND MORE")}) {
        QFile::remove(target + QStringLiteral("/page.html"));
        const auto r = cvb::test::runProcess(
            build + QStringLiteral("/app/corvale-backup"),
            {QStringLiteral("--data"), data, QStringLiteral("--run-profile"), given}, 180000);
        EXPECT_EQ(r.exitCode, 0) << given.toStdString() << ": " << r.err.toStdString();
        EXPECT_EQ(cvb::test::readFile(target + QStringLiteral("/page.html")), QByteArray("<p>page</p>\n"));
    }
}

} // namespace
