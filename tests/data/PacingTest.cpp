#include "data/Pacing.h"

#include <QElapsedTimer>
#include <QTimer>
#include <gtest/gtest.h>

namespace {

class PacingEnv
{
public:
    explicit PacingEnv(const char *value) : saved_(qgetenv("CVB_PACING"))
    {
        if (value)
            qputenv("CVB_PACING", value);
        else
            qunsetenv("CVB_PACING");
    }
    ~PacingEnv() { qputenv("CVB_PACING", saved_); }

private:
    QByteArray saved_;
};

TEST(Pacing, FactorScalesPausesAndBadValuesCountAsOne)
{
    {
        PacingEnv env(nullptr);
        EXPECT_EQ(cvb::pacedMs(1000), 1000);
    }
    {
        PacingEnv env("0");
        EXPECT_EQ(cvb::pacedMs(1000), 0);
    }
    {
        PacingEnv env("0.25");
        EXPECT_EQ(cvb::pacedMs(1000), 250);
    }
    for (const char *bad : {"", "fast", "-2", "nan", "inf"}) {
        PacingEnv env(bad);
        EXPECT_EQ(cvb::pacedMs(500), 500) << bad;
    }
}

TEST(Pacing, PauseWithEventsKeepsTimersRunningPlainPauseDoesNot)
{
    PacingEnv env("1");
    int fired = 0;
    QTimer::singleShot(10, [&] { ++fired; });
    cvb::pace(60);
    EXPECT_EQ(fired, 0);
    cvb::paceWithEvents(60);
    EXPECT_EQ(fired, 1);
}

TEST(Pacing, ZeroFactorReturnsAtOnce)
{
    PacingEnv env("0");
    QElapsedTimer clock;
    clock.start();
    cvb::pace(5000);
    cvb::paceWithEvents(5000);
    EXPECT_LT(clock.elapsed(), 1000);
}

} // namespace
