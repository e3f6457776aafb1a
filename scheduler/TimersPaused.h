// Stops the timers it is given and starts them again when it goes, however the work in between
// ends: a failing table must not stop the monitors for good.
#pragma once
#include <QTimer>

#include <initializer_list>
#include <vector>

namespace cvb {

class TimersPaused
{
public:
    explicit TimersPaused(std::initializer_list<QTimer *> timers)
    {
        for (QTimer *timer : timers) {
            if (timer) {
                timer->stop();
                m_timers.push_back(timer);
            }
        }
    }
    ~TimersPaused()
    {
        for (QTimer *timer : m_timers)
            timer->start();
    }
    TimersPaused(const TimersPaused &) = delete;
    TimersPaused &operator=(const TimersPaused &) = delete;

private:
    std::vector<QTimer *> m_timers;
};

} // namespace cvb
