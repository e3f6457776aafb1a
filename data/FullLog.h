// The full transfer log of a profile: every row that its backups write, uncut and with date and
// time in front, in the text file logs/PROFILE.log in the database folder. The log table keeps
// its rows cut to the field; this file keeps the whole paths. At 1 MiB the file is rotated
// (PROFILE.log.1, .2, .3; the oldest goes).
#pragma once

#include <QString>
#include <QStringList>

namespace cvb {

inline constexpr qint64 kFullLogLimit = 1024 * 1024;
inline constexpr int kFullLogsKept = 3;

// Where the full log of `profile` is: the name with every character that a file name cannot
// hold (or that would hide it) replaced by "_".
QString fullLogPath(const QString &profile);

// The profile whose row `event` (a log row's EVENT) is: the longest of `profiles` that it begins
// with, followed by a blank; empty when none is (a row of the main window before any backup).
QString profileOfEvent(const QString &event, const QStringList &profiles);

// Appends the lines (a line feed is added to each) in one write, rotating first when the file
// has reached `limit` bytes. The folder is made when missing; files and folder are private to
// the user. Returns the reason when the lines could not be written, else an empty text.
QString appendFullLogLines(const QString &profile, const QStringList &lines, qint64 limit = kFullLogLimit);

} // namespace cvb
