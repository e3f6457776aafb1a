// The event monitor driven every 15 simulated seconds for a whole year in New York time: two
// daylight-saving changes, a 29 February, and two stretches without ticks (the computer slept).
// What was queued is compared with runs derived independently from each profile's schedule,
// reasoned on the wall clock: a run happens at the first tick whose wall-clock minute has
// reached the run's minute; an hourly profile's next run is its interval after the hour of the
// tick that queued it, a daily profile's the next selected day after that tick's day.
#include "MemoryBook.h"
#include "data/Clock.h"
#include "data/DateText.h"
#include "scheduler/ScheduleMonitor.h"

#include <QHash>
#include <ctime>
#include <gtest/gtest.h>

using namespace cvb;
using cvb::test::MemoryBook;
using cvb::test::MemoryProfile;
using cvb::test::QueueEntry;

namespace {

constexpr qint64 Day = 24 * 60;

// The profile's schedule as the oracle sees it.
struct Expectation
{
    QString name;
    bool daily = false;
    int hours = 0; // hourly: hours between runs
    QTime time;    // daily: time of day
    std::array<bool, 7> days{};
    qint64 nextMinute = 0;
};

MemoryProfile hourlyProfile(const char *name, int interval)
{
    MemoryProfile p;
    p.schedule.profile = QString::fromLatin1(name);
    p.schedule.kind = QStringLiteral("Hourly Backup every          hours on the hour.");
    p.schedule.interval = interval;
    return p;
}

MemoryProfile dailyProfile(const char *name, const char *time, const char *days)
{
    MemoryProfile p;
    p.schedule.profile = QString::fromLatin1(name);
    p.schedule.kind = QStringLiteral("Daily Backup every          day(s) at             :");
    p.schedule.time = QString::fromLatin1(time);
    p.schedule.interval = 1;
    for (int i = 0; i < 7; ++i)
        p.schedule.days[i] = days[i] != '.';
    return p;
}

qint64 wallMinute(const QDateTime &moment)
{
    return minuteOf(moment.date(), moment.time());
}

int sundayFirstWeekday(const QDate &date)
{
    return date.dayOfWeek() % 7; // 0 = Sunday
}

qint64 nextSelectedDay(const Expectation &e, QDate after)
{
    for (QDate day = after.addDays(1);; day = day.addDays(1))
        if (e.days[sundayFirstWeekday(day)])
            return minuteOf(day, e.time);
}

// Runs with TZ set to a zone with daylight saving, and the old zone back afterwards.
class NewYorkTime : public ::testing::Test
{
protected:
    void SetUp() override
    {
        m_oldZone = qgetenv("TZ");
        m_hadZone = qEnvironmentVariableIsSet("TZ");
        qputenv("TZ", "America/New_York");
        tzset();
        qputenv("CVB_SHORTDATE", "M/d/yyyy");
        qputenv("CVB_LONGTIME", "h:mm:ss AP");
        DateText::reload();
        ASSERT_EQ(QDateTime(QDate(2028, 7, 1), QTime(12, 0)).offsetFromUtc(), -4 * 3600);
        ASSERT_EQ(QDateTime(QDate(2028, 1, 1), QTime(12, 0)).offsetFromUtc(), -5 * 3600);
    }
    void TearDown() override
    {
        if (m_hadZone)
            qputenv("TZ", m_oldZone);
        else
            qunsetenv("TZ");
        tzset();
        qunsetenv("CVB_SHORTDATE");
        qunsetenv("CVB_LONGTIME");
        DateText::reload();
        Clock::useSystemTime();
    }

private:
    QByteArray m_oldZone;
    bool m_hadZone = false;
};

} // namespace

TEST_F(NewYorkTime, EveryRunQueuedOnceInItsMinuteForAYear)
{
    const QDateTime start(QDate(2028, 1, 2), QTime(0, 0)); // a Sunday
    const QDateTime end = start.addDays(366);
    const QList<std::pair<QDateTime, QDateTime>> sleeps = {
        {QDateTime(QDate(2028, 6, 14), QTime(21, 50)), QDateTime(QDate(2028, 6, 15), QTime(2, 40))},
        {QDateTime(QDate(2028, 9, 20), QTime(11, 10)), QDateTime(QDate(2028, 9, 20), QTime(14, 40))},
    };

    MemoryBook book;
    book.add(hourlyProfile("Every hour", 1));
    book.add(hourlyProfile("Every 3 hours", 3));
    book.add(hourlyProfile("Every 5 hours", 5));
    book.add(hourlyProfile("Every 24 hours", 24));
    book.add(dailyProfile("Weekends at midnight", "12:00 am", "S.....S"));
    book.add(dailyProfile("Weekdays at noon", "12:00 pm", ".MTWTF."));
    book.add(dailyProfile("Tue Thu before midnight", "11:59 pm", "..T.T.."));
    book.add(dailyProfile("Daily 2:30", "02:30 am", "SMTWTFS"));
    book.add(dailyProfile("Sundays 1:30", "01:30 am", "S......"));
    book.add(dailyProfile("Wednesdays 12:30", "12:30 pm", "...W..."));
    MemoryProfile idle = hourlyProfile("Inactive", 1);
    idle.active = false;
    book.add(idle);

    // Saved at the start, as the profile wizard saves them.
    Clock::pin(start);
    QList<Expectation> expected;
    for (MemoryProfile &p : book.profiles) {
        p.performIn = ComputeNextRun(p.schedule, true);
        if (!p.active)
            continue;
        Expectation e;
        e.name = p.schedule.profile;
        e.daily = p.schedule.kind.startsWith(QLatin1Char('D'));
        e.hours = p.schedule.interval;
        e.days = p.schedule.days;
        const NextRun stored = readNextRunForMonitor(p.performIn);
        ASSERT_TRUE(stored.readable()) << p.performIn.toStdString();
        e.time = stored.time;
        e.nextMinute = e.daily ? minuteOf(stored.date, stored.time) : minuteOf(start.date(), stored.time);
        if (e.nextMinute < wallMinute(start))
            e.nextMinute += Day;
        expected.append(e);
    }

    ScheduleMonitor monitor;
    QList<QueueEntry> wanted;
    QHash<QString, QStringList> submittedBy;
    qint64 ticks = 0;
    QDateTime firstAfterSleep[2];
    for (qint64 t = start.toSecsSinceEpoch(); t < end.toSecsSinceEpoch(); t += 15) {
        const QDateTime now = QDateTime::fromSecsSinceEpoch(t);
        bool asleep = false;
        for (int s = 0; s < sleeps.size(); ++s) {
            if (now >= sleeps[s].first && now < sleeps[s].second)
                asleep = true;
            else if (now >= sleeps[s].second && !firstAfterSleep[s].isValid())
                firstAfterSleep[s] = now;
        }
        if (asleep)
            continue;
        Clock::pin(now);
        monitor.tick(book);
        ++ticks;

        const qint64 minute = wallMinute(now);
        for (Expectation &e : expected) {
            if (minute < e.nextMinute)
                continue;
            wanted.append({e.name, DateText::moment(now)});
            e.nextMinute = e.daily ? nextSelectedDay(e, now.date()) : minute - minute % 60 + e.hours * 60;
        }
    }
    EXPECT_GT(ticks, 2'000'000);
    EXPECT_EQ(book.passesOpen, 0);

    ASSERT_EQ(book.queue.size(), wanted.size());
    for (qsizetype i = 0; i < wanted.size(); ++i)
        ASSERT_EQ(book.queue[i], wanted[i])
            << "entry " << i << ": " << book.queue[i].profile.toStdString() << " at "
            << book.queue[i].submitted.toStdString() << ", wanted " << wanted[i].profile.toStdString()
            << " at " << wanted[i].submitted.toStdString();
    for (const QueueEntry &entry : book.queue)
        submittedBy[entry.profile].append(entry.submitted);

    // Direct checks of what the comparison stands on.
    const QStringList daily = submittedBy.value("Daily 2:30");
    EXPECT_EQ(daily.size(), 366);
    EXPECT_TRUE(daily.contains("2/29/2028 2:30:00 AM"));
    EXPECT_TRUE(daily.contains("3/12/2028 3:00:00 AM")); // 2:30 did not exist that night
    EXPECT_TRUE(daily.contains("6/15/2028 2:40:00 AM")); // the first tick after the sleep
    EXPECT_EQ(submittedBy.value("Sundays 1:30").count("11/5/2028 1:30:00 AM"), 1); // 1:30 came twice
    EXPECT_TRUE(submittedBy.value("Tue Thu before midnight").contains("2/29/2028 11:59:00 PM"));
    EXPECT_TRUE(submittedBy.value("Weekends at midnight").contains("1/1/2028 12:00:00 AM") == false);
    // Its midnight run came on waking, and from then on it runs at that hour.
    EXPECT_EQ(submittedBy.value("Every 24 hours").size(), 366);
    EXPECT_TRUE(submittedBy.value("Every 24 hours").contains("6/15/2028 2:40:00 AM"));
    EXPECT_TRUE(submittedBy.value("Every 24 hours").contains("6/16/2028 2:00:00 AM"));
    EXPECT_EQ(submittedBy.value("Every hour").count("11/5/2028 1:00:00 AM"), 1);
    EXPECT_FALSE(submittedBy.contains("Inactive"));
    EXPECT_EQ(submittedBy.value("Wednesdays 12:30").count("9/20/2028 2:40:00 PM"), 1);

    for (int s = 0; s < 2; ++s) {
        const QString wake = DateText::moment(firstAfterSleep[s]);
        int queuedOnWaking = 0;
        for (const QueueEntry &entry : book.queue)
            queuedOnWaking += entry.submitted == wake;
        EXPECT_GE(queuedOnWaking, 4) << wake.toStdString();
    }
}
