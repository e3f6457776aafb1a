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

// The listing lines that `list` brings, gathered apart from the component's own handler;
// `list` gets the list to clear it when it lists again.
template <typename List> QStringList gatheredLines(TcvbFTP &ftp, List &&list)
{
    QStringList lines;
    const TDirListEvent handler = ftp.OnDirList;
    const auto restore = qScopeGuard([&] { ftp.OnDirList = handler; });
    ftp.OnDirList = [&lines](QObject *, const QString &line) { lines << line; };
    list(lines);
    return lines;
}

// The lines of one listing action with its argument.
QStringList listingLines(TcvbFTP &ftp, int action, const QString &argument)
{
    return gatheredLines(ftp, [&](QStringList &) {
        const auto clearArgument = qScopeGuard([&ftp] { ftp.SetRemoteFile(QString()); });
        ftp.SetRemoteFile(argument);
        ftp.SetAction(action);
    });
}

// Runs `action`: true when it succeeded, false when the server refused it. An interrupted or
// timed-out wait says nothing about the server's answer and is raised.
template <typename Action> bool unlessRefused(Action &&action)
{
    try {
        action();
        return true;
    } catch (const EcvbFTP &e) {
        if (e.Code() == CIPPortMsg::kInterrupted)
            throw;
        return false;
    }
}

} // namespace

FolderEntries listFolderEntries(TcvbFTP &ftp, const QDateTime &nowUtc)
{
    if (ftp.Features().mlsd) {
        const ftp::Listing listing = ftp::parseMlsd(listingLines(ftp, ftpListMachine, QString()));
        if (listing.allParsed)
            return {listing.entries, true};
    } else {
        ftp::Listing listing;
        const auto longListing = [&](const QString &argument) {
            return unlessRefused([&] {
                listing = ftp::parseList(listingLines(ftp, ftpListDirectoryLong, argument), nowUtc);
            });
        };
        bool listed = longListing(QStringLiteral("-a"));
        // A server that takes "-a" for a name refuses it, or answers with nothing at all: an
        // empty folder is believed only when the plain listing says so too.
        if (!listed || (listing.allParsed && listing.entries.isEmpty()))
            listed = longListing(QString());
        if (listed && listing.allParsed)
            return {listing.entries, true};
    }
    // Lines this client cannot read: the names alone, each to be found out by trying it.
    return untypedEntries(gatheredLines(ftp, [&ftp](QStringList &names) {
        listFolderWithDotFiles(ftp, [&names] { names.clear(); });
    }));
}

ftp::EntryType entryTypeOf(TcvbFTP &ftp, const QString &path)
{
    if (!ftp.Features().mlsd || !unlessRefused([&] {
            ftp.SetRawCommand(QStringLiteral("MLST ") + path);
            ftp.SetAction(ftpRawCommand);
        }))
        return ftp::EntryType::Unknown;
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
