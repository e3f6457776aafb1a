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

TreeCopy::TreeCopy(TcvbFTP &ftp, Hooks &hooks, const QString &localBase, TreeCopyOptions options)
    : m_ftp(ftp), m_hooks(hooks), m_localBase(localBase), m_options(options)
{
}

bool TreeCopy::queue(const QString &remotePath, const QString &relative, int depth)
{
    if (!staysInsideBackupFolder(relative))
        return false;
    m_folders.push_back({remotePath, relative, depth});
    return true;
}

QString TreeCopy::localFolder(const Folder &folder) const
{
    return folder.relative.isEmpty() ? m_localBase : m_localBase + QLatin1Char('/') + folder.relative;
}

void TreeCopy::run()
{
    while (!m_folders.empty() && !m_hooks.stopped()) {
        m_hooks.pause(1000);
        if (m_hooks.stopped())
            break;
        const Folder folder = m_folders.front();
        m_folders.pop_front();
        folderStep(folder);
    }
}

void TreeCopy::folderStep(const Folder &folder)
{
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
    // The local folder is made once the remote one has been entered: a name that is no folder
    // never leaves an empty folder where its file belongs.
    if (!m_hooks.makeLocalFolder(localFolder(folder)))
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
    const QString localFile = localFolder(folder) + QLatin1Char('/') + name;
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
    if (folder.depth >= kMaxFolderDepth) {
        // Told once: a link back up (www -> .) meets the limit in every branch.
        if (!m_depthLimitTold) {
            m_depthLimitTold = true;
            m_hooks.depthLimitReached(path);
        }
        return;
    }
    m_folders.push_back({path, relativeChild(folder.relative, name), folder.depth + 1});
}

} // namespace cvb
