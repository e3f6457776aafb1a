#include "scheduler/ScheduleMonitor.h"

#include "data/Clock.h"
#include "data/DateText.h"
#include "scheduler/TimersPaused.h"

#include <QTimer>

namespace cvb {

namespace {

constexpr qint64 MinutesPerDay = 24 * 60;

// Runs a pass over the book and ends it even when a table operation fails on the way.
template <typename Work> void inPass(ScheduleBook &book, Work work)
{
    book.beginPass();
    try {
        work();
    } catch (...) {
        try {
            book.endPass();
        } catch (...) {
            // The first failure is the one worth reporting; it is rethrown below.
        }
        throw;
    }
    book.endPass();
}

} // namespace

qint64 minuteOf(const QDate &date, const QTime &time)
{
    return date.toJulianDay() * MinutesPerDay + time.hour() * 60 + time.minute();
}

bool isDue(const NextRun &run, qint64 thisMinute, std::optional<qint64> previousMinute)
{
    const auto passedUnseen = [&](qint64 minute) {
        return previousMinute && *previousMinute < minute && minute < thisMinute;
    };
    switch (run.form) {
    case NextRun::Form::Unreadable:
        return false;
    case NextRun::Form::Daily: {
        const qint64 minute = minuteOf(run.date, run.time);
        return minute == thisMinute || passedUnseen(minute);
    }
    case NextRun::Form::Hourly: {
        const qint64 today = thisMinute - thisMinute % MinutesPerDay;
        const qint64 minute = today + run.time.hour() * 60 + run.time.minute();
        return minute == thisMinute || passedUnseen(minute) || passedUnseen(minute - MinutesPerDay);
    }
    }
    return false;
}

bool isMissed(const NextRun &run, const QDateTime &now)
{
    const QTime time = QTime(now.time().hour(), now.time().minute(), now.time().second());
    switch (run.form) {
    case NextRun::Form::Unreadable:
        return false;
    case NextRun::Form::Daily:
        return now.date() > run.date || (now.date() == run.date && time > run.time);
    case NextRun::Form::Hourly:
        return time > run.time;
    }
    return false;
}

QString catchUpQuestion(const QString &profile)
{
    return QStringLiteral("The backup profile ") + profile +
           QStringLiteral(" was not performed on scheduke.") +
           QStringLiteral(" You can run the backup now, or re-schedule the backup for the next time slot.  "
                          "Do you want to ") +
           QStringLiteral("perform the backup right now?");
}

void ScheduleMonitor::tick(ScheduleBook &book, QTimer *eventMonitor)
{
    TimersPaused paused{eventMonitor};
    inPass(book, [&] {
        const QDateTime now = Clock::now();
        const qint64 thisMinute = minuteOf(now.date(), now.time());
        if (thisMinute != m_queuedMinute) {
            m_queuedMinute = thisMinute;
            m_queuedThisMinute.clear();
        }
        for (; !book.atEnd(); book.next()) {
            const NextRun run = readNextRunForMonitor(book.performIn());
            if (!isDue(run, thisMinute, m_previousMinute))
                continue;
            const QString profile = book.profileName();
            if (m_queuedThisMinute.contains(profile))
                continue;
            m_queuedThisMinute.insert(profile);

            const QString submitted = DateText::moment(Clock::now());
            book.enqueue(profile, submitted);
            ProfileSchedule schedule = book.schedule();
            ProfileChange change;
            change.lastDone = submitted;
            if (run.form == NextRun::Form::Daily && schedule.interval == 0)
                change.interval = schedule.interval = 1;
            change.performIn = ComputeNextRun(schedule, false);
            book.change(change);
        }
        m_previousMinute = thisMinute;
    });
}

void ScheduleMonitor::catchUp(ScheduleBook &book, const Ask &ask, QTimer *eventMonitor, QTimer *queueMonitor)
{
    TimersPaused paused{eventMonitor, queueMonitor};
    inPass(book, [&] {
        const QDateTime now = Clock::now();
        for (; !book.atEnd(); book.next()) {
            const NextRun run = readNextRunForCatchUp(book.performIn());
            if (run.readable() && !isMissed(run, now))
                continue;
            if (run.readable() && ask(catchUpQuestion(book.profileName())))
                book.enqueue(book.profileName(), DateText::moment(Clock::now()));
            ProfileChange change;
            change.performIn = ComputeNextRun(book.schedule(), false);
            book.change(change);
        }
        m_previousMinute = minuteOf(now.date(), now.time());
    });
}

} // namespace cvb
