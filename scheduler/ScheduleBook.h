// What the event monitor and the start-up catch-up need of the tables: a pass over the
// active profiles in profile-name order, the current profile's fields, changing it, and adding
// to the queue. TableScheduleBook provides it over the main window's cursors.
#pragma once
#include "scheduler/ScheduleRules.h"

#include <QString>
#include <optional>

namespace cvb {

// A change to the current profile record; fields left empty stay as they are.
struct ProfileChange
{
    QString performIn;
    std::optional<QString> lastDone;
    std::optional<int> interval;
};

class ScheduleBook
{
public:
    virtual ~ScheduleBook() = default;

    // Starts a pass: the active profiles become visible, the first one current.
    virtual void beginPass() = 0;
    // Ends the pass (the monitor's cursor drops its filter; the catch-up's keeps it).
    virtual void endPass() = 0;

    virtual bool atEnd() const = 0;
    virtual void next() = 0;

    // Fields of the current profile.
    virtual QString profileName() const = 0;
    virtual QString performIn() const = 0;
    virtual ProfileSchedule schedule() const = 0;

    // Edits the current profile record and posts it.
    virtual void change(const ProfileChange &change) = 0;
    // Adds a posted queue record: PROFILE and TIME_SUBMI.
    virtual void enqueue(const QString &profile, const QString &submitted) = 0;
};

} // namespace cvb
