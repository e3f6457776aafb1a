// What the profile windows check and store, without a window: the values a new profile starts
// with, the name check, the schedule fields and what they store, the next run stored on saving,
// the version policy, deleting a profile with its sources, queuing a profile at once, and the
// clean-up of sources that a cancelled new profile leaves behind.
//
// The profile record is always the current record of the cursor handed in (the main window's
// shared Table_Profiles in the program), which must be in edit or insert state for the writers.
#pragma once

#include "scheduler/ScheduleRules.h"

#include <QList>
#include <QString>

namespace cvb {

class Table;

// The two schedule kinds as stored in KIND; the gaps are where the day boxes, the time fields and
// the interval field sit on screen.
inline const QString DailyKind = QStringLiteral("Daily Backup every          day(s) at             :");
inline const QString HourlyKind = QStringLiteral("Hourly Backup every          hours on the hour.");

inline const QString NoNameMessage = QStringLiteral("You must enter a profile name before you can continue.");
inline const QString DuplicateNameMessage =
    QStringLiteral("A profile already exists with that name. Please enter a new name for the profile.");
inline const QString NoKindMessage =
    QStringLiteral("You must select a backup schedule type and enter the requested information.");
inline const QString NoTimeMessage = QStringLiteral("You must enter an interval and a time for backup time.");
inline const QString NoIntervalMessage = QStringLiteral("You must enter an interval for the backup.");
inline const QString DeleteQuestion = QStringLiteral("Are you sure you want to delete this profile?");
inline const QString ActiveProfilesNote =
    QStringLiteral("Corvale Backup is running with active backup profiles.");

// A profile is daily when KIND begins with "D" (case-sensitive); anything else is hourly.
bool isDailyKind(const QString &kind);

// The schedule fields of the schedule page that are not stored as they are: the time of day as
// hour, minute and am/pm, and the interval of an hourly schedule.
struct ScheduleFields
{
    QString hour = QStringLiteral("01");
    QString minute = QStringLiteral("00");
    QString ampm = QStringLiteral("am");
    QString interval = QStringLiteral("1");

    // TIME as stored: hour + ":" + minute + " " + am/pm, for example "07:30 pm".
    QString timeText() const;
};

// The name entry's rule for a change the user made: `text` with the cursor at `cursor`, as the
// entry would show it. Every letter is upper-cased by the full Unicode rule ("ß" becomes "SS"),
// and the cursor stays behind the same typed characters. Returns false, leaving both alone, when
// the upper-cased name does not fit the PROFILE field (the change is then refused): the field
// counts bytes of its UTF-8 text, so two names that it cut alike would be one profile.
bool acceptTypedProfileName(QString &text, int &cursor);
// The bytes the PROFILE field keeps.
int profileFieldWidth();

// Inserts a new record into `profiles` with the values a new profile starts with: active, daily,
// no version subfolders, no report, no day ticked.
void startNewProfile(Table &profiles);

// The name check of the name page: the message to show, or empty when `name` may be used. A name
// of blanks counts as empty, and trailing blanks, which the table does not keep, do not count.
// `profiles` is a cursor of its own on the profiles table; it is re-read first, so that profiles
// stored meanwhile through other cursors count too.
QString nameProblem(Table &profiles, const QString &name);

// The schedule check: the message to show, or empty when the fields are complete for `kind`.
QString scheduleProblem(const QString &kind, const ScheduleFields &fields);

// Stores TIME from the time fields (for hourly profiles too) and, for an hourly kind, INTERVAL.
void storeSchedule(Table &profiles, const ScheduleFields &fields);

// The fields as the record shows them: the time of day from TIME ("07:30 pm"), and the interval
// from INTERVAL when the record is hourly. With `timeOfDailyOnly` the time is taken only from a
// daily record. What the record does not give keeps its value in `start`.
ScheduleFields scheduleFieldsOf(const Table &profiles, ScheduleFields start, bool timeOfDailyOnly);

// The next run stored when a profile is saved: the schedule's next run counting today, unless
// that moment is not after the current minute (today's time has gone by): then the next run
// after today, so that a profile saved late in the day still runs.
QString nextRunOnSave(const ProfileSchedule &schedule);

// TARGET_LOC keeps at most this many bytes of a path.
inline constexpr int TargetFieldWidth = 200;
// The message to show instead of storing a target folder whose path the record cannot keep
// whole (the backups would go to the folder its cut path names), or empty.
QString targetProblem(const QString &folder);

// Saving: stores TARGET_LOC and the next run, and posts the record.
void saveProfile(Table &profiles, const QString &targetFolder);

// How earlier copies are kept: DTSTAMP_DI and ROTATE_DIR.
enum class VersionPolicy { Replace, DateStamp, Rotate };
VersionPolicy versionPolicyOf(const Table &profiles);
void storeVersionPolicy(Table &profiles, VersionPolicy policy);

// Deletes the current record of `profiles` and every source row of it in `files` (both filters
// end switched off; `profiles` stands on its first record). Returns whether a remaining profile
// is active, which the window then mentions.
bool deleteProfile(Table &profiles, Table &files);

// Puts the profile on the backup queue at once, queued now.
void queueProfile(Table &queue, const QString &profile);

// The record numbers of the profile's source rows (`files` ends unfiltered).
QList<int> sourceRecords(Table &files, const QString &profile);
// Deletes the profile's source rows that are not in `kept` (`files` ends unfiltered).
void removeSourcesExcept(Table &files, const QString &profile, const QList<int> &kept);

} // namespace cvb
