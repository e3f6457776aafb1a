// Backups that fetch only what changed. A file is taken over from the newest complete backup of
// the profile (its base) only when the server tells its size and its modification time to the
// second, and both equal what the base's manifest recorded for it; anything less certain is
// downloaded. Taken over means: left as it is when the base is the backup folder itself, else
// hard-linked from the base (copied where the file system refuses a link). Every file a backup
// writes gets the server's modification time, and each one's line of the new manifest is made
// where the file was placed.
//
// The functions here touch nothing shared: the transfer connections call them on their own
// threads, with the base read once before they start and never changed afterwards.
#pragma once

#include "remote/Manifest.h"

#include <QDateTime>
#include <QString>

#include <memory>
#include <optional>

namespace cvb {

// The base's record of a file when it is unchanged: the server's size and its time to the second
// (`modified` is invalid unless the server gave it that exactly) equal to what the base recorded.
std::optional<ManifestEntry> unchangedRecord(const Manifest &base, const QString &relative, qint64 size,
                                             const QDateTime &modified);

// Sets the modification time of `path` (the access time stays); false with `error` set.
bool setModifiedTime(const QString &path, const QDateTime &utc, QString *error);

enum class Placement {
    Left,   // the base is the backup folder: the file is there already
    Linked, // hard-linked from the base
    Copied, // copied from the base: the file system took no link
};

// Puts the base's `baseFile` in the place of `target`, through a hidden temporary name that
// replaces `target` only when complete (a failure leaves `target` as it was). Where `target` is
// `baseFile`, or a link to the same file, nothing is written. A copy gets a time of its own: the
// caller sets the server's. False with `error` set.
bool placeFromBase(const QString &baseFile, const QString &target, Placement *how, QString *error);

// What a fetch tells the backup for its manifest.
struct FileRecord
{
    bool recorded = false;  // the file is in its place and `entry` describes it
    bool unchanged = false; // taken over from the base, not downloaded
    ManifestEntry entry;

    // The record of a file taken over unchanged with the base's line `entry`.
    static FileRecord takenOver(const ManifestEntry &entry) { return {true, true, entry}; }
};

// The newest complete backup of the profile, read before the backup begins.
struct SnapshotBase
{
    QString folder; // empty: there is none, every file is downloaded
    Manifest manifest;
};

// One backup's use of its base, shared read-only by every connection that fetches.
class TcvbFTP;

class Snapshot
{
public:
    // `folder` is the backup folder; `base` may be empty (no base).
    Snapshot(const QString &folder, SnapshotBase base);

    bool hasBase() const { return !m_base.folder.isEmpty(); }
    // True when the base knows `localFile` (a file below the backup folder) at all: only then are
    // SIZE and MDTM worth asking.
    bool baseKnows(const QString &localFile) const;
    QString relativePath(const QString &localFile) const;

    // Takes `localFile` over from the base when the server's size and exact time say it is
    // unchanged: nothing when it has to be downloaded (also when placing it failed: the download
    // then replaces it).
    // Its line for the new manifest when it was taken over.
    std::optional<ManifestEntry> takeOver(const QString &localFile, qint64 size,
                                          const QDateTime &modified) const;

    // The two steps of a fetch, on the connection that fetches. Before the download: what the
    // listing did not tell exactly (`size` -1, `modified` invalid) is asked with SIZE and MDTM,
    // and the file is taken over when unchanged (true: nothing is to be downloaded). Raises only
    // an interrupted wait (EcvbFTP).
    bool beforeFetch(TcvbFTP &ftp, const QString &remotePath, const QString &localFile, qint64 *size,
                     QDateTime *modified, FileRecord *record) const;
    // After the download has taken its place: its time and its manifest line, whose hash is
    // `received` (of the bytes as they arrived) or, when that is empty, read from the file. False
    // with `error`.
    bool afterFetch(const QString &localFile, const QDateTime &modified, const QByteArray &received,
                    FileRecord *record, QString *error) const;

private:
    QString m_folder;
    SnapshotBase m_base;
};

} // namespace cvb
