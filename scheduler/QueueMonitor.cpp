#include "scheduler/QueueMonitor.h"

#include "data/Clock.h"
#include "data/Filter.h"
#include "data/Table.h"
#include "scheduler/BackupFolder.h"
#include "scheduler/TimersPaused.h"

#include <QTimer>

#include <exception>

namespace cvb {

QueueMonitor::QueueMonitor(QueueMonitorWiring wiring) : m_wiring(std::move(wiring))
{
}

void QueueMonitor::QueueMonitorTimer()
{
    Table &queue = *m_wiring.queue;
    queue.refresh();
    if (queue.isEmpty())
        return;
    TimersPaused paused{m_wiring.timer};
    try {
        startNewestEntry();
    } catch (const std::exception &e) {
        // A table that fails ends this tick; the next tick tries again.
        try {
            m_wiring.eventLog(QStringLiteral("EXCEPTION: ") + QString::fromLocal8Bit(e.what()));
        } catch (const std::exception &) {
            // The log table itself fails: there is nowhere left to report it.
        }
    }
}

void QueueMonitor::startNewestEntry()
{
    Table &queue = *m_wiring.queue;
    Table &profiles = *m_wiring.profilesLookup;
    Table &files = *m_wiring.filesLookup;

    queue.last();
    BackupRequest request;
    request.profile = queue.asString(QStringLiteral("PROFILE"));
    request.queueRecNo = queue.recNo();
    m_wiring.setCurrentProfile(request.profile);

    profiles.refresh();
    if (!profiles.locate(QStringLiteral("PROFILE"), request.profile)) {
        removeQueueEntry(queue, request.queueRecNo);
        m_wiring.eventLog(
            QStringLiteral("The queued profile no longer exists; its queue entry was removed."));
        return;
    }
    m_wiring.eventLog(QStringLiteral("Begining backup profile ") + request.profile);
    files.refresh();
    files.setFilter(profileFilter(request.profile));
    files.setFiltered(true);
    // Read right after locating: the event monitor moves this cursor on its own ticks.
    request.email = profiles.asBool(QStringLiteral("EMAIL"));
    request.detailed = profiles.asBool(QStringLiteral("DETAI_EMAI"));
    request.recipient = profiles.asString(QStringLiteral("EM_ADDR"));
    prepareFolder(request);

    m_wiring.startBackup(request);
    m_wiring.clearStatus();
}

void QueueMonitor::prepareFolder(BackupRequest &request)
{
    Table &profiles = *m_wiring.profilesLookup;
    try {
        const QString targetLoc = profiles.asString(QStringLiteral("TARGET_LOC"));
        const bool rotateDir = profiles.asBool(QStringLiteral("ROTATE_DIR"));
        const bool dateStamped = profiles.asBool(QStringLiteral("DTSTAMP_DI"));
        const BackupFolderPlan plan = planBackupFolder(
            targetLoc, rotateDir, dateStamped, profiles.asString(QStringLiteral("LASTDIR")), Clock::now());
        request.folder = plan.folder;
        request.snapshot.baseFolders = baseFolderCandidates(targetLoc, rotateDir, dateStamped);
        // With a rotation letter that cannot be read the folder is the target itself.
        request.snapshot.ownFolder = plan.createFolder && plan.folder != targetFolderBase(targetLoc);
        if (plan.newLastDir) {
            profiles.edit();
            profiles.setString(QStringLiteral("LASTDIR"), *plan.newLastDir);
            profiles.post();
        }
        if (!plan.createFolder)
            return;
        if (createFolderLevel(plan.folder))
            m_wiring.eventLog(QStringLiteral("New subfolder ") + plan.folder +
                              QStringLiteral(" sucessfully created."));
        else
            m_wiring.eventLog(QStringLiteral("WARNING - New subfolder ") + plan.folder +
                              QStringLiteral(" could not be created."));
    } catch (const std::exception &) {
        m_wiring.eventLog(QStringLiteral("Preliminary backup startup failed"));
    }
}

bool removeQueueEntry(Table &queue, int recNo)
{
    for (queue.first(); !queue.eof(); queue.next()) {
        if (queue.recNo() == recNo) {
            queue.deleteRecord();
            return true;
        }
    }
    return false;
}

} // namespace cvb
