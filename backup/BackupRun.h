// One backup of one profile, without a window: the log-on and transfer steps that the worker
// hands to the main thread, the breadth-first copy of its folder sources, the outcome flags, the
// log rows and the report mail. It owns the two FTP components (one copies, the other tells
// folders from files), the dial-up component, its cursors and its lists. The backup window shows
// what it reports; a test can run it with no window at all.
#pragma once

#include "backup/BackupProgress.h"
#include "data/ConnectionSettings.h"
#include "remote/FileFetch.h"
#include "scheduler/QueueMonitor.h"

#include <QHash>
#include <QObject>
#include <QSet>
#include <QString>
#include <QTimer>
#include <QStringList>

#include <functional>
#include <memory>

namespace cvb {

class Table;
class TcvbFTP;
class TcvbNetDial;
class TcvbNetCode;
class TcvbSMTP;
class SnapshotRun;
class TreeCopy;
class TransferPool;

class BackupRun : public QObject
{
    Q_OBJECT
public:
    // `queue` and `connection` are the main window's cursors (Table_Queue, and Table_Cnct on the
    // connection record); both outlive the run.
    BackupRun(Table &queue, Table &connection, QObject *parent = nullptr);
    ~BackupRun() override;

    // The showing step for the taken queue entry: opens the cursors, reads the connection
    // settings, dials when they ask for it and removes the entry from the queue. False when
    // that failed: its row is written and BackupOk is false.
    bool begin(const BackupRequest &request);

    // The values that the queue monitor hands over after the showing step.
    // `snapshot` says where the newest complete backup of the profile may be.
    void setBackupFolder(const QString &folder, const SnapshotPlan &snapshot = {})
    {
        WhereToMacB = folder;
        m_snapshotPlan = snapshot;
    }
    void setReport(bool email, bool detailed, const QString &recipient);

    // The worker's two steps; they run on the main thread.
    void LogonStep();
    void TransferStep();

    // The end of the run, once BackupDone is set or the worker has ended without it
    // (`workerError` is then what ended it): the missing row, then the report mail when one is
    // asked for. Errors of the mail are logged.
    void complete(const QString &workerError);

    // Why a backup stops before its end.
    enum class StopReason {
        ProgramEnding, // no report mail: the program is ending, and a mail server could hold it
        User,          // the user asked: the report mail goes as for any failed backup
    };

    // The running wait is interrupted, no further file or folder is started and nothing more
    // logs on; the backup logs that it was stopped and why, and counts as failed. Returns at once.
    void stop(StopReason reason = StopReason::ProgramEnding);
    bool isStopping() const { return m_stopRequested; }

    // How far the backup has got; read a few times a second by whoever shows it.
    BackupProgressSnapshot progress();
    // The first failure of a failed backup, as its log row says it.
    QString firstFailure() const { return m_firstFailure; }

    // Writes a log row of this backup, its uncut line in the profile's full log and, for a
    // detailed report, a line of the report mail.
    void BackupLog(const QString &message);

    QString profileName() const { return m_profile; }

    // What a backup came to: every file in its place, every file but those that vanished from the
    // server during the run, or not.
    enum class Result { Complete, CompleteExceptVanished, Failed };
    Result result() const;
    // The last row of a backup, which says which.
    QString resultRow() const;
    // The files that vanished, by remote path.
    QStringList vanished() const { return m_vanished; }
    bool BackupOk = false;
    bool BackupDone = false;

    TcvbFTP *FTP = nullptr;
    TcvbFTP *cvbFTP1 = nullptr;
    TcvbNetDial *cvbNetDial1 = nullptr;
    TcvbSMTP *SMTP1 = nullptr;
    TcvbNetCode *NetCode1 = nullptr;

signals:
    // Every log row as it is written.
    void logged(const QString &message);

private:
    class FolderHooks;

    void downloadSource(const QString &typed, TreeCopy &copy);
    // Logs on, trying again after a growing pause while the server answers as a busy one does.
    // Raises the last failure (EcvbFTP).
    void logOnWithRetries(const std::function<void(const QString &)> &log);
    // After a failure of try `attempt` of `what`: when it is worth another try, writes the row that
    // says so, pauses and returns true.
    bool mayTryAgain(const QString &what, int attempt, int code, const QString &error);
    // Fetches a file on the main connection, with the tries and the resumable files of this run.
    FetchResult fetchOnMain(const FetchRequest &request);
    QString singleFilePlace(const QString &source, const QString &localName) const;
    void createParentLevels(const QString &place);
    bool probe(const QString &remotePath);
    void logFailedName(const QString &exceptionMessage, const QString &name);
    // A file is in its place with its manifest line (`shown` names it in its row).
    void fileInPlace(const QString &localFile, const QString &shown, const FileRecord &record);
    // The manifest of a backup that went well, and the counts of the files and bytes.
    void finishSnapshot();
    // A download on the main connection begins: its bytes count from here.
    void fetchingOnMain(const QString &remotePath);
    QString stoppedMessage() const;
    void sendReport();
    // The transfer connections, as many as the settings ask for and the server is known to take.
    void startTransferConnections();
    // Logs them off; remembers a smaller number for a server that took fewer.
    void endTransferConnections();
    // One of the fixed pauses as the settings choose it (paced).
    int pauseMs(int ms) const;
    // Writes the rows held back to the log table.
    void flushLog();
    // Writes the held rows: to the full log in one write, then to the table in one batch.
    void writeHeldRows();
    // Rows wait at most this long, and at most this many, before they are written.
    static constexpr int kLogFlushMs = 250;
    static constexpr int kHeldRowsAtMost = 200;

    Table &m_queue;
    Table &m_connection;
    Table *Table_Files = nullptr;
    Table *Table_Log = nullptr;
    ConnectionSettings m_settings; // read from the connection record when the run begins
    QString m_profile;
    QString WhereToMacB;
    bool m_email = false;
    bool m_detailed = false;
    QString m_recipient;
    QStringList m_reportLines;
    QStringList lFiles;
    // The folder the log-on landed in: sources typed without a leading "/" are below it.
    QString m_logOnFolder;
    // Places below the backup folder taken by the file sources of this run.
    QSet<QString> m_singleFilePlaces;
    bool m_stopRequested = false;
    // The probe connection was turned away at log-on: the main connection probes instead.
    bool m_probeOnMain = false;
    StopReason m_stopReason = StopReason::ProgramEnding;
    bool m_programEnding = false;
    BackupProgress m_progress;
    QString m_mainFile;                   // the file the main connection fetches
    qint64 m_mainBytes = 0;               // its bytes so far
    qint64 m_mainSize = -1;               // its size as listed, -1 when not known
    QHash<QString, qint64> m_listedSizes; // files listed and not yet begun, by remote path
    QString m_firstFailure;
    bool m_fullLogFailed = false;
    QStringList m_heldFullLog; // the full log's lines of the held rows, written with them
    bool m_pauses = true;
    int m_connectionsAsked = 0;
    SnapshotPlan m_snapshotPlan;
    // While a backup runs that fetches only what changed; the transfer connections read it, so it
    // outlives the pool.
    std::unique_ptr<SnapshotRun> m_snapshot;
    qint64 m_networkBytes = 0; // of the files, every try together
    std::unique_ptr<TransferPool> m_pool;
    RetryPolicy m_retryPolicy;
    ResumableParts m_parts; // left by earlier runs in the backup folder
    QStringList m_vanished;
    QTimer m_logFlush; // writes held rows once no further row has come for a moment
};

} // namespace cvb
