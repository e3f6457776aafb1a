// The schedule of a profile and the one computation of its next run.
//
// A next-run text (PERFORM_IN) has two forms: "1 " + date text + "|" + time text for a daily
// schedule, "2 " + time text for an hourly one (the next time the clock shows that time).
#pragma once
#include <QDate>
#include <QString>
#include <QStringView>
#include <QTime>
#include <array>

namespace cvb {

// The fields of a profile record that the schedule rules read.
struct ProfileSchedule
{
    QString profile;
    QString kind;               // KIND: first character "D" is daily, anything else hourly
    QString time;               // TIME: "hh:mm am" / "hh:mm pm" for the daily kind
    int interval = 0;           // INTERVAL: hours between hourly runs
    std::array<bool, 7> days{}; // SUN, MON, TUE, WED, THU, FRI, SAT
};

// Next-run text for the schedule, computed from the clock's current moment. includeToday
// says whether today may be chosen (true when a profile is saved, false after a run).
// An empty text when the daily TIME cannot be read as a time of day.
QString ComputeNextRun(const QString &kind, const QString &time, int interval, bool sun, bool mon, bool tue,
                       bool wed, bool thu, bool fri, bool sat, bool includeToday);
QString ComputeNextRun(const ProfileSchedule &schedule, bool includeToday);

// Days from today (weekday 1 = Sunday ... 7 = Saturday) to the next run of a daily schedule.
int dailyOffset(int weekday, const std::array<bool, 7> &days, bool includeToday);

// Time text of a daily schedule's TIME ("09:30 am" gives "09:30:00"); empty when unreadable.
QString dailyTimeText(const QString &time);

// Time text of the hour `interval` hours after `hour`. An interval below 1 counts as 1; hours
// past the end of the day wrap around it.
QString hourlyTimeText(int hour, int interval);

// A next-run text as read back.
struct NextRun
{
    enum class Form { Unreadable, Daily, Hourly };
    Form form = Form::Unreadable;
    QDate date; // daily form only
    QTime time;

    bool readable() const { return form != Form::Unreadable; }
};

// The two ways the program reads a next-run text: the event monitor takes the whole rest as
// time text; the start-up catch-up at most 11 characters of it.
NextRun readNextRunForMonitor(QStringView text);
NextRun readNextRunForCatchUp(QStringView text);

} // namespace cvb
