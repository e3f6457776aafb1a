#include "scheduler/ScheduleMonitor.h"
#include "MemoryBook.h"
#include "data/Clock.h"
#include "data/DateText.h"

#include <QTimer>
#include <gtest/gtest.h>

using namespace cvb;
using cvb::test::MemoryBook;
using cvb::test::MemoryProfile;

namespace {

class MonitorTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        qputenv("CVB_SHORTDATE", "M/d/yyyy");
        qputenv("CVB_LONGTIME", "HH:mm:ss");
        DateText::reload();
    }
    void TearDown() override
    {
        qunsetenv("CVB_SHORTDATE");
        qunsetenv("CVB_LONGTIME");
        DateText::reload();
        Clock::useSystemTime();
    }
    void tickAt(int day, int hour, int minute, int second)
    {
        Clock::pin(QDateTime(QDate(2028, 3, day), QTime(hour, minute, second)));
        monitor.tick(book, &timer);
    }

    MemoryProfile &hourly(const char *name, int interval, const char *performIn)
    {
        MemoryProfile p;
        p.schedule.profile = QString::fromLatin1(name);
        p.schedule.interval = interval;
        p.performIn = QString::fromLatin1(performIn);
        return book.add(p);
    }

    MemoryBook book;
    ScheduleMonitor monitor;
    QTimer timer;
};

} // namespace

TEST_F(MonitorTest, AWholeDayIntervalQueuesOncePerDay)
{
    hourly("Daily by hours", 24, "2 05:00:00");
    for (int day : {1, 2})
        for (int second : {0, 15, 30, 45})
            tickAt(day, 5, 0, second);
    ASSERT_EQ(book.queue.size(), 2);
    EXPECT_EQ(book.queue[0].submitted, "3/1/2028 05:00:00");
    EXPECT_EQ(book.queue[1].submitted, "3/2/2028 05:00:00");
    EXPECT_EQ(book.profile("Daily by hours").performIn, "2 05:00:00");
}

TEST_F(MonitorTest, AZeroIntervalNeverNamesTheSameHourAgain)
{
    hourly("Zero", 0, "2 05:00:00");
    for (int second : {0, 15, 30, 45})
        tickAt(1, 5, 0, second);
    ASSERT_EQ(book.queue.size(), 1);
    EXPECT_EQ(book.profile("Zero").performIn, "2 06:00:00");
    EXPECT_EQ(book.profile("Zero").schedule.interval, 0); // only a daily-form profile's 0 is replaced
}

TEST_F(MonitorTest, AFailingTableLeavesTheMonitorRunning)
{
    hourly("A", 1, "2 05:00:00");
    hourly("B", 1, "2 05:00:00");
    book.failAtChange = 1;
    timer.start(15000);
    Clock::pin(QDateTime(QDate(2028, 3, 1), QTime(5, 0)));
    EXPECT_THROW(monitor.tick(book, &timer), std::runtime_error);
    EXPECT_TRUE(timer.isActive());
    EXPECT_EQ(book.passesOpen, 0);
    // B was queued before its record failed: the next tick in that minute does not queue it twice.
    tickAt(1, 5, 0, 15);
    ASSERT_EQ(book.queue.size(), 2);
    EXPECT_EQ(book.queue[1].profile, "B");
    EXPECT_EQ(book.profile("A").performIn, "2 06:00:00");
}

TEST_F(MonitorTest, CatchUpGivesAnUnreadableNextRunAFreshOneWithoutAsking)
{
    MemoryProfile &broken = hourly("Broken", 2, "");
    broken.schedule.kind = QStringLiteral("Daily Backup every          day(s) at             :");
    broken.schedule.time = QStringLiteral("10:00 am");
    broken.schedule.days = {false, false, false, false, true, false, false};
    hourly("Typed by hand", 2, "2 half past nine");
    Clock::pin(QDateTime(QDate(2028, 3, 1), QTime(9, 0)));
    QStringList asked;
    monitor.catchUp(book, [&](const QString &q) {
        asked.append(q);
        return true;
    });
    EXPECT_TRUE(asked.isEmpty());
    EXPECT_TRUE(book.queue.isEmpty());
    EXPECT_EQ(book.profile("Broken").performIn, "1 3/2/2028|10:00:00");
    EXPECT_EQ(book.profile("Typed by hand").performIn, "2 11:00:00");
}
