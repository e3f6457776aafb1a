#include "data/Clock.h"

#include <QTest>
#include <QThread>
#include <gtest/gtest.h>

using cvb::Clock;

namespace {

class ClockTest : public ::testing::Test
{
protected:
    void TearDown() override
    {
        qunsetenv("CVB_NOW");
        Clock::useSystemTime();
    }
};

qint64 secondsFromNow(const QDateTime &moment)
{
    return QDateTime::currentDateTime().secsTo(moment);
}

} // namespace

TEST_F(ClockTest, SetTimeRunsOnInRealTime)
{
    const QDateTime start(QDate(2028, 2, 29), QTime(23, 59, 59));
    Clock::setNow(start);
    const QDateTime first = Clock::now();
    EXPECT_GE(first, start);
    EXPECT_LT(first.secsTo(start), 2);
    ASSERT_TRUE(QTest::qWaitFor([&] { return start.msecsTo(Clock::now()) >= 1000; }, 10000));
    const QDateTime later = Clock::now();
    EXPECT_GE(start.msecsTo(later), 1000);
    EXPECT_EQ(later.date(), QDate(2028, 3, 1));
    EXPECT_EQ(Clock::today(), QDate(2028, 3, 1));
    EXPECT_EQ(later.timeSpec(), Qt::LocalTime);
}

TEST_F(ClockTest, PinnedTimeStandsStill)
{
    const QDateTime moment(QDate(2027, 11, 7), QTime(1, 30, 0));
    Clock::pin(moment);
    EXPECT_EQ(Clock::now(), moment);
    QThread::msleep(20);
    EXPECT_EQ(Clock::now(), moment);
    Clock::useSystemTime();
    EXPECT_LE(std::abs(secondsFromNow(Clock::now())), 1);
}

TEST_F(ClockTest, StartsAtTheMomentInTheEnvironment)
{
    qputenv("CVB_NOW", "2030-01-02T03:04:05");
    EXPECT_EQ(Clock::startFromEnvironment(), QString());
    const QDateTime shown = Clock::now();
    const QDateTime expected(QDate(2030, 1, 2), QTime(3, 4, 5));
    EXPECT_GE(shown, expected);
    EXPECT_LE(expected.secsTo(shown), 2);
}

TEST_F(ClockTest, BadEnvironmentMomentIsReportedAndIgnored)
{
    for (const char *bad : {"2030-13-02T03:04:05", "tomorrow", "2030-01-02 03:04:05", "2030-01-02"}) {
        qputenv("CVB_NOW", bad);
        const QString message = Clock::startFromEnvironment();
        EXPECT_TRUE(message.contains(QStringLiteral("CVB_NOW"))) << bad;
        EXPECT_TRUE(message.contains(QStringLiteral("YYYY-MM-DDTHH:MM:SS"))) << bad;
        EXPECT_LE(std::abs(secondsFromNow(Clock::now())), 1) << bad;
    }
}
