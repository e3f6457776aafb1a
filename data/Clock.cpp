#include "data/Clock.h"

#include <QtGlobal>
#include <mutex>

namespace cvb {

namespace {

struct ClockState
{
    std::mutex lock;
    bool started = false;
    bool pinned = false;
    qint64 offsetMs = 0; // added to the computer's time while not pinned
    QDateTime pinnedAt;
};

ClockState &state()
{
    static ClockState s;
    return s;
}

// Caller holds the lock.
QString readEnvironment(ClockState &s)
{
    s.started = true;
    s.pinned = false;
    s.offsetMs = 0;
    const QString text = qEnvironmentVariable("CVB_NOW");
    if (text.isEmpty())
        return {};
    const QDateTime start = QDateTime::fromString(text, QStringLiteral("yyyy-MM-ddTHH:mm:ss"));
    if (!start.isValid())
        return QStringLiteral("CVB_NOW=%1 is not a local moment of the form YYYY-MM-DDTHH:MM:SS; "
                              "the computer's own time is used")
            .arg(text);
    s.offsetMs = start.toMSecsSinceEpoch() - QDateTime::currentMSecsSinceEpoch();
    return {};
}

void startOnce(ClockState &s)
{
    if (s.started)
        return;
    const QString problem = readEnvironment(s);
    if (!problem.isEmpty())
        qWarning("%s", qPrintable(problem));
}

} // namespace

QDateTime Clock::now()
{
    ClockState &s = state();
    std::lock_guard guard(s.lock);
    startOnce(s);
    if (s.pinned)
        return s.pinnedAt;
    return QDateTime::fromMSecsSinceEpoch(QDateTime::currentMSecsSinceEpoch() + s.offsetMs);
}

QDate Clock::today()
{
    return now().date();
}

void Clock::setNow(const QDateTime &moment)
{
    ClockState &s = state();
    std::lock_guard guard(s.lock);
    s.started = true;
    s.pinned = false;
    s.offsetMs = moment.toMSecsSinceEpoch() - QDateTime::currentMSecsSinceEpoch();
}

void Clock::pin(const QDateTime &moment)
{
    ClockState &s = state();
    std::lock_guard guard(s.lock);
    s.started = true;
    s.pinned = true;
    s.pinnedAt = moment.timeSpec() == Qt::LocalTime ? moment : moment.toLocalTime();
}

void Clock::useSystemTime()
{
    ClockState &s = state();
    std::lock_guard guard(s.lock);
    s.started = true;
    s.pinned = false;
    s.offsetMs = 0;
}

QString Clock::startFromEnvironment()
{
    ClockState &s = state();
    std::lock_guard guard(s.lock);
    return readEnvironment(s);
}

} // namespace cvb
