// The scheduler as the main window runs it: the catch-up at creation, the event monitor's tick.
#include "MainWinFixture.h"

#include "data/DateText.h"
#include "data/Layouts.h"
#include "scheduler/ScheduleMonitor.h"

#include <QTimer>

using namespace cvb;

namespace {

void addHourlyProfile(const QString &name, const QTime &nextRun, bool active = true)
{
    Table profiles;
    profiles.open(ProfilesTable, ProfileIndex);
    profiles.insert();
    profiles.setString(QStringLiteral("PROFILE"), name);
    profiles.setString(QStringLiteral("KIND"),
                       QStringLiteral("Hourly Backup every          hours on the hour."));
    profiles.setInt(QStringLiteral("INTERVAL"), 2);
    profiles.setString(QStringLiteral("PERFORM_IN"), QStringLiteral("2 ") + DateText::time(nextRun));
    profiles.setBool(QStringLiteral("ACTIVE"), active);
    profiles.post();
}

QStringList queuedProfiles()
{
    Table queue;
    queue.open(QueueTable);
    QStringList names;
    for (queue.first(); !queue.eof(); queue.next())
        names << queue.asString(QStringLiteral("PROFILE"));
    return names;
}

} // namespace

TEST_F(MainWinTest, CreationAsksAboutMissedRunsWithTheTimersStoppedAndStartsThemAfter)
{
    addHourlyProfile(QStringLiteral("Missed"), QTime(13, 0));
    addHourlyProfile(QStringLiteral("Idle"), QTime(13, 0), false);
    addHourlyProfile(QStringLiteral("Later"), QTime(15, 0));
    dialogs.prepareAnswers({Answer::Yes});

    TMainWin &w = createWindow();
    ASSERT_EQ(dialogs.shown().size(), 1);
    EXPECT_EQ(dialogs.shown().at(0).text, catchUpQuestion(QStringLiteral("Missed")));
    EXPECT_EQ(dialogs.shown().at(0).kind, ScriptedDialogs::Kind::Warning);
    EXPECT_EQ(dialogs.shown().at(0).buttons, Buttons::YesNo);
    EXPECT_EQ(queuedProfiles(), QStringList{"Missed"});
    EXPECT_TRUE(w.EventMonitor()->isActive());
    EXPECT_TRUE(w.QueueMonitor()->isActive());
    // The catch-up leaves Table_Profiles filtered to the active profiles.
    EXPECT_EQ(w.Table_Profiles().recordCount(), 2);
}

TEST_F(MainWinTest, AnEventMonitorTickQueuesTheProfileDueInItsMinute)
{
    addHourlyProfile(QStringLiteral("Due"), QTime(14, 8));
    TMainWin &w = createWindow();
    EXPECT_TRUE(dialogs.texts().isEmpty());
    EXPECT_TRUE(queuedProfiles().isEmpty());

    Clock::pin(QDateTime(QDate(2024, 3, 5), QTime(14, 8, 5)));
    emit w.EventMonitor()->timeout({});
    EXPECT_EQ(queuedProfiles(), QStringList{"Due"});
    EXPECT_TRUE(w.EventMonitor()->isActive());

    Clock::pin(QDateTime(QDate(2024, 3, 5), QTime(14, 8, 20)));
    emit w.EventMonitor()->timeout({});
    EXPECT_EQ(queuedProfiles(), QStringList{"Due"}); // once per run
}
