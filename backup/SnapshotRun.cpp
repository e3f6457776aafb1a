#include "backup/SnapshotRun.h"

#include "data/Clock.h"

#include <QDir>
#include <QFile>

namespace cvb {

SnapshotRun::SnapshotRun(const QString &folder, const SnapshotPlan &plan, const QString &profile,
                         const QString &server)
    : m_folder(folder), m_plan(plan)
{
    SnapshotBase base;
    base.folder = newestCompleteBackup(plan.baseFolders, profile, &base.manifest);
    m_baseFolder = base.folder;
    // A folder that is overwritten in place is its own base: read first, then no longer complete.
    removeManifest(folder);
    m_snapshot = std::make_unique<const Snapshot>(folder, std::move(base));
    m_manifest.profile = profile;
    m_manifest.server = server;
}

void SnapshotRun::recorded(const QString &localFile, const FileRecord &record)
{
    if (!record.recorded)
        return;
    const QString relative = m_snapshot->relativePath(localFile);
    m_manifest.files.insert(relative, record.entry);
    if (record.unchanged)
        m_takenOver.insert(relative);
    else
        m_takenOver.remove(relative);
    ++(record.unchanged ? m_unchanged : m_downloaded);
}

bool SnapshotRun::finish(QStringList *rows)
{
    // Every file written is read back once (one taken over has its size checked); a folder of
    // the backup's own is also searched for what the server no longer has (a rotation folder used
    // before still holds it).
    const FolderCheck check = checkFolder(m_folder, m_manifest, m_plan.ownFolder, m_takenOver);
    for (const QString &gone : check.extra) {
        if (QFile::remove(QDir(m_folder).filePath(gone)))
            *rows << QStringLiteral("Removed ") + gone + QStringLiteral(": the server no longer has it.");
    }
    for (const QString &path : check.missing)
        *rows << QStringLiteral("EXCEPTION: ") + path + QStringLiteral(" is missing from the backup folder.");
    for (const QString &path : check.changed)
        *rows << QStringLiteral("EXCEPTION: ") + path +
                     QStringLiteral(" in the backup folder differs from what was fetched.");
    if (!check.missing.isEmpty() || !check.changed.isEmpty())
        return false;
    m_manifest.written = Clock::now().toUTC();
    const QString error = writeManifest(m_folder, m_manifest);
    if (!error.isEmpty()) {
        *rows << QStringLiteral("EXCEPTION: ") + error;
        return false;
    }
    return true;
}

} // namespace cvb
