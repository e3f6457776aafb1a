// How the current remote folder is listed wherever its names are used (the backup's folder
// copies, the remote browser): names that begin with "." (a site's .htaccess) are asked for with
// "-a", and a server that refuses the argument is asked again without it.
#pragma once

#include <QString>
#include <functional>

namespace cvb {

class TcvbFTP;

// Lists the current folder of `ftp` through its OnDirList event. When the listing with "-a"
// fails, `discardEntries` is called to drop what that attempt delivered before the folder is
// listed again without the argument; an error of that second listing is raised (EcvbFTP).
// RemoteFile is empty afterwards.
void listFolderWithDotFiles(TcvbFTP &ftp, const std::function<void()> &discardEntries);

// True for "." and "..": the folder itself and its parent, which some servers add to a listing
// with "-a". They name no entry of the folder.
bool isSelfOrParentEntry(const QString &entry);

} // namespace cvb
