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

namespace {

// The lines of one listing action, gathered apart from the component's own handler.
QStringList listingLines(TcvbFTP &ftp, int action, const QString &argument)
{
    QStringList lines;
    const TDirListEvent handler = ftp.OnDirList;
    const auto restore = qScopeGuard([&] {
        ftp.OnDirList = handler;
        ftp.SetRemoteFile(QString());
    });
    ftp.OnDirList = [&lines](QObject *, const QString &line) { lines << line; };
    ftp.SetRemoteFile(argument);
    ftp.SetAction(action);
    return lines;
}

} // namespace

FolderEntries listFolderEntries(TcvbFTP &ftp, const QDateTime &nowUtc)
{
    if (ftp.Features().mlsd) {
        const ftp::Listing listing = ftp::parseMlsd(listingLines(ftp, ftpListMachine, QString()));
        if (listing.allParsed)
            return {listing.entries, true};
    } else {
        const auto longListing = [&](const QString &argument, ftp::Listing *listing) {
            try {
                *listing = ftp::parseList(listingLines(ftp, ftpListDirectoryLong, argument), nowUtc);
                return true;
            } catch (const EcvbFTP &e) {
                if (e.Code() == CIPPortMsg::kInterrupted)
                    throw;
                return false;
            }
        };
        ftp::Listing listing;
        bool listed = longListing(QStringLiteral("-a"), &listing);
        // A server that takes "-a" for a name refuses it, or answers with nothing at all: an
        // empty folder is believed only when the plain listing says so too.
        if (!listed || (listing.allParsed && listing.entries.isEmpty()))
            listed = longListing(QString(), &listing);
        if (listed && listing.allParsed)
            return {listing.entries, true};
    }
    // Lines this client cannot read: the names alone, each to be found out by trying it.
    QStringList names;
    const TDirListEvent handler = ftp.OnDirList;
    const auto restore = qScopeGuard([&] { ftp.OnDirList = handler; });
    ftp.OnDirList = [&names](QObject *, const QString &line) { names << line; };
    listFolderWithDotFiles(ftp, [&names] { names.clear(); });
    return untypedEntries(names);
}

ftp::EntryType entryTypeOf(TcvbFTP &ftp, const QString &path)
{
    if (!ftp.Features().mlsd)
        return ftp::EntryType::Unknown;
    try {
        ftp.SetRawCommand(QStringLiteral("MLST ") + path);
        ftp.SetAction(ftpRawCommand);
    } catch (const EcvbFTP &e) {
        if (e.Code() == CIPPortMsg::kInterrupted)
            throw;
        return ftp::EntryType::Unknown;
    }
    // "250-Listing path", then the facts of the path on a line led by one blank, then "250 End".
    for (const QByteArray &line : ftp.ReplyLines()) {
        if (!line.startsWith(' '))
            continue;
        const ftp::ParsedLine parsed = ftp::parseMlsdLine(QString::fromUtf8(line.mid(1)));
        if (parsed.kind == ftp::LineKind::Entry &&
            (parsed.entry.type == ftp::EntryType::File || parsed.entry.type == ftp::EntryType::Folder))
            return parsed.entry.type;
    }
    return ftp::EntryType::Unknown;
}

FolderEntries untypedEntries(const QStringList &names)
{
    FolderEntries result;
    for (const QString &name : names) {
        ftp::ListedEntry entry;
        entry.name = name;
        result.entries << entry;
    }
    return result;
}

bool isSelfOrParentEntry(const QString &entry)
{
    return entry == QLatin1String(".") || entry == QLatin1String("..");
}

} // namespace cvb
