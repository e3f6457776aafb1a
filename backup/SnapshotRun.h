// One backup's part in fetching only what changed: before the transfers it finds the newest
// complete backup of the profile and marks its own folder incomplete; during them it collects, on
// the main thread, the manifest line of every file in place; at the end of a backup that went
// well it removes what the server no longer has from a folder of its own, reads every file it
// wrote back against the new manifest and writes it last.
#pragma once

#include "remote/Manifest.h"
#include "remote/Snapshot.h"
#include "scheduler/BackupFolder.h"

#include <QString>
#include <QStringList>

#include <memory>

namespace cvb {

class SnapshotRun
{
public:
    // `folder` is the backup folder. Reads the base among the plan's folders and removes the
    // folder's own manifest: from here on it is incomplete until the new one is written.
    SnapshotRun(const QString &folder, const SnapshotPlan &plan, const QString &profile,
                const QString &server);

    // For the connections that fetch; lives as long as this run.
    const Snapshot *snapshot() const { return m_snapshot.get(); }
    // The folder the unchanged files come from; empty when there is none.
    QString baseFolder() const { return m_baseFolder; }

    // A file is in its place (main thread).
    void recorded(const QString &localFile, const FileRecord &record);

    int downloaded() const { return m_downloaded; }
    int unchanged() const { return m_unchanged; }

    // The end of a backup that went well: what the server no longer has leaves a folder of the
    // backup's own, every file is read back, and the manifest is written. The rows to log: the
    // files that were removed, and on failure an "EXCEPTION: " row for each file that does not
    // agree or for the manifest that could not be written. False when the backup failed by it.
    bool finish(QStringList *rows);

private:
    QString m_folder;
    SnapshotPlan m_plan;
    QString m_baseFolder;
    std::unique_ptr<const Snapshot> m_snapshot;
    Manifest m_manifest;
    int m_downloaded = 0;
    int m_unchanged = 0;
    QSet<QString> m_takenOver; // relative paths of the files taken over from the base
};

} // namespace cvb
