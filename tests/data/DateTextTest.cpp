#include "data/DateText.h"
#include "data/Clock.h"

#include <gtest/gtest.h>

using cvb::DateText;

namespace {

// Sets the two form overrides for one test and restores the system's forms afterwards.
class Forms
{
public:
    Forms(const char *shortDate, const char *longTime)
    {
        qputenv("CVB_SHORTDATE", shortDate);
        qputenv("CVB_LONGTIME", longTime);
        DateText::reload();
    }
    ~Forms()
    {
        qunsetenv("CVB_SHORTDATE");
        qunsetenv("CVB_LONGTIME");
        DateText::reload();
    }
};

} // namespace

TEST(DateTextTest, TwelveHourTimesAroundMidnightAndNoon)
{
    Forms forms("M/d/yyyy", "h:mm:ss AP");
    EXPECT_EQ(DateText::time(QTime(0, 0, 0)), "12:00:00 AM");
    EXPECT_EQ(DateText::time(QTime(0, 15, 0)), "12:15:00 AM");
    EXPECT_EQ(DateText::time(QTime(12, 0, 0)), "12:00:00 PM");
    EXPECT_EQ(DateText::time(QTime(13, 5, 7)), "1:05:07 PM");
    EXPECT_EQ(DateText::time(QTime(23, 59, 59)), "11:59:59 PM");
    // Every minute of a day reads back as itself.
    for (int minute = 0; minute < 24 * 60; ++minute) {
        const QTime t(minute / 60, minute % 60, 30);
        ASSERT_EQ(DateText::parseTime(DateText::time(t)), t) << DateText::time(t).toStdString();
    }
}

TEST(DateTextTest, LenientTimeReading)
{
    Forms forms("M/d/yyyy", "HH:mm:ss");
    EXPECT_EQ(DateText::time(QTime(0, 0, 0)), "00:00:00");
    EXPECT_EQ(DateText::time(QTime(21, 30, 0)), "21:30:00");
    const struct
    {
        const char *text;
        QTime expected;
    } good[] = {
        {"9:30", QTime(9, 30)},        {"09:30:00", QTime(9, 30)}, {"21:30:05", QTime(21, 30, 5)},
        {"9:30 pm", QTime(21, 30)},    {"9:30PM", QTime(21, 30)},  {"12:15 am", QTime(0, 15)},
        {"12:00:00 PM", QTime(12, 0)}, {"12:00 AM", QTime(0, 0)},  {"  7:05:09 a ", QTime(7, 5, 9)},
        {"AM 7:05", QTime(7, 5)},      {"00:00:00", QTime(0, 0)},  {"23:59:59", QTime(23, 59, 59)},
    };
    for (const auto &c : good)
        EXPECT_EQ(DateText::parseTime(QString::fromUtf8(c.text)), c.expected) << c.text;
    for (const char *bad : {"", "9", "1230", "24:00", "9:60", "9:30:60", "13:00 PM", "9:30 xm", "9:30:00 UTC",
                            "9 30", "9:30:00:00", "abc", "-1:30", "9:30 pmx"})
        EXPECT_FALSE(DateText::parseTime(QString::fromUtf8(bad)).isValid()) << bad;
}

TEST(DateTextTest, TimeZoneAndOddBlanksLeaveTheLongTime)
{
    {
        Forms forms("M/d/yyyy", "h:mm:ss AP t");
        EXPECT_EQ(DateText::longTimePattern(), "h:mm:ss AP");
        EXPECT_EQ(DateText::time(QTime(13, 0)), "1:00:00 PM");
    }
    {
        Forms forms("M/d/yyyy", "h:mm:ss\xC2\xA0"
                                "AP");
        EXPECT_EQ(DateText::time(QTime(13, 0)), "1:00:00 PM");
        EXPECT_EQ(DateText::parseTime(QString::fromUtf8("1:00:00\xE2\x80\xAFPM")), QTime(13, 0));
    }
    {
        // A form whose separators are words, and whose seconds carry a unit.
        Forms forms("yyyy/MM/dd", "H\xE6\x99\x82mm\xE5\x88\x86ss\xE7\xA7\x92");
        const QString text = DateText::time(QTime(13, 5, 7));
        EXPECT_EQ(DateText::parseTime(text), QTime(13, 5, 7)) << text.toStdString();
        EXPECT_EQ(DateText::parseTime(QStringLiteral("13:05")), QTime(13, 5));
    }
}

TEST(DateTextTest, DatesInThePatternsOrder)
{
    {
        Forms forms("M/d/yyyy", "HH:mm:ss");
        EXPECT_EQ(DateText::date(QDate(2028, 2, 29)), "2/29/2028");
        EXPECT_EQ(DateText::parseDate(u"2/29/2028"), QDate(2028, 2, 29));
        EXPECT_EQ(DateText::parseDate(u"02-09-2028"), QDate(2028, 2, 9));
        EXPECT_EQ(DateText::moment(QDateTime(QDate(2028, 2, 29), QTime(0, 1, 2))), "2/29/2028 00:01:02");
        for (const char *bad :
             {"2/29/2027", "13/1/2028", "0/1/2028", "2/29", "1/2/3/4", "1/2/20288", "x1/2/2028", ""})
            EXPECT_FALSE(DateText::parseDate(QString::fromUtf8(bad)).isValid()) << bad;
    }
    {
        Forms forms("dd.MM.yyyy", "HH:mm:ss");
        EXPECT_EQ(DateText::date(QDate(2027, 3, 4)), "04.03.2027");
        EXPECT_EQ(DateText::parseDate(u"4.3.2027"), QDate(2027, 3, 4));
    }
    {
        Forms forms("d MMM yyyy", "HH:mm:ss");
        const QString text = DateText::date(QDate(2026, 12, 8));
        EXPECT_EQ(DateText::parseDate(text), QDate(2026, 12, 8)) << text.toStdString();
        EXPECT_FALSE(DateText::parseDate(u"8 12 2026 Foo").isValid());
    }
}

TEST(DateTextTest, TwoDigitYearsFallAroundToday)
{
    Forms forms("dd.MM.yy", "HH:mm:ss");
    cvb::Clock::pin(QDateTime(QDate(2026, 6, 1), QTime(12, 0)));
    EXPECT_EQ(DateText::date(QDate(2028, 2, 29)), "29.02.28");
    EXPECT_EQ(DateText::parseDate(u"29.02.28"), QDate(2028, 2, 29));
    EXPECT_EQ(DateText::parseDate(u"01.01.75"), QDate(2075, 1, 1));
    EXPECT_EQ(DateText::parseDate(u"01.01.76"), QDate(1976, 1, 1));
    EXPECT_EQ(DateText::parseDate(u"01.01.99"), QDate(1999, 1, 1));
    EXPECT_EQ(DateText::parseDate(u"01.01.1899"), QDate(1899, 1, 1));
    cvb::Clock::pin(QDateTime(QDate(2090, 6, 1), QTime(12, 0)));
    EXPECT_EQ(DateText::parseDate(u"01.01.99"), QDate(2099, 1, 1));
    EXPECT_EQ(DateText::parseDate(u"01.01.39"), QDate(2139, 1, 1));
    cvb::Clock::useSystemTime();
}

TEST(DateTextTest, SystemFormsReadBack)
{
    qunsetenv("CVB_SHORTDATE");
    qunsetenv("CVB_LONGTIME");
    DateText::reload();
    EXPECT_FALSE(DateText::longTimePattern().contains(QLatin1Char('t')));
    for (const QDate d : {QDate(2028, 2, 29), QDate(2026, 12, 31), QDate(2027, 1, 1)})
        EXPECT_EQ(DateText::parseDate(DateText::date(d)), d) << DateText::date(d).toStdString();
    for (const QTime t : {QTime(0, 0), QTime(12, 0), QTime(12, 59, 59), QTime(23, 1, 2)})
        EXPECT_EQ(DateText::parseTime(DateText::time(t)), t) << DateText::time(t).toStdString();
}
