// The event monitor's tick and the start-up catch-up: they turn due profiles into queue
// entries and move the profiles' next runs on.
//
// Wiring in the main window (which owns the cursors and the timers):
//
//     // members, after the cursors:
//     cvb::ScheduleMonitor schedule_;
//     cvb::TableScheduleBook scan_{*Table_ProfilesLKUP, *Table_Queue,
//                                  cvb::TableScheduleBook::AfterPass::DropFilter};
//     // creation, after the seven cursors are open and before the timers first run:
//     cvb::TableScheduleBook start(*Table_Profiles, *Table_Queue,
//                                  cvb::TableScheduleBook::AfterPass::KeepFilter);
//     schedule_.catchUp(start, [](const QString &question) {
//         return cvb::dialogs().warning(question, cvb::Buttons::YesNo) == cvb::Answer::Yes;
//     }, eventMonitor_, queueMonitor_);
//     // EventMonitor (15000 ms) timeout:
//     void TMainWin::EventMonitorTimer() { schedule_.tick(scan_, eventMonitor_); }
//
// The question is asked as a warning box with the buttons Yes and No; `ask` returns true for Yes.
// Every moment comes from cvb::Clock.
//
// A run is due in its own minute. A run whose minute passed between two ticks (the computer
// slept, the clock jumped forward, a daylight-saving change skipped that minute) is queued once
// at the first tick after it: the monitor remembers its previous tick, and the catch-up counts
// as one. Minutes are compared as the wall clock shows them.
#pragma once
#include "scheduler/ScheduleBook.h"
#include "scheduler/ScheduleRules.h"

#include <QDateTime>
#include <QSet>
#include <QString>
#include <functional>
#include <optional>

class QTimer;

namespace cvb {

// A wall-clock minute as one number, for comparing minutes across days.
qint64 minuteOf(const QDate &date, const QTime &time);

// Whether a next run read by the monitor is due at the tick in minute `thisMinute`, given the
// minute of the previous tick (none before the first).
bool isDue(const NextRun &run, qint64 thisMinute, std::optional<qint64> previousMinute);

// Whether a next run read by the catch-up has passed at `now` (compared to the second).
bool isMissed(const NextRun &run, const QDateTime &now);

// The catch-up's question for a missed profile.
QString catchUpQuestion(const QString &profile);

class ScheduleMonitor
{
public:
    using Ask = std::function<bool(const QString &question)>;

    // One tick of EventMonitor: queues every active profile that is due and moves its next run
    // on. `eventMonitor` (may be null) is stopped during the tick and always running after it.
    void tick(ScheduleBook &book, QTimer *eventMonitor = nullptr);

    // The start-up catch-up: asks about each active profile whose next run has passed; Yes
    // queues it; either answer moves its next run on. A next run that cannot be read is given
    // a fresh one without asking. Both timers (may be null) are stopped during it and running
    // after it.
    void catchUp(ScheduleBook &book, const Ask &ask, QTimer *eventMonitor = nullptr,
                 QTimer *queueMonitor = nullptr);

private:
    std::optional<qint64> m_previousMinute;
    // Profiles queued in the current minute: a next run that names the same minute again
    // (an interval of a whole number of days) does not queue them twice.
    qint64 m_queuedMinute = -1;
    QSet<QString> m_queuedThisMinute;
};

} // namespace cvb
