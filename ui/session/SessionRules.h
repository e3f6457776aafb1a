// The rules of the live session that need no window: where a remote name is written on the
// local disk, and the work list of a folder download (folders first in, first out, each with
// the local folder it is copied to and its depth below the dropped folder).
#pragma once

#include "ftp/FolderListing.h"

#include <QList>
#include <QString>
#include <optional>

namespace cvb {

// Where the listed remote `name` is written inside the local `folder`: the path joined with
// this system's separator, or nothing for a name that must not be copied. `refused` tells why
// there is nothing: true for a name that would leave the folder (absolute, with a separator or
// ".."), false for the folder itself or its parent.
std::optional<QString> localPathOf(const QString &folder, const QString &name, bool *refused = nullptr);

// The trace line for a name that would leave the chosen folder.
QString refusedNameLine(const QString &name);

// The remote folders of one download waiting to be copied, breadth first.
class FolderDownload
{
public:
    struct Folder
    {
        QString remotePath; // the remote folder to open
        QString relative;   // its local folder below DownloadBase ("images/icons")
        int depth = 0;      // levels below the dropped folder
    };

    // `downloadBase` is the local folder shown when the download started.
    explicit FolderDownload(const QString &downloadBase) : DownloadBase(downloadBase) {}

    // Queues the dropped entry `name`, met while `pathText` was shown, as a folder. False, with
    // nothing queued, for a name that may not be copied.
    bool queue(const QString &pathText, const QString &name);
    // Queues `name`, met while `pathText` was shown, as a folder below `parent`. False, with
    // nothing queued, for a name that may not be copied or when `parent` is as deep as a copy
    // goes (holdsTooDeep).
    bool queue(const QString &pathText, const QString &name, const Folder &parent);
    // True when the folders inside `folder` lie deeper below the dropped folder than a copy goes.
    static bool holdsTooDeep(const Folder &folder) { return folder.depth >= kMaxFolderDepth; }
    bool isEmpty() const { return SubfolderList.isEmpty(); }
    Folder takeFirst() { return SubfolderList.takeFirst(); }
    int size() const { return SubfolderList.size(); }

    QString downloadBase() const { return DownloadBase; }
    // The local folder a queued folder is copied to.
    QString localFolder(const Folder &folder) const;

private:
    QList<Folder> SubfolderList;
    QString DownloadBase;
};

} // namespace cvb
