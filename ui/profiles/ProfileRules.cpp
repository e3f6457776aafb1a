#include "ui/profiles/ProfileRules.h"

#include "data/Clock.h"
#include "data/DateText.h"
#include "data/Filter.h"
#include "data/Layouts.h"
#include "data/Table.h"
#include "scheduler/TableScheduleBook.h"

namespace cvb {

namespace {

const QString Profile = QStringLiteral("PROFILE");

} // namespace

bool isDailyKind(const QString &kind)
{
    return kind.startsWith(QLatin1Char('D'));
}

QString ScheduleFields::timeText() const
{
    return hour + QLatin1Char(':') + minute + QLatin1Char(' ') + ampm;
}

int profileFieldWidth()
{
    const TableLayout &layout = profilesLayout();
    return layout.fields.at(layout.fieldIndex(Profile)).width;
}

bool acceptTypedProfileName(QString &text, int &cursor)
{
    // Upper-casing may lengthen the text before the cursor ("ß" to "SS"): the cursor moves with it.
    const QString before = text.left(cursor).toUpper();
    const QString upper = before + text.mid(cursor).toUpper();
    if (upper.toUtf8().size() > profileFieldWidth())
        return false;
    text = upper;
    cursor = static_cast<int>(before.size());
    return true;
}

void startNewProfile(Table &profiles)
{
    profiles.insert();
    profiles.setBool(QStringLiteral("ACTIVE"), true);
    profiles.setString(QStringLiteral("KIND"), DailyKind);
    for (const char *flag :
         {"DTSTAMP_DI", "ROTATE_DIR", "EMAIL", "DETAI_EMAI", "MON", "TUE", "WED", "THU", "FRI", "SAT", "SUN"})
        profiles.setBool(QString::fromLatin1(flag), false);
}

QString nameProblem(Table &profiles, const QString &name)
{
    // The table keeps no trailing blanks: "SITE " is stored as "SITE", and blanks alone as nothing.
    QString stored = name;
    while (stored.endsWith(QLatin1Char(' ')))
        stored.chop(1);
    if (stored.trimmed().isEmpty())
        return NoNameMessage;
    profiles.refresh();
    profiles.first();
    for (int row = 0; row < profiles.recordCount(); ++row) {
        if (profiles.stringAt(row, Profile) == stored)
            return DuplicateNameMessage;
    }
    return {};
}

QString scheduleProblem(const QString &kind, const ScheduleFields &fields)
{
    if (kind.isEmpty())
        return NoKindMessage;
    if (isDailyKind(kind)) {
        if (fields.hour.isEmpty() || fields.minute.isEmpty() || fields.ampm.isEmpty())
            return NoTimeMessage;
    } else if (fields.interval.isEmpty()) {
        return NoIntervalMessage;
    }
    return {};
}

void storeSchedule(Table &profiles, const ScheduleFields &fields)
{
    profiles.setString(QStringLiteral("TIME"), fields.timeText());
    if (!isDailyKind(profiles.asString(QStringLiteral("KIND"))))
        profiles.setInt(QStringLiteral("INTERVAL"), fields.interval.trimmed().toInt());
}

ScheduleFields scheduleFieldsOf(const Table &profiles, ScheduleFields start, bool timeOfDailyOnly)
{
    const bool daily = isDailyKind(profiles.asString(QStringLiteral("KIND")));
    if (daily || !timeOfDailyOnly) {
        const QString time = profiles.asString(QStringLiteral("TIME"));
        start.hour = time.mid(0, 2);
        start.minute = time.mid(3, 2);
        start.ampm = time.mid(6, 2);
    }
    if (!daily)
        start.interval = QString::number(profiles.asInt(QStringLiteral("INTERVAL")));
    return start;
}

QString nextRunOnSave(const ProfileSchedule &schedule)
{
    const QString counted = ComputeNextRun(schedule, true);
    const NextRun run = readNextRunForMonitor(counted);
    if (run.form != NextRun::Form::Daily)
        return counted;
    QDateTime minute = Clock::now();
    minute.setTime(QTime(minute.time().hour(), minute.time().minute()));
    if (QDateTime(run.date, run.time) > minute)
        return counted;
    return ComputeNextRun(schedule, false);
}

QString targetProblem(const QString &folder)
{
    if (folder.toUtf8().size() <= TargetFieldWidth)
        return {};
    return QStringLiteral("The path of the folder %1 is longer than the %2 characters a profile can keep. "
                          "Please choose a folder with a shorter path.")
        .arg(folder)
        .arg(TargetFieldWidth);
}

void saveProfile(Table &profiles, const QString &targetFolder)
{
    profiles.setString(QStringLiteral("TARGET_LOC"), targetFolder);
    profiles.setString(QStringLiteral("PERFORM_IN"), nextRunOnSave(profileScheduleOf(profiles)));
    profiles.post();
}

VersionPolicy versionPolicyOf(const Table &profiles)
{
    if (profiles.asBool(QStringLiteral("ROTATE_DIR")))
        return VersionPolicy::Rotate;
    if (profiles.asBool(QStringLiteral("DTSTAMP_DI")))
        return VersionPolicy::DateStamp;
    return VersionPolicy::Replace;
}

void storeVersionPolicy(Table &profiles, VersionPolicy policy)
{
    profiles.setBool(QStringLiteral("DTSTAMP_DI"), policy == VersionPolicy::DateStamp);
    profiles.setBool(QStringLiteral("ROTATE_DIR"), policy == VersionPolicy::Rotate);
}

bool deleteProfile(Table &profiles, Table &files)
{
    const QString name = profiles.asString(Profile);
    files.setFilter(profileFilter(name));
    files.setFiltered(true);
    files.deleteAll();
    files.setFiltered(false);

    profiles.deleteRecord();
    profiles.setFiltered(false);
    profiles.first();
    bool active = false;
    for (int row = 0; row < profiles.recordCount() && !active; ++row) {
        profiles.moveTo(row);
        active = profiles.asBool(QStringLiteral("ACTIVE"));
    }
    profiles.first();
    return active;
}

void queueProfile(Table &queue, const QString &profile)
{
    queue.insert();
    queue.setString(Profile, profile);
    queue.setString(QStringLiteral("TIME_SUBMI"), DateText::moment(Clock::now()));
    queue.post();
}

QList<int> sourceRecords(Table &files, const QString &profile)
{
    QList<int> records;
    files.setFilter(profileFilter(profile));
    files.setFiltered(true);
    for (int row = 0; row < files.recordCount(); ++row) {
        files.moveTo(row);
        records << files.recNo();
    }
    files.setFiltered(false);
    return records;
}

void removeSourcesExcept(Table &files, const QString &profile, const QList<int> &kept)
{
    files.setFilter(profileFilter(profile));
    files.setFiltered(true);
    // From the last row backwards, so that the rows still to be looked at keep their places.
    for (int row = files.recordCount() - 1; row >= 0; --row) {
        files.moveTo(row);
        if (!kept.contains(files.recNo()))
            files.deleteRecord();
    }
    files.setFiltered(false);
}

} // namespace cvb
