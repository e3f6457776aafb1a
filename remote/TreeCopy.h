// The copy of a remote folder tree onto the local disk, shared by the backup and the live
// session: a work list of remote folders, first in first out (every folder is entered after its
// parent, so one local level at a time suffices), each with the local folder it goes to; the rule
// that keeps every local name inside the chosen folder; the depth limit; the fixed pauses. What
// differs between the two users (how a name that is no file is told from a folder, what a step
// reports, how a file is fetched) are the hooks.
#pragma once

#include "ftp/FolderListing.h"
#include "remote/Snapshot.h"

#include <QDateTime>

#include <QString>
#include <QStringList>

#include <deque>
#include <functional>
#include <map>
#include <optional>

namespace cvb {

class EcvbComponent;
class TcvbFTP;

// Folder levels below the copied folder that are copied. A server-side link back to a folder
// above (www -> .) would otherwise repeat the same folders until the paths fail.
constexpr int kMaxFolderDepth = 64;

// What a copy does with one line of a folder listing.
enum class ListedName {
    Copy,   // a name in the folder: download it, or copy it as a folder
    Skip,   // the folder itself, its parent, or an empty line: nothing to do
    Refuse, // a name that would leave the folder being copied: nothing may be written for it
};

ListedName classifyListedName(const QString &name);

// True when a path relative to the chosen local folder stays inside it: not absolute and
// without ".." as one of its levels.
bool staysInsideBackupFolder(const QString &relativePath);

// Where the listed remote `name` is written inside the local `folder`: the two joined, or nothing
// for a name that must not be copied. `refused` tells why there is nothing: true for a name that
// would leave the folder, false for the folder itself, its parent or an empty name.
std::optional<QString> localPlace(const QString &folder, const QString &name, bool *refused = nullptr);

// "/" + name below `folder`, without doubling a "/" that ends it.
QString remoteChild(const QString &folder, const QString &name);

// A relative local folder joined with one more level.
QString relativeChild(const QString &relative, const QString &name);

struct TreeCopyOptions
{
    // Names below a folder are joined to the server's answer to where it is (the live session,
    // which shows that path), not to the path that was asked for (the backup).
    bool namesBelowServerPath = false;
    // The local folder is made before the remote one is entered, so that a file in its way
    // leaves the server where it was (the live session, whose remote pane stays put); else once
    // the remote folder has been entered, so that a name that is no folder never leaves an empty
    // folder where its file belongs (the backup).
    bool localFolderFirst = false;
    // The top of the local folder holds the backup's manifest: a listed name of it there is
    // refused (the backup).
    bool manifestAtTop = false;
};

// The remote folders of one copy waiting their turn, first in first out, each with its local
// folder below the chosen one and its depth below the folder the copy began with.
class FolderWorkList
{
public:
    struct Folder
    {
        QString remotePath; // the remote folder to open
        QString relative;   // its local folder below the chosen folder ("site/img"; empty: that folder)
        int depth = 0;      // levels below the folder the copy began with
    };

    explicit FolderWorkList(const QString &localBase) : m_localBase(localBase) {}

    // Queues a remote folder whose copy goes to `relative` below the local base. False, with
    // nothing queued, when that place would leave the local base.
    bool queue(const QString &remotePath, const QString &relative, int depth = 0);
    // Queues the folder `name`, listed in `parent` (whose remote path is `parentRemote`). False,
    // with nothing queued, for a name that may not be copied or when `parent` is as deep as a
    // copy goes.
    bool queueBelow(const Folder &parent, const QString &parentRemote, const QString &name);
    // True when the folders inside `folder` lie deeper than a copy goes.
    static bool holdsTooDeep(const Folder &folder) { return folder.depth >= kMaxFolderDepth; }

    bool isEmpty() const { return m_folders.empty(); }
    int size() const { return int(m_folders.size()); }
    Folder takeFirst();
    // The local folder of a queued folder.
    QString localFolder(const Folder &folder) const;

private:
    QString m_localBase;
    std::deque<Folder> m_folders;
};

// Connections of their own that fetch the files of a copy while it walks on through the folders
// (the backup's transfer connections). Each job names its file by its full remote path.
class FileTransfers
{
public:
    struct Job
    {
        quint64 id = 0;       // the copy's number for it: outcomes are reported in this order
        QString name;         // as listed
        QString remotePath;   // the full remote path
        QString localFile;
        bool mayBeFolder = false; // the listing did not say: a failed download is tried as a folder
        qint64 size = -1;
        QDateTime modified; // as listed, UTC; invalid unless the listing gave it to the second
        FolderWorkList::Folder parent; // the folder it was listed in
        QString parentRemote;          // that folder's remote path as names below it are joined
    };
    struct Outcome
    {
        enum Kind {
            Copied,   // in its place
            Failed,   // neither fetched nor (where it might be one) a folder; `error` says why
            IsFolder, // not a file, but a folder to copy in its turn
            NotTaken, // no connection is left to take it: the copy fetches it itself
            Reported, // fetched but not written, and already reported: nothing more to tell
            Vanished, // listed, then gone from the server before it could be fetched
        } kind = Failed;
        QString error;
        QStringList notes;   // what happened on the way (retries, a resumed download), in order
        qint64 received = 0; // bytes that crossed the network for it
        FileRecord record;   // its manifest line, when the backup fetches only what changed
    };
    using Done = std::function<void(const Job &, const Outcome &)>;

    virtual ~FileTransfers() = default;
    // True while a connection is up, or still logging on, to take jobs.
    virtual bool accepting() const = 0;
    virtual void submit(const Job &job) = 0;
    // True while jobs wait or run.
    virtual bool busy() const = 0;
    // Hands over a job that no connection has begun (the last in line), for the copy's own
    // connection to fetch; false when none waits.
    virtual bool takeWaiting(Job *job) = 0;
    // Serves the thread's events until an outcome has been reported (or the copy is stopped).
    virtual void waitForOutcome() = 0;
    // Stops every connection at once; jobs still waiting are dropped.
    virtual void stop() = 0;
    void setDone(Done done) { m_done = std::move(done); }

protected:
    void report(const Job &job, const Outcome &outcome)
    {
        if (m_done)
            m_done(job, outcome);
    }

private:
    Done m_done;
};

class TreeCopy
{
public:
    using Folder = FolderWorkList::Folder;

    enum class FileResult {
        Copied,       // the file is in its place
        RemoteFailed, // the server gave no file: perhaps a folder
        LocalFailed,  // fetched, or about to be, but not written (reported by the hook)
        Vanished,     // listed, then gone from the server
    };

    class Hooks
    {
    public:
        virtual ~Hooks() = default;
        // True once the copy must end: no further folder or name is started.
        virtual bool stopped() const = 0;
        // The entries of the current remote folder, typed where the server says what each is.
        // Raises EcvbFTP.
        virtual FolderEntries listCurrentFolder() = 0;
        // The folder has been entered; `serverPath` is the server's answer to where it now is.
        virtual void folderEntered(const Folder &, const QString & /*serverPath*/) {}
        // Makes the local folder (one level); false when nothing can be written below it
        // (reported by the hook).
        virtual bool makeLocalFolder(const QString &localFolder) = 0;
        // Fetches the job's file (`name` of the current remote folder, whose full path is
        // `remotePath`) into its `localFile`. `details` receives the text of a failure, the notes
        // of the way and the bytes received.
        virtual FileResult copyFile(const FileTransfers::Job &job, FileTransfers::Outcome *details) = 0;
        // Before the file goes to a connection: true when it was taken over from an earlier
        // backup on what the listing told (no command needed), `details` then holding its record.
        virtual bool takeOverListed(const FileTransfers::Job & /*job*/, FileTransfers::Outcome * /*details*/)
        {
            return false;
        }
        // After a remote failure: true when `remotePath` is a folder, to be copied in its turn.
        virtual bool isFolder(const QString &remotePath) = 0;
        // After a remote failure of a name that is no folder either: true when the server no
        // longer knows it (it vanished since it was listed).
        virtual bool hasVanished(const QString & /*remotePath*/) { return false; }
        // A note of the way to a file's outcome (a retry, a resumed download), told just before it.
        virtual void note(const QString & /*text*/) {}
        // A listed name (its full remote path) that was gone from the server when it was to be
        // fetched.
        virtual void nameVanished(const QString &remotePath, const QString &error) { nameFailed(remotePath, error); }
        // A listed name is to be fetched as a file; `size` as listed, -1 when not known.
        virtual void fileListed(const QString & /*remotePath*/, qint64 /*size*/) {}
        virtual void fileCopied(const QString &localFile) = 0;
        // A file in its place with its manifest line, told before fileCopied; a file taken over
        // unchanged (`record.unchanged`) is told only here.
        virtual void fileRecorded(const QString & /*localFile*/, const FileRecord & /*record*/) {}
        // Bytes that crossed the network for a file, every try together, whatever became of it.
        virtual void bytesReceived(qint64 /*bytes*/) {}
        // `name` is neither a file nor a folder; `error` is the download's text.
        virtual void nameFailed(const QString &name, const QString &error) = 0;
        // A listed name that would leave the chosen folder; nothing was written for it.
        virtual void nameRefused(const QString &name) = 0;
        // A queued folder that cannot be entered; nothing below it was copied.
        virtual void folderFailed(const Folder &folder, const QString &error) = 0;
        // A folder that was entered but cannot be listed.
        virtual void listingFailed(const Folder &folder, const QString &error) = 0;
        // Entering or listing `folder` failed on try `attempt` with `e`: true when the copy is to
        // try once more (after the hook's pause); by default never.
        virtual bool retryFolder(const Folder & /*folder*/, int /*attempt*/, const EcvbComponent & /*e*/)
        {
            return false;
        }
        // A folder below the depth limit was met (told once a copy).
        virtual void depthLimitReached(const QString &remotePath) = 0;
        // One of the fixed pauses (before a folder, around its listing, after a file); by default
        // the pacing helper's, which keeps the event loop running.
        virtual void pause(int ms);
    };

    TreeCopy(TcvbFTP &ftp, Hooks &hooks, const QString &localBase,
             TreeCopyOptions options = TreeCopyOptions());

    // Queues a remote folder whose copy goes to `relative` below the local base. False, with
    // nothing queued, when that place would leave the local base.
    bool queue(const QString &remotePath, const QString &relative)
    {
        return m_work.queue(remotePath, relative);
    }
    bool isEmpty() const { return m_work.isEmpty(); }

    // Files then go to these connections rather than through the hooks' copyFile (which still
    // fetches what no connection takes). The hooks are told of every name in the order of the
    // work list, whichever connection finishes first.
    void setTransfers(FileTransfers *transfers);

    // Copies every queued folder, and the folders found in them, until the list is empty or
    // the hooks say stop. Errors of the component other than those of a folder or a name
    // (EcvbFTP) are raised.
    void run();

private:
    using Job = FileTransfers::Job;
    using Outcome = FileTransfers::Outcome;

    void folderStep(const Folder &folder);
    // Runs a step of `folder` (entering or listing it) until it succeeds or the hooks want no
    // further try; false, with `failed` told in `place`, when it failed for good.
    bool withRetries(const Folder &folder, quint64 place, const std::function<void()> &step,
                     void (Hooks::*failed)(const Folder &, const QString &));
    void copyEntry(const Folder &folder, const QString &namesBelow, const ftp::ListedEntry &entry);
    // Fetches a job's file on the copy's own connection and says what became of it.
    Outcome fetchHere(const Job &job);
    void outcome(const Job &job, const Outcome &outcome);
    void queueFolder(const Folder &parent, const QString &parentRemote, const QString &name);
    // Reports in the order of the work list: each step reserves its place, and what it has to
    // tell is told once every earlier place has been told.
    quint64 reserve() { return m_nextId++; }
    void tell(quint64 id, std::function<void()> report);
    void tellNow(std::function<void()> report) { tell(reserve(), std::move(report)); }
    // After a stop: what is known is told, in order, the places never filled are passed over.
    void tellTheRest();

    TcvbFTP &m_ftp;
    Hooks &m_hooks;
    TreeCopyOptions m_options;
    FolderWorkList m_work;
    FileTransfers *m_transfers = nullptr;
    bool m_depthLimitTold = false;
    quint64 m_nextId = 0;
    quint64 m_nextToTell = 0;
    std::map<quint64, std::function<void()>> m_untold;
};

} // namespace cvb
