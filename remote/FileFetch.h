// How one file of a backup is fetched, on whichever connection fetches it: in binary, through a
// temporary file that replaces the target only when complete; a transient failure (a busy or
// closing server, a reset or idle connection) is tried again after a growing pause; a download cut
// part-way goes on where it stopped (REST) when the server allows it, in this run or the next,
// and is checked before it replaces the target.
#pragma once

#include "remote/Snapshot.h"

#include <QDateTime>
#include <QHash>
#include <QString>
#include <QStringList>

#include <functional>

namespace cvb {

class TcvbFTP;

// The tries of a file and the pauses between them.
struct RetryPolicy
{
    int tries = 3;
    int backOffBaseMs = 2000; // the pause before the second try; doubled for each later one
    int backOffMaxMs = 60000;

    // The user's number of tries from the settings file; the base pause from CVB_BACKOFF_MS when
    // that is set (tests), else 2 s.
    static RetryPolicy fromSettings();
    // The pause before try `nextTry` (2 or later): the base doubled per earlier retry, at most the
    // maximum, with up to a quarter more or less at random so that connections that failed together
    // do not return together.
    int backOffMs(int nextTry) const;
};

// The row that tells of a retry: what failed, which try follows and after how long.
QString retryNote(const QString &what, int nextTry, int tries, int backOffMs, const QString &error);

// True for a failure worth another try: a reply 421, 425, 426, 450 or 451; a connection that was
// reset, closed early or idle too long. `code` and `text` are the component's error.
bool isTransientFailure(int code, const QString &text);

// What the server says of a file: its size and its modification time, exact to the second.
struct RemoteIdentity
{
    qint64 size = -1;
    QDateTime modified; // UTC; invalid when not known exactly
    bool known() const { return size >= 0 && modified.isValid(); }
    bool operator==(const RemoteIdentity &other) const
    {
        return size == other.size && modified == other.modified;
    }
};

// Asks the server for the size (SIZE) and time (MDTM) of `remotePath`; what it does not answer
// stays unknown. Raises only an interrupted wait (EcvbFTP).
RemoteIdentity askIdentity(TcvbFTP &ftp, const QString &remotePath);

// The temporary files that earlier runs left in a backup folder to be resumed, by the path of
// their target. Found once at the start of a backup, read by every connection.
using ResumableParts = QHash<QString, QString>;

// Walks `folder` for the hidden temporary files of downloads: those that can never be resumed
// (their file's size and time were not known) are removed, the others are returned. With `asIf`,
// they are returned as the parts of the same files below that folder instead: the folder of a
// failed run of a profile that writes a new folder each time leaves its parts to the next run.
ResumableParts sweepPartFiles(const QString &folder, const QString &asIf = {});

// Removes what is left of the resumable files of `parts` (after a complete backup, none of them
// belongs to a file that still has to be finished).
void removeParts(const ResumableParts &parts);

struct FetchRequest
{
    QString remotePath;
    QString localFile;
    RemoteIdentity listed; // as the listing gave it (size -1 / time invalid: not known)
    // A name the listing did not type: a 550 may mean a folder, which the caller then probes.
    bool mayBeFolder = false;
};

struct FetchResult
{
    enum Kind {
        Copied,       // in its place
        RemoteFailed, // the server gave no file; `error` says why
        Vanished,     // listed, then gone: 550 to RETR, and the server no longer knows the name
        LocalFailed,  // not written (a full disk, a folder in the way); `error` says why
    } kind = RemoteFailed;
    QString error;
    int code = 0;        // the component's code of the last failure
    QStringList notes;   // rows to write before the file's own: retries, resumed downloads
    qint64 received = 0; // bytes that crossed the network for it, every try together
    FileRecord record;   // for the manifest, when the backup fetches only what changed
};

struct FetchContext
{
    RetryPolicy policy;
    const ResumableParts *parts = nullptr; // left by earlier runs; none when null
    // Unchanged files are taken from the last complete backup (Copied, record.unchanged); none
    // when null: every file is downloaded.
    const Snapshot *snapshot = nullptr;
    std::function<bool()> stopped; // true once the backup must end
    // A back-off pause; by default one that serves the thread's events and ends at a stop.
    std::function<void(int ms)> wait;
};

// Fetches one file as above. Raises nothing; an interrupted fetch (a stop) is RemoteFailed.
FetchResult fetchFile(TcvbFTP &ftp, const FetchRequest &request, const FetchContext &context);

// True when the server no longer knows `remotePath` as a file (550 to MLST or SIZE): a name that
// was listed and then could not be fetched has vanished rather than failed.
bool vanishedFromServer(TcvbFTP &ftp, const QString &remotePath);

// A pause of `ms` that serves the thread's events and ends early once `stopped` says so.
void waitUnlessStopped(int ms, const std::function<bool()> &stopped);

} // namespace cvb
