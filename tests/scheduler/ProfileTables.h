// Writing profiles into and reading results out of the tables of a database folder, each
// through a cursor of its own (as another window or a later start would see them).
#pragma once
#include "data/Layouts.h"
#include "data/Table.h"

#include <QList>
#include <QStringList>
#include <gtest/gtest.h>

namespace cvb::test {

inline const char *const DailyKind = "Daily Backup every          day(s) at             :";
inline const char *const HourlyKind = "Hourly Backup every          hours on the hour.";

struct ProfileRecord
{
    const char *name;
    const char *kind;
    const char *time;
    int interval;
    const char *days; // "SMTWTFS", "." for a day not selected
    const char *performIn;
    bool active = true;
};

inline void addProfile(const QString &folder, const ProfileRecord &r)
{
    Table writer;
    writer.setFolder(folder);
    writer.open(ProfilesTable, ProfileIndex);
    writer.insert();
    writer.setString("PROFILE", r.name);
    writer.setString("KIND", r.kind);
    writer.setString("TIME", r.time);
    writer.setInt("INTERVAL", r.interval);
    writer.setString("PERFORM_IN", r.performIn);
    writer.setString("LASTDONE", "before");
    writer.setBool("ACTIVE", r.active);
    const char *const days[] = {"SUN", "MON", "TUE", "WED", "THU", "FRI", "SAT"};
    for (int i = 0; i < 7; ++i)
        writer.setBool(days[i], r.days[i] != '.');
    writer.post();
}

inline QString profileField(const QString &folder, const char *profile, const char *field)
{
    Table reader;
    reader.setFolder(folder);
    reader.open(ProfilesTable, ProfileIndex);
    EXPECT_TRUE(reader.locate("PROFILE", profile)) << profile;
    return reader.asString(field);
}

// Every queue record: PROFILE, TIME_SUBMI, TIME_START, TIME_DONE.
inline QList<QStringList> queueRows(const QString &folder)
{
    Table reader;
    reader.setFolder(folder);
    reader.open(QueueTable);
    QList<QStringList> rows;
    for (reader.first(); !reader.eof(); reader.next())
        rows.append({reader.asString("PROFILE"), reader.asString("TIME_SUBMI"), reader.asString("TIME_START"),
                     reader.asString("TIME_DONE")});
    return rows;
}

} // namespace cvb::test
