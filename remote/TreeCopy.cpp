#include "remote/TreeCopy.h"

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

void TreeCopy::run()
{
    while (!m_work.isEmpty() && !m_hooks.stopped()) {
        m_hooks.pause(1000);
        if (m_hooks.stopped())
            break;
        folderStep(m_work.takeFirst());
    }
}

void TreeCopy::folderStep(const Folder &folder)
{
    if (m_options.localFolderFirst && !m_hooks.makeLocalFolder(m_work.localFolder(folder)))
        return;
    QString serverPath;
    try {
        m_ftp.SetRemotePath(folder.remotePath);
        serverPath = m_ftp.RemotePath(); // the server's answer shows in the trace
    } catch (const EcvbFTP &e) {
        // Every queued folder was found to be one: a folder that cannot be entered now leaves
        // everything below it uncopied.
        if (!m_hooks.stopped())
            m_hooks.folderFailed(folder, e.Message());
        return;
    }
    m_hooks.folderEntered(folder, serverPath);
    if (!m_options.localFolderFirst && !m_hooks.makeLocalFolder(m_work.localFolder(folder)))
        return;

    QStringList names;
    try {
        m_ftp.SetRemoteFile(QString());
        m_hooks.pause(1000);
        if (m_hooks.stopped())
            return;
        names = m_hooks.listCurrentFolder();
        m_hooks.pause(1000);
    } catch (const EcvbFTP &e) {
        if (!m_hooks.stopped())
            m_hooks.listingFailed(folder, e.Message());
        return;
    }
    const QString namesBelow = m_options.namesBelowServerPath ? serverPath : folder.remotePath;
    for (const QString &name : names) {
        if (m_hooks.stopped())
            return;
        copyName(folder, namesBelow, name);
    }
}

void TreeCopy::copyName(const Folder &folder, const QString &namesBelow, const QString &name)
{
    switch (classifyListedName(name)) {
    case ListedName::Skip:
        return;
    case ListedName::Refuse:
        m_hooks.nameRefused(name);
        return;
    case ListedName::Copy:
        break;
    }
    const QString localFile = m_work.localFolder(folder) + QLatin1Char('/') + name;
    QString error;
    switch (m_hooks.copyFile(name, localFile, &error)) {
    case FileResult::Copied:
        m_hooks.pause(500);
        m_hooks.fileCopied(localFile);
        return;
    case FileResult::LocalFailed:
        return;
    case FileResult::RemoteFailed:
        break;
    }
    if (m_hooks.stopped())
        return;
    const QString path = remoteChild(namesBelow, name);
    if (!m_hooks.isFolder(path)) {
        m_hooks.nameFailed(name, error);
        return;
    }
    if (FolderWorkList::holdsTooDeep(folder)) {
        // Told once: a link back up (www -> .) meets the limit in every branch.
        if (!m_depthLimitTold) {
            m_depthLimitTold = true;
            m_hooks.depthLimitReached(path);
        }
        return;
    }
    m_work.queueBelow(folder, namesBelow, name);
}

} // namespace cvb
