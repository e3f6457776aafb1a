#include "ui/session/SessionRules.h"

#include "remote/TreeCopy.h"
#include "ui/browser/BrowserRules.h"

#include <QDir>

namespace cvb {

std::optional<QString> localPathOf(const QString &folder, const QString &name, bool *refused)
{
    const ListedName verdict = classifyListedName(name);
    const bool leaves =
        verdict == ListedName::Refuse || (verdict == ListedName::Copy && !staysInsideBackupFolder(name));
    if (refused)
        *refused = leaves;
    if (leaves || verdict != ListedName::Copy)
        return std::nullopt;
    return QDir(folder).filePath(name);
}

QString refusedNameLine(const QString &name)
{
    return QStringLiteral("ERR:Refused the name \"%1\": it would be written outside the local folder")
        .arg(name);
}

bool FolderDownload::queue(const QString &pathText, const QString &name)
{
    if (!localPathOf(DownloadBase, name))
        return false;
    SubfolderList.push_back({joinRemotePath(pathText, name), name, 0});
    return true;
}

bool FolderDownload::queue(const QString &pathText, const QString &name, const Folder &parent)
{
    if (holdsTooDeep(parent) || !localPathOf(DownloadBase, name))
        return false;
    SubfolderList.push_back({joinRemotePath(pathText, name), parent.relative + '/' + name, parent.depth + 1});
    return true;
}

QString FolderDownload::localFolder(const Folder &folder) const
{
    return QDir(DownloadBase).filePath(folder.relative);
}

} // namespace cvb
