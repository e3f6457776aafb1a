#include "scheduler/ScheduleRules.h"
#include "data/Clock.h"
#include "data/DateText.h"
#include "scheduler/ScheduleMonitor.h"

#include <gtest/gtest.h>

using namespace cvb;

namespace {

// Pins the clock and sets the system's forms for one test; both go back afterwards.
class RulesTest : public ::testing::Test
{
protected:
    void TearDown() override
    {
        qunsetenv("CVB_SHORTDATE");
        qunsetenv("CVB_LONGTIME");
        DateText::reload();
        Clock::useSystemTime();
    }
    static void forms(const char *shortDate, const char *longTime)
    {
        qputenv("CVB_SHORTDATE", shortDate);
        qputenv("CVB_LONGTIME", longTime);
        DateText::reload();
    }
    static void at(int y, int m, int d, int hour, int minute, int second = 0)
    {
        Clock::pin(QDateTime(QDate(y, m, d), QTime(hour, minute, second)));
    }
};

std::array<bool, 7> days(const char *which)
{
    // "SMTWTFS": a letter marks a selected day, anything else not.
    std::array<bool, 7> set{};
    for (int i = 0; i < 7; ++i)
        set[i] = which[i] != '.';
    return set;
}

QString hourly(int interval)
{
    return ComputeNextRun(QStringLiteral("Hourly Backup every          hours on the hour."), QString(),
                          interval, false, false, false, false, false, false, false, true);
}

QString daily(const char *time, const char *which, bool includeToday)
{
    const std::array<bool, 7> d = days(which);
    return ComputeNextRun(QStringLiteral("Daily Backup every          day(s) at             :"),
                          QString::fromLatin1(time), 1, d[0], d[1], d[2], d[3], d[4], d[5], d[6],
                          includeToday);
}

} // namespace

TEST_F(RulesTest, HourlyRuleWithTwelveAndTwentyFourHourForms)
{
    forms("M/d/yyyy", "h:mm:ss AP");
    at(2028, 3, 1, 21, 40);
    EXPECT_EQ(hourly(3), "2 00:00:00"); // the fixed text, whatever the form
    at(2028, 3, 1, 22, 5);
    EXPECT_EQ(hourly(3), "2 1:00:00 AM");
    at(2028, 3, 1, 10, 59, 59);
    EXPECT_EQ(hourly(3), "2 1:00:00 PM");
    at(2028, 3, 1, 11, 0);
    EXPECT_EQ(hourly(1), "2 12:00:00 PM");

    forms("M/d/yyyy", "HH:mm:ss");
    at(2028, 3, 1, 22, 5);
    EXPECT_EQ(hourly(3), "2 01:00:00");
    at(2028, 3, 1, 10, 59);
    EXPECT_EQ(hourly(3), "2 13:00:00");
    at(2028, 3, 1, 23, 59);
    EXPECT_EQ(hourly(1), "2 00:00:00");
    // The schedule kind is decided by a capital D alone.
    EXPECT_EQ(ComputeNextRun("daily", "09:30 am", 1, 1, 1, 1, 1, 1, 1, 1, true), "2 00:00:00");
    EXPECT_EQ(ComputeNextRun("", "", 2, 0, 0, 0, 0, 0, 0, 0, true), "2 01:00:00");
}

TEST_F(RulesTest, HourlyIntervalsOutsideTheWizardsRange)
{
    forms("M/d/yyyy", "HH:mm:ss");
    at(2028, 3, 1, 9, 15);
    EXPECT_EQ(hourly(0), "2 10:00:00"); // would name this hour again
    EXPECT_EQ(hourly(-4), "2 10:00:00");
    EXPECT_EQ(hourly(23), "2 08:00:00");
    EXPECT_EQ(hourly(24), "2 09:00:00"); // a whole day on
    EXPECT_EQ(hourly(40), "2 01:00:00");
    EXPECT_EQ(hourly(39), "2 00:00:00");
    EXPECT_EQ(hourly(100), "2 13:00:00");
}

TEST_F(RulesTest, DailyTimeTextsAroundNoonAndMidnight)
{
    forms("M/d/yyyy", "h:mm:ss AP");
    EXPECT_EQ(dailyTimeText("09:30 am"), "09:30:00"); // morning texts are fixed
    EXPECT_EQ(dailyTimeText("09:30 AM"), "09:30:00");
    EXPECT_EQ(dailyTimeText("09:30 pm"), "9:30:00 PM");
    EXPECT_EQ(dailyTimeText("12:00 pm"), "12:00:00");
    EXPECT_EQ(dailyTimeText("12:45 pm"), "12:45:00");
    EXPECT_EQ(dailyTimeText("12:00 am"), "00:00:00");
    EXPECT_EQ(dailyTimeText("12:15 am"), "00:15:00");
    EXPECT_EQ(dailyTimeText("11:59 pm"), "11:59:00 PM");
    // Not the wizard's form: read as a time when it is one, else no next run at all.
    EXPECT_EQ(dailyTimeText("21:30"), "9:30:00 PM");
    EXPECT_EQ(dailyTimeText("9:30 pm"), "9:30:00 PM");
    EXPECT_EQ(dailyTimeText("09:30"), "9:30:00 AM");
    for (const char *bad : {"", "13:30 pm", "09:75 am", "ab:cd pm", "09:30 xm", "0930 am"})
        EXPECT_EQ(dailyTimeText(QString::fromLatin1(bad)), QString()) << bad;

    forms("M/d/yyyy", "HH:mm:ss");
    EXPECT_EQ(dailyTimeText("09:30 pm"), "21:30:00");
    EXPECT_EQ(dailyTimeText("01:05 pm"), "13:05:00");
    // Every time the wizard can store reads back as that time of day.
    for (int hour = 1; hour <= 12; ++hour) {
        for (int minute = 0; minute < 60; ++minute) {
            for (const char *half : {"am", "pm"}) {
                const QString entered = QStringLiteral("%1:%2 %3")
                                            .arg(hour, 2, 10, QLatin1Char('0'))
                                            .arg(minute, 2, 10, QLatin1Char('0'))
                                            .arg(QLatin1String(half));
                const int expected = hour % 12 + (half[0] == 'p' ? 12 : 0);
                ASSERT_EQ(DateText::parseTime(dailyTimeText(entered)), QTime(expected, minute))
                    << entered.toStdString();
            }
        }
    }
}

TEST_F(RulesTest, DayOffsets)
{
    const int sunday = 1, wednesday = 4, friday = 6, saturday = 7;
    // After a run (today may not be chosen).
    EXPECT_EQ(dailyOffset(wednesday, days(".M....."), false), 5);
    EXPECT_EQ(dailyOffset(wednesday, days("...W..."), false), 7);
    EXPECT_EQ(dailyOffset(wednesday, days("......."), false), 7);
    EXPECT_EQ(dailyOffset(wednesday, days(".M...F."), false), 2);
    EXPECT_EQ(dailyOffset(friday, days(".M....."), false), 3);
    EXPECT_EQ(dailyOffset(friday, days("......S"), false), 1);
    EXPECT_EQ(dailyOffset(saturday, days("S......"), false), 1);
    EXPECT_EQ(dailyOffset(saturday, days("......S"), false), 7);
    EXPECT_EQ(dailyOffset(saturday, days("......."), false), 7);
    EXPECT_EQ(dailyOffset(sunday, days("SMTWTFS"), false), 1);
    // When a profile is saved (today may be chosen, and stands when nothing follows it).
    EXPECT_EQ(dailyOffset(wednesday, days("...W..."), true), 0);
    EXPECT_EQ(dailyOffset(wednesday, days(".M....."), true), 0);
    EXPECT_EQ(dailyOffset(wednesday, days("....T.."), true), 1);
    EXPECT_EQ(dailyOffset(saturday, days("......."), true), 0);
    EXPECT_EQ(dailyOffset(saturday, days(".M....."), true), 0);
    EXPECT_EQ(dailyOffset(sunday, days("......S"), true), 6);
}

TEST_F(RulesTest, DailyRuleDates)
{
    forms("M/d/yyyy", "HH:mm:ss");
    at(2028, 3, 1, 8, 0); // a Wednesday
    EXPECT_EQ(daily("09:30 am", ".M.....", false), "1 3/6/2028|09:30:00");
    EXPECT_EQ(daily("09:30 pm", "...W...", false), "1 3/8/2028|21:30:00");
    EXPECT_EQ(daily("12:00 pm", "...W...", true), "1 3/1/2028|12:00:00");
    at(2028, 3, 1, 23, 0); // the time has passed: today still stands
    EXPECT_EQ(daily("12:00 am", "...W...", true), "1 3/1/2028|00:00:00");
    at(2028, 2, 28, 10, 0); // Monday before a 29 February
    EXPECT_EQ(daily("09:30 am", "..T....", false), "1 2/29/2028|09:30:00");
    at(2028, 2, 29, 10, 0);
    EXPECT_EQ(daily("09:30 am", "..T....", false), "1 3/7/2028|09:30:00");
    at(2027, 12, 31, 22, 0); // Friday, last day of the year
    EXPECT_EQ(daily("11:59 pm", ".M.....", false), "1 1/3/2028|23:59:00");
    at(2028, 1, 1, 0, 0); // Saturday
    EXPECT_EQ(daily("11:59 pm", "S......", false), "1 1/2/2028|23:59:00");
    EXPECT_EQ(daily("11:59 pm", ".......", true), "1 1/1/2028|23:59:00");
    EXPECT_EQ(daily("garbage", "SMTWTFS", true), QString());
}

TEST_F(RulesTest, ReadingNextRunTexts)
{
    forms("M/d/yyyy", "h:mm:ss AP");
    const NextRun d = readNextRunForMonitor(u"1 2/29/2028|9:30:00 PM");
    EXPECT_EQ(d.form, NextRun::Form::Daily);
    EXPECT_EQ(d.date, QDate(2028, 2, 29));
    EXPECT_EQ(d.time, QTime(21, 30));
    const NextRun h = readNextRunForCatchUp(u"2 00:00:00");
    EXPECT_EQ(h.form, NextRun::Form::Hourly);
    EXPECT_EQ(h.time, QTime(0, 0));
    EXPECT_EQ(readNextRunForMonitor(u"7 1:00:00 PM").form, NextRun::Form::Hourly);
    EXPECT_EQ(readNextRunForMonitor(u"7 1:00:00 PM").time, QTime(13, 0));

    // The catch-up reads at most 11 characters of the time text ...
    EXPECT_FALSE(readNextRunForMonitor(u"2 11:59:59 PM and more").readable());
    EXPECT_EQ(readNextRunForCatchUp(u"2 11:59:59 PM and more").time, QTime(23, 59, 59));
    EXPECT_EQ(readNextRunForCatchUp(u"1 2/29/2028|11:59:59 PMx").time, QTime(23, 59, 59));
    // ... and looks for the "|" one character later than the monitor.
    EXPECT_FALSE(readNextRunForMonitor(u"1|2/29/2028|9:30:00 AM").readable());
    EXPECT_EQ(readNextRunForCatchUp(u"1|2/29/2028|9:30:00 AM").date, QDate(2028, 2, 29));

    for (const char16_t *bad : {u"", u"1", u"2", u"2 ", u"1 2/29/2028", u"1 2/29/2028 9:30:00 AM",
                                u"1 2/30/2028|9:30:00 AM", u"1 |9:30:00 AM", u"1 2/29/2028|", u"2 25:00:00",
                                u"29.02.2028|09:30:00", u"1 29.02.2028|09:30:00"}) {
        EXPECT_FALSE(readNextRunForMonitor(bad).readable()) << QString::fromUtf16(bad).toStdString();
        EXPECT_FALSE(readNextRunForCatchUp(bad).readable()) << QString::fromUtf16(bad).toStdString();
    }
}

TEST(DueTest, InItsOwnMinuteOrInAGapBetweenTicks)
{
    const QDate day(2028, 3, 1);
    const auto minute = [&](int dayOffset, int h, int m) {
        return minuteOf(day.addDays(dayOffset), QTime(h, m));
    };
    const NextRun daily{NextRun::Form::Daily, day, QTime(14, 30)};
    const NextRun hourly{NextRun::Form::Hourly, {}, QTime(2, 0)};

    // Ticks every 15 seconds: only the run's own minute.
    EXPECT_TRUE(isDue(daily, minute(0, 14, 30), minute(0, 14, 30)));
    EXPECT_TRUE(isDue(daily, minute(0, 14, 30), minute(0, 14, 29)));
    EXPECT_FALSE(isDue(daily, minute(0, 14, 29), minute(0, 14, 29)));
    EXPECT_FALSE(isDue(daily, minute(0, 14, 31), minute(0, 14, 30)));
    EXPECT_FALSE(isDue(daily, minute(1, 14, 30), minute(1, 14, 29)));
    EXPECT_TRUE(isDue(hourly, minute(5, 2, 0), minute(5, 1, 59)));
    EXPECT_TRUE(isDue(hourly, minute(5, 2, 0), std::nullopt));

    // A gap: the run's minute lies after the previous tick's and before this one's.
    EXPECT_TRUE(isDue(daily, minute(0, 17, 0), minute(0, 14, 29)));
    EXPECT_TRUE(isDue(daily, minute(3, 9, 0), minute(0, 10, 0)));
    EXPECT_FALSE(isDue(daily, minute(0, 17, 0), minute(0, 14, 30))); // its minute had a tick
    EXPECT_FALSE(isDue(daily, minute(0, 17, 0), minute(0, 15, 0)));  // stored already past
    EXPECT_FALSE(isDue(daily, minute(0, 17, 0), std::nullopt));
    EXPECT_TRUE(isDue(hourly, minute(0, 3, 0), minute(0, 1, 59)));  // 2:00 skipped by the clock
    EXPECT_FALSE(isDue(hourly, minute(1, 1, 0), minute(0, 22, 0))); // no 2:00 in between
    EXPECT_TRUE(isDue(hourly, minute(1, 0, 30), minute(0, 1, 0)));  // yesterday's 2:00
    EXPECT_FALSE(isDue(hourly, minute(1, 1, 0), minute(0, 2, 0)));
    EXPECT_FALSE(isDue(hourly, minute(0, 1, 0), minute(0, 1, 59))); // the clock went back

    EXPECT_FALSE(isDue(NextRun{}, minute(0, 14, 30), minute(0, 14, 29)));
}

TEST(MissedTest, ComparedToTheSecond)
{
    const QDate day(2028, 3, 1);
    const NextRun daily{NextRun::Form::Daily, day, QTime(14, 30)};
    const NextRun hourly{NextRun::Form::Hourly, {}, QTime(14, 0)};
    EXPECT_TRUE(isMissed(daily, QDateTime(day.addDays(1), QTime(0, 0))));
    EXPECT_TRUE(isMissed(daily, QDateTime(day, QTime(14, 30, 1))));
    EXPECT_FALSE(isMissed(daily, QDateTime(day, QTime(14, 30, 0, 999))));
    EXPECT_FALSE(isMissed(daily, QDateTime(day.addDays(-1), QTime(23, 0))));
    EXPECT_TRUE(isMissed(hourly, QDateTime(day.addDays(-30), QTime(15, 0))));
    EXPECT_FALSE(isMissed(hourly, QDateTime(day.addDays(30), QTime(10, 0))));
    EXPECT_FALSE(isMissed(NextRun{}, QDateTime(day, QTime(23, 0))));
}

TEST(CatchUpQuestionTest, Text)
{
    EXPECT_EQ(
        catchUpQuestion("Site"),
        "The backup profile Site was not performed on scheduke. You can run the backup now, or re-schedule "
        "the backup for the next time slot.  Do you want to perform the backup right now?");
}
