// How the current remote folder is listed wherever its names are used (the backup's folder
// copies, the remote browser): names that begin with "." (a site's .htaccess) are asked for with
// "-a", and a server that refuses the argument is asked again without it.
#pragma once

#include "ftp/ListingParser.h"

#include <QString>
#include <functional>

namespace cvb {

class TcvbFTP;

// Lists the current folder of `ftp` through its OnDirList event. When the listing with "-a"
// fails, `discardEntries` is called to drop what that attempt delivered before the folder is
// listed again without the argument; an error of that second listing is raised (EcvbFTP).
// RemoteFile is empty afterwards.
void listFolderWithDotFiles(TcvbFTP &ftp, const std::function<void()> &discardEntries);

// The entries of the current folder of `ftp`, with what the server tells of each (type, size,
// time): MLSD when the server offers it; else LIST -a, read line by line; else, when lines of it
// cannot be read, the names of listFolderWithDotFiles, each of unknown type. `typed` tells that
// the types came from the server. The component's OnDirList handler is not called. An error of
// the last listing tried is raised (EcvbFTP).
struct FolderEntries
{
    QList<ftp::ListedEntry> entries;
    bool typed = false;
};
FolderEntries listFolderEntries(TcvbFTP &ftp, const QDateTime &nowUtc);

// What `path` is, by the server's answer to MLST where FEAT offers it: File, Folder, or
// Unknown (no MLST, a refusal, or an answer this client cannot read). Raises nothing but an
// interrupted wait (EcvbFTP).
ftp::EntryType entryTypeOf(TcvbFTP &ftp, const QString &path);

// Listed names of which nothing else is known.
FolderEntries untypedEntries(const QStringList &names);

// True for "." and "..": the folder itself and its parent, which some servers add to a listing
// with "-a". They name no entry of the folder.
bool isSelfOrParentEntry(const QString &entry);

} // namespace cvb
