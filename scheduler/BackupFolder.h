// Rules for the local folder into which one backup goes: the profile's target folder, a new
// subfolder named after the moment of the backup, or the next of the rotation subfolders A, B, C.
#pragma once

#include <QDateTime>
#include <QLocale>
#include <QString>
#include <QStringList>

#include <optional>

namespace cvb {

// The target folder as the backup uses it: one trailing separator dropped.
QString targetFolderBase(const QString &targetLoc);

// Name of a date-stamped subfolder, e.g. "Monday, December 7, 2026 - 08!56!05 PM": weekday and
// month names in the given language, the day without leading zero, the hour on the 12-hour clock.
// "!" stands where a clock shows ":", which a folder name cannot hold.
QString dateStampedFolderName(const QDateTime &moment, const QLocale &locale = QLocale::system());

// Rotation letter after `lastDir`: "A" after "", "B" after "A", "C" after "B", "A" after "C";
// nothing for any other value.
std::optional<QString> nextRotationLetter(const QString &lastDir);

// Where one backup of a profile goes.
struct BackupFolderPlan
{
    QString folder;                    // the backup folder
    bool createFolder = false;         // a subfolder is to be created (and logged)
    std::optional<QString> newLastDir; // the letter to store in LASTDIR
};

// Rotation wins over the date stamp; with neither the folder is the target folder itself.
BackupFolderPlan planBackupFolder(const QString &targetLoc, bool rotateDir, bool dateStamped,
                                  const QString &lastDir, const QDateTime &now,
                                  const QLocale &locale = QLocale::system());

// The folders that may hold the newest complete backup of a profile: the target folder itself
// when the backups overwrite it, else every folder directly below it (the date-stamped ones, or A,
// B and C). Which of them holds a complete backup of the profile only their manifests tell.
QStringList baseFolderCandidates(const QString &targetLoc, bool rotateDir, bool dateStamped);

// What a backup that fetches only what changed needs to know of its folder.
struct SnapshotPlan
{
    QStringList baseFolders; // where the newest complete backup of the profile may be
    // The folder holds this backup alone (date-stamped, or a rotation letter): files gone from the
    // server leave it. The target folder of overwriting backups keeps them.
    bool ownFolder = false;
};

// Creates the last level of `folder` (its parent must exist). False when it exists already or
// cannot be made.
bool createFolderLevel(const QString &folder);

} // namespace cvb
