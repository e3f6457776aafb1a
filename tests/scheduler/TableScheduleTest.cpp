// The catch-up and the event monitor working through real cursors on the profile and queue
// tables, with questions answered by a scripted asker.
#include "ProfileTables.h"
#include "data/Clock.h"
#include "data/Database.h"
#include "data/DateText.h"
#include "data/Layouts.h"
#include "data/Table.h"
#include "scheduler/ScheduleMonitor.h"
#include "scheduler/TableScheduleBook.h"

#include <QTemporaryDir>
#include <QTimer>
#include <gtest/gtest.h>
#include <memory>

using namespace cvb;

namespace {

// Answers the catch-up's questions from a script and keeps every question asked.
struct ScriptedAsker
{
    QList<bool> answers;
    QStringList asked;
    bool operator()(const QString &question)
    {
        asked.append(question);
        return answers.isEmpty() ? false : answers.takeFirst();
    }
};

class TableScheduleTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(m_dir.isValid());
        createMissingTables(m_dir.path());
        qputenv("CVB_SHORTDATE", "M/d/yyyy");
        qputenv("CVB_LONGTIME", "h:mm:ss AP");
        DateText::reload();
        m_profiles = cursor("Table_Profiles", ProfilesTable, ProfileIndex);
        m_lookup = cursor("Table_ProfilesLKUP", ProfilesTable, ProfileIndex);
        m_queue = cursor("Table_Queue", QueueTable, {});
        m_eventMonitor.setObjectName("EventMonitor");
        m_eventMonitor.setInterval(15000);
        m_queueMonitor.setObjectName("QueueMonitor");
        m_queueMonitor.setInterval(10000);
    }
    void TearDown() override
    {
        qunsetenv("CVB_SHORTDATE");
        qunsetenv("CVB_LONGTIME");
        DateText::reload();
        Clock::useSystemTime();
    }

    std::unique_ptr<Table> cursor(const char *name, const QString &file, const QString &index)
    {
        auto table = std::make_unique<Table>(QString::fromLatin1(name), nullptr);
        table->setFolder(m_dir.path());
        table->open(file, index);
        return table;
    }

    void add(const test::ProfileRecord &r) { test::addProfile(m_dir.path(), r); }
    QString field(const char *profile, const char *name)
    {
        return test::profileField(m_dir.path(), profile, name);
    }
    QList<QStringList> queued() { return test::queueRows(m_dir.path()); }

    static void at(int y, int m, int d, int hour, int minute, int second = 0)
    {
        Clock::pin(QDateTime(QDate(y, m, d), QTime(hour, minute, second)));
    }

    QTemporaryDir m_dir;
    std::unique_ptr<Table> m_profiles, m_lookup, m_queue;
    QTimer m_eventMonitor, m_queueMonitor;
};

const char *const Daily = test::DailyKind;
const char *const Hourly = test::HourlyKind;

} // namespace

TEST_F(TableScheduleTest, MonitorQueuesDueProfilesThroughTheLookupCursor)
{
    add({"B hourly", Hourly, "", 2, ".......", "2 2:00:00 PM"});
    add({"A daily", Daily, "02:00 pm", 0, "...W.F.", "1 3/1/2028|2:00:00 PM"});
    add({"C inactive", Hourly, "", 1, ".......", "2 2:00:00 PM", false});
    add({"D broken", Daily, "02:00 pm", 1, "...W...", "1 3/1/2028 2:00:00 PM"});
    ScheduleMonitor monitor;
    TableScheduleBook scan(*m_lookup, *m_queue, TableScheduleBook::AfterPass::DropFilter);
    m_eventMonitor.start();

    at(2028, 3, 1, 13, 59, 45);
    monitor.tick(scan, &m_eventMonitor);
    EXPECT_TRUE(queued().isEmpty());
    for (int second : {0, 15, 30, 45}) {
        at(2028, 3, 1, 14, 0, second);
        monitor.tick(scan, &m_eventMonitor);
        EXPECT_TRUE(m_eventMonitor.isActive());
        EXPECT_FALSE(m_lookup->filtered());
    }
    // Both due profiles in one tick, in name order, each once.
    EXPECT_EQ(queued(), QList<QStringList>({{"A daily", "3/1/2028 2:00:00 PM", "", ""},
                                            {"B hourly", "3/1/2028 2:00:00 PM", "", ""}}));
    EXPECT_EQ(field("A daily", "LASTDONE"), "3/1/2028 2:00:00 PM");
    EXPECT_EQ(field("A daily", "PERFORM_IN"), "1 3/3/2028|2:00:00 PM");
    EXPECT_EQ(field("A daily", "INTERVAL"), "1"); // a daily profile's 0 becomes 1
    EXPECT_EQ(field("B hourly", "PERFORM_IN"), "2 4:00:00 PM");
    EXPECT_EQ(field("C inactive", "PERFORM_IN"), "2 2:00:00 PM");
    EXPECT_EQ(field("D broken", "PERFORM_IN"), "1 3/1/2028 2:00:00 PM");
    EXPECT_EQ(field("D broken", "LASTDONE"), "before");

    // A profile saved through another cursor is seen at the next tick.
    add({"E new", Hourly, "", 1, ".......", "2 2:01:00 PM"});
    at(2028, 3, 1, 14, 1, 0);
    monitor.tick(scan, &m_eventMonitor);
    EXPECT_EQ(queued().size(), 3);
    EXPECT_EQ(queued().last().first(), "E new");
}

TEST_F(TableScheduleTest, TheCatchUpCountsAsTheFirstTick)
{
    add({"Hourly", Hourly, "", 1, ".......", "2 2:00:00 PM"});
    add({"Daily", Daily, "02:00 pm", 1, "...W...", "1 3/1/2028|2:00:00 PM"});
    ScheduleMonitor monitor;
    TableScheduleBook start(*m_profiles, *m_queue, TableScheduleBook::AfterPass::KeepFilter);
    TableScheduleBook scan(*m_lookup, *m_queue, TableScheduleBook::AfterPass::DropFilter);
    ScriptedAsker asker;

    // Started a moment before the runs; the first tick came only three minutes later.
    at(2028, 3, 1, 13, 59, 50);
    monitor.catchUp(start, std::ref(asker));
    EXPECT_TRUE(asker.asked.isEmpty());
    at(2028, 3, 1, 14, 2, 50);
    monitor.tick(scan);
    at(2028, 3, 1, 14, 3, 5);
    monitor.tick(scan);
    EXPECT_EQ(queued(), QList<QStringList>({{"Daily", "3/1/2028 2:02:50 PM", "", ""},
                                            {"Hourly", "3/1/2028 2:02:50 PM", "", ""}}));
    EXPECT_EQ(field("Hourly", "PERFORM_IN"), "2 3:00:00 PM");
    EXPECT_EQ(field("Daily", "PERFORM_IN"), "1 3/8/2028|2:00:00 PM");
}
