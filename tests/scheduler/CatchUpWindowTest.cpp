// The start-up catch-up as the user meets it: creating the main window over a database with
// missed runs asks through the program's dialogs, one question per missed profile.
#include "ProfileTables.h"
#include "data/DateText.h"
#include "scheduler/ScheduleMonitor.h"
#include "tests/app/MainWinFixture.h"

#include <QTimer>

using namespace cvb;
using test::DailyKind;
using test::HourlyKind;

namespace {

// The date and time forms of the test, and the system's back afterwards.
struct UsForms
{
    UsForms()
    {
        qputenv("CVB_SHORTDATE", "M/d/yyyy");
        qputenv("CVB_LONGTIME", "h:mm:ss AP");
        DateText::reload();
    }
    ~UsForms()
    {
        qunsetenv("CVB_SHORTDATE");
        qunsetenv("CVB_LONGTIME");
        DateText::reload();
    }
};

} // namespace

TEST_F(MainWinTest, CatchUpYesQueuesNoOnlyMovesInProfileNameOrder)
{
    UsForms forms;
    const QString folder = dir.path();
    test::addProfile(folder,
                     {"Zeta", DailyKind, "09:30 am", 1, ".M.....", "1 2/28/2028|09:30:00"}); // yesterday
    test::addProfile(folder, {"Alpha", HourlyKind, "", 2, ".......", "2 9:00:00 AM"});       // an hour ago
    test::addProfile(folder, {"Mid", HourlyKind, "", 3, ".......", "2 2:00:00 PM"});         // later today
    test::addProfile(folder, {"Beta", DailyKind, "09:30 am", 1, ".M.....", "1 2/1/2028|09:30:00", false});
    test::addProfile(folder, {"Gamma", DailyKind, "01:15 pm", 0, "...W...", "1 29.02.2028|13:15:00"});
    test::addProfile(folder, {"Later", DailyKind, "11:00 pm", 1, "...W...", "1 3/1/2028|11:00:00 PM"});
    Clock::pin(QDateTime(QDate(2028, 3, 1), QTime(10, 0, 5))); // a Wednesday
    dialogs.prepareAnswers({Answer::Yes, Answer::No});

    TMainWin &w = createWindow();

    ASSERT_EQ(dialogs.shown().size(), 2);
    EXPECT_EQ(dialogs.texts(), QStringList({catchUpQuestion("Alpha"), catchUpQuestion("Zeta")}));
    EXPECT_EQ(dialogs.shown()[0].kind, ScriptedDialogs::Kind::Warning);
    EXPECT_EQ(dialogs.shown()[1].buttons, Buttons::YesNo);
    // Yes queued Alpha and moved it on; No only moved Zeta on. LASTDONE stays as it was.
    EXPECT_EQ(test::queueRows(folder), QList<QStringList>({{"Alpha", "3/1/2028 10:00:05 AM", "", ""}}));
    EXPECT_EQ(test::profileField(folder, "Alpha", "PERFORM_IN"), "2 12:00:00 PM");
    EXPECT_EQ(test::profileField(folder, "Zeta", "PERFORM_IN"), "1 3/6/2028|09:30:00");
    EXPECT_EQ(test::profileField(folder, "Alpha", "LASTDONE"), "before");
    EXPECT_EQ(test::profileField(folder, "Zeta", "LASTDONE"), "before");
    // A next run written under another date form gets a fresh one without a question.
    EXPECT_EQ(test::profileField(folder, "Gamma", "PERFORM_IN"), "1 3/8/2028|1:15:00 PM");
    EXPECT_EQ(test::profileField(folder, "Gamma", "INTERVAL"), "0");
    // Not missed, or inactive: untouched.
    EXPECT_EQ(test::profileField(folder, "Mid", "PERFORM_IN"), "2 2:00:00 PM");
    EXPECT_EQ(test::profileField(folder, "Later", "PERFORM_IN"), "1 3/1/2028|11:00:00 PM");
    EXPECT_EQ(test::profileField(folder, "Beta", "PERFORM_IN"), "1 2/1/2028|09:30:00");

    EXPECT_TRUE(w.EventMonitor()->isActive());
    EXPECT_TRUE(w.QueueMonitor()->isActive());
    EXPECT_EQ(w.Table_Profiles().filter(), "ACTIVE=True");
    EXPECT_EQ(w.Table_Profiles().recordCount(), 5);

    // The next start finds nothing missed.
    delete win.data();
    dialogs.clear();
    createWindow();
    EXPECT_TRUE(dialogs.texts().isEmpty());
}
