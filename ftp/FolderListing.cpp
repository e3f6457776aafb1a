#include "ftp/FolderListing.h"

#include "ftp/FtpClient.h"

#include <QScopeGuard>

namespace cvb {

void listFolderWithDotFiles(TcvbFTP &ftp, const std::function<void()> &discardEntries)
{
    const auto clearArgument = qScopeGuard([&ftp] { ftp.SetRemoteFile(QString()); });
    try {
        ftp.SetRemoteFile(QStringLiteral("-a"));
        ftp.SetAction(ftpListDirectory);
        return;
    } catch (const EcvbFTP &e) {
        // An interrupted or timed-out listing says nothing about "-a": asking again would only
        // wait once more.
        if (e.Code() == CIPPortMsg::kInterrupted)
            throw;
        // The server knows no "-a" (or took it for a name): the plain listing follows.
    }
    discardEntries();
    ftp.SetRemoteFile(QString());
    ftp.SetAction(ftpListDirectory);
}

bool isSelfOrParentEntry(const QString &entry)
{
    return entry == QLatin1String(".") || entry == QLatin1String("..");
}

} // namespace cvb
