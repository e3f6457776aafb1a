// The queue monitor: the main window's second timer. Each tick takes the newest queue entry,
// prepares the folder into which its backup goes and hands the backup over to a backup window.
#pragma once

#include "scheduler/BackupFolder.h"

#include <QString>

#include <functional>

class QTimer;

namespace cvb {

class Table;

// What a backup window needs to run the backup of one taken queue entry.
struct BackupRequest
{
    QString profile;    // PROFILE of the taken entry
    int queueRecNo = 0; // record number of the taken entry: the one the window removes
    QString folder;     // the backup folder
    bool email = false; // EMAIL: send a report
    bool detailed = false;
    QString recipient; // EM_ADDR
    SnapshotPlan snapshot;
};

// The main window's parts that the queue monitor works with.
struct QueueMonitorWiring
{
    Table *queue = nullptr;          // Table_Queue
    Table *profilesLookup = nullptr; // Table_ProfilesLKUP
    Table *filesLookup = nullptr;    // Table_FilesLKUP
    QTimer *timer = nullptr;         // QueueMonitor (10000 ms)
    std::function<void(const QString &)> setCurrentProfile;
    std::function<void(const QString &)> eventLog; // EventLog of the main window
    std::function<void()> clearStatus;             // empties panel 0 of the status bar
    // Creates the backup window for the request and starts its worker. An error in there
    // stays in there: the window is freed and the tick goes on.
    std::function<void(const BackupRequest &)> startBackup;
};

// Deletes the queue record with that record number, wherever the cursor stands and whatever was
// added since it was taken. False when it is gone already.
bool removeQueueEntry(Table &queue, int recNo);

class QueueMonitor
{
public:
    explicit QueueMonitor(QueueMonitorWiring wiring);

    // One tick of the timer.
    void QueueMonitorTimer();

private:
    void startNewestEntry();
    void prepareFolder(BackupRequest &request);

    QueueMonitorWiring m_wiring;
};

} // namespace cvb
