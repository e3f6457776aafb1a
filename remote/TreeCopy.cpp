#include "remote/TreeCopy.h"

#include "component/Component.h"
#include "data/Pacing.h"
#include "ftp/FolderListing.h"
#include "ftp/FtpClient.h"

namespace cvb {

ListedName classifyListedName(const QString &name)
{
    if (name.isEmpty() || isSelfOrParentEntry(name) || name.endsWith(QLatin1String("/.")) ||
        name.endsWith(QLatin1String("/..")))
        return ListedName::Skip;
    if (name.contains(QLatin1Char('/')) || name.contains(QLatin1Char('\0')))
        return ListedName::Refuse;
    return ListedName::Copy;
}

bool staysInsideBackupFolder(const QString &relativePath)
{
    if (relativePath.startsWith(QLatin1Char('/')))
        return false;
    const QStringList levels = relativePath.split(QLatin1Char('/'));
    return !levels.contains(QStringLiteral(".."));
}

std::optional<QString> localPlace(const QString &folder, const QString &name, bool *refused)
{
    const ListedName verdict = classifyListedName(name);
    const bool leaves =
        verdict == ListedName::Refuse || (verdict == ListedName::Copy && !staysInsideBackupFolder(name));
    if (refused)
        *refused = leaves;
    if (leaves || verdict != ListedName::Copy)
        return std::nullopt;
    return folder.endsWith(QLatin1Char('/')) ? folder + name : folder + QLatin1Char('/') + name;
}

QString remoteChild(const QString &folder, const QString &name)
{
    return folder.endsWith(QLatin1Char('/')) ? folder + name : folder + QLatin1Char('/') + name;
}

QString relativeChild(const QString &relative, const QString &name)
{
    return relative.isEmpty() ? name : relative + QLatin1Char('/') + name;
}

void TreeCopy::Hooks::pause(int ms)
{
    paceWithEvents(ms);
}

bool FolderWorkList::queue(const QString &remotePath, const QString &relative, int depth)
{
    if (!staysInsideBackupFolder(relative))
        return false;
    m_folders.push_back({remotePath, relative, depth});
    return true;
}

bool FolderWorkList::queueBelow(const Folder &parent, const QString &parentRemote, const QString &name)
{
    if (holdsTooDeep(parent) || !localPlace(m_localBase, name))
        return false;
    return queue(remoteChild(parentRemote, name), relativeChild(parent.relative, name), parent.depth + 1);
}

FolderWorkList::Folder FolderWorkList::takeFirst()
{
    Folder folder = m_folders.front();
    m_folders.pop_front();
    return folder;
}

QString FolderWorkList::localFolder(const Folder &folder) const
{
    if (folder.relative.isEmpty())
        return m_localBase;
    return m_localBase.endsWith(QLatin1Char('/')) ? m_localBase + folder.relative
                                                  : m_localBase + QLatin1Char('/') + folder.relative;
}

TreeCopy::TreeCopy(TcvbFTP &ftp, Hooks &hooks, const QString &localBase, TreeCopyOptions options)
    : m_ftp(ftp), m_hooks(hooks), m_options(options), m_work(localBase)
{
}

void TreeCopy::setTransfers(FileTransfers *transfers)
{
    m_transfers = transfers;
    if (m_transfers)
        m_transfers->setDone([this](const Job &job, const Outcome &result) { outcome(job, result); });
}

void TreeCopy::run()
{
    while (!m_hooks.stopped()) {
        if (!m_work.isEmpty()) {
            m_hooks.pause(1000);
            if (m_hooks.stopped())
                break;
            folderStep(m_work.takeFirst());
        } else if (m_transfers && m_transfers->busy()) {
            // The folders are all listed: the copy's own connection, idle now, fetches what
            // still waits its turn; the files in flight may still turn out to be folders.
            Job job;
            if (m_transfers->takeWaiting(&job))
                outcome(job, fetchHere(job));
            else
                m_transfers->waitForOutcome();
        } else {
            break;
        }
    }
    if (m_transfers) {
        if (m_hooks.stopped())
            m_transfers->stop();
        m_transfers->setDone({});
    }
    tellTheRest();
}

void TreeCopy::tell(quint64 id, std::function<void()> report)
{
    m_untold.emplace(id, std::move(report));
    // A report may start another copy step (a folder queued) but never re-enters here with an
    // earlier place: places are handed out in order and told in order.
    while (!m_untold.empty() && m_untold.begin()->first == m_nextToTell) {
        const std::function<void()> next = std::move(m_untold.begin()->second);
        m_untold.erase(m_untold.begin());
        ++m_nextToTell;
        next();
    }
}

void TreeCopy::tellTheRest()
{
    while (!m_untold.empty()) {
        const std::function<void()> next = std::move(m_untold.begin()->second);
        m_nextToTell = m_untold.begin()->first + 1;
        m_untold.erase(m_untold.begin());
        next();
    }
    m_nextToTell = m_nextId;
}

void TreeCopy::folderStep(const Folder &folder)
{
    const quint64 place = reserve();
    if (m_options.localFolderFirst && !m_hooks.makeLocalFolder(m_work.localFolder(folder))) {
        tell(place, [] {});
        return;
    }
    QString serverPath = folder.remotePath;
    // Every queued folder was found to be one: a folder that cannot be entered now leaves
    // everything below it uncopied.
    const bool entered = withRetries(
        folder, place,
        [this, &folder, &serverPath] {
            m_ftp.SetRemotePath(folder.remotePath);
            // The server's answer shows in the trace, and the live session names its files by it.
            if (m_options.namesBelowServerPath)
                serverPath = m_ftp.RemotePath();
        },
        &Hooks::folderFailed);
    if (!entered)
        return;
    m_hooks.folderEntered(folder, serverPath);
    if (!m_options.localFolderFirst && !m_hooks.makeLocalFolder(m_work.localFolder(folder))) {
        tell(place, [] {});
        return;
    }

    // A listing tried again lists the folder it was in: names are joined to the path that was
    // asked for, and a connection that was lost returns to it.
    FolderEntries listing;
    bool stoppedFirst = false;
    const bool listed = withRetries(
        folder, place,
        [this, &listing, &stoppedFirst] {
            m_ftp.SetRemoteFile(QString());
            m_hooks.pause(1000);
            stoppedFirst = m_hooks.stopped();
            if (stoppedFirst)
                return;
            listing = m_hooks.listCurrentFolder();
            m_hooks.pause(1000);
        },
        &Hooks::listingFailed);
    if (!listed)
        return;
    if (stoppedFirst) {
        tell(place, [] {});
        return;
    }
    tell(place, [] {});
    const QString namesBelow = m_options.namesBelowServerPath ? serverPath : folder.remotePath;
    for (const ftp::ListedEntry &entry : std::as_const(listing.entries)) {
        if (m_hooks.stopped())
            return;
        copyEntry(folder, namesBelow, entry);
    }
}

bool TreeCopy::withRetries(const Folder &folder, quint64 place, const std::function<void()> &step,
                           void (Hooks::*failed)(const Folder &, const QString &))
{
    for (int attempt = 1;; ++attempt) {
        try {
            step();
            return true;
        } catch (const EcvbFTP &e) {
            if (!m_hooks.stopped() && m_hooks.retryFolder(folder, attempt, e))
                continue;
            tell(place, [this, folder, error = e.Message(), failed] {
                if (!m_hooks.stopped())
                    (m_hooks.*failed)(folder, error);
            });
            return false;
        }
    }
}

void TreeCopy::copyEntry(const Folder &folder, const QString &namesBelow, const ftp::ListedEntry &entry)
{
    const QString &name = entry.name;
    switch (classifyListedName(name)) {
    case ListedName::Skip:
        return;
    case ListedName::Refuse:
        tellNow([this, name] { m_hooks.nameRefused(name); });
        return;
    case ListedName::Copy:
        break;
    }
    if (m_options.manifestAtTop && folder.relative.isEmpty() && name == ManifestFileName) {
        tellNow([this, name] { m_hooks.nameRefused(name); });
        return;
    }
    if (entry.type == ftp::EntryType::Folder) {
        // The listing says so: no download is tried.
        const quint64 place = reserve();
        queueFolder(folder, namesBelow, name);
        tell(place, [] {});
        return;
    }
    Job job;
    job.id = reserve();
    job.name = name;
    job.remotePath = remoteChild(namesBelow, name);
    job.localFile = m_work.localFolder(folder) + QLatin1Char('/') + name;
    job.mayBeFolder = entry.type != ftp::EntryType::File;
    job.size = entry.size;
    if (entry.modifiedExact)
        job.modified = entry.modified;
    job.parent = folder;
    job.parentRemote = namesBelow;
    m_hooks.fileListed(job.remotePath, job.size);
    Outcome taken;
    if (m_hooks.takeOverListed(job, &taken)) {
        taken.kind = Outcome::Copied;
        outcome(job, taken);
    } else if (m_transfers && m_transfers->accepting())
        m_transfers->submit(job);
    else
        outcome(job, fetchHere(job));
}

TreeCopy::Outcome TreeCopy::fetchHere(const Job &job)
{
    Outcome details;
    switch (m_hooks.copyFile(job, &details)) {
    case FileResult::Copied:
        // The pause paces downloads: a file taken over unchanged crossed no network.
        if (!details.record.unchanged)
            m_hooks.pause(500);
        details.kind = Outcome::Copied;
        return details;
    case FileResult::LocalFailed:
        // Reported by the hook.
        details.kind = Outcome::Reported;
        return details;
    case FileResult::Vanished:
        details.kind = Outcome::Vanished;
        return details;
    case FileResult::RemoteFailed:
        break;
    }
    details.kind = Outcome::Failed;
    if (m_hooks.stopped() || !job.mayBeFolder)
        return details;
    if (m_hooks.isFolder(job.remotePath))
        details.kind = Outcome::IsFolder;
    else if (m_hooks.hasVanished(job.remotePath))
        details.kind = Outcome::Vanished;
    return details;
}

void TreeCopy::outcome(const Job &job, const Outcome &result)
{
    if (result.received > 0)
        m_hooks.bytesReceived(result.received);
    // The notes of the way come just before what became of the file.
    const auto tellFile = [this, &job, notes = result.notes](std::function<void()> report) {
        tell(job.id, [this, notes, report = std::move(report)] {
            for (const QString &text : notes)
                m_hooks.note(text);
            report();
        });
    };
    switch (result.kind) {
    case Outcome::Copied:
        tellFile([this, file = job.localFile, record = result.record] {
            if (record.recorded)
                m_hooks.fileRecorded(file, record);
            if (!record.unchanged)
                m_hooks.fileCopied(file);
        });
        return;
    case Outcome::Failed:
        tellFile([this, name = job.name, error = result.error] {
            if (!m_hooks.stopped())
                m_hooks.nameFailed(name, error);
        });
        return;
    case Outcome::Vanished:
        tellFile([this, path = job.remotePath, error = result.error] {
            if (!m_hooks.stopped())
                m_hooks.nameVanished(path, error);
        });
        return;
    case Outcome::IsFolder:
        queueFolder(job.parent, job.parentRemote, job.name);
        tellFile([] {});
        return;
    case Outcome::Reported:
        tellFile([] {});
        return;
    case Outcome::NotTaken:
        break;
    }
    // Handed back by the connections: fetched on the copy's own connection.
    if (m_hooks.stopped()) {
        tell(job.id, [] {});
        return;
    }
    const Outcome fetched = fetchHere(job);
    outcome(job, fetched.kind == Outcome::NotTaken ? Outcome{Outcome::Reported, {}, {}, 0, {}} : fetched);
}

void TreeCopy::queueFolder(const Folder &parent, const QString &parentRemote, const QString &name)
{
    if (FolderWorkList::holdsTooDeep(parent)) {
        // Told once: a link back up (www -> .) meets the limit in every branch.
        if (!m_depthLimitTold) {
            m_depthLimitTold = true;
            tellNow([this, path = remoteChild(parentRemote, name)] { m_hooks.depthLimitReached(path); });
        }
        return;
    }
    m_work.queueBelow(parent, parentRemote, name);
}

} // namespace cvb
