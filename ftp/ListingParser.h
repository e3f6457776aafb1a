// Reading what a server says about its files: the lines of MLSD and LIST listings, the FEAT
// reply, and the times of MDTM replies and "modify" facts. Plain functions without a connection;
// a line they do not understand is reported as such, never guessed at, so that the caller can
// fall back to listing plain names.
#pragma once

#include <QByteArray>
#include <QDateTime>
#include <QList>
#include <QString>
#include <QStringList>

namespace cvb::ftp {

enum class EntryType { Unknown, File, Folder, Link };

// One entry of a folder listing.
struct ListedEntry
{
    QString name; // as the server gave it (blanks kept; no path added)
    EntryType type = EntryType::Unknown;
    qint64 size = -1;           // -1: not known
    QDateTime modified;         // UTC; invalid when not known
    bool modifiedExact = false; // true only when known to the second in UTC (MLSD/MLST "modify", MDTM)
    QString linkTarget;         // for Link from LIST "name -> target" (or MLSD "OS.unix=slink:target")
};

// Ignore: "total 12", a blank line, and the folder itself or its parent ("." and "..", cdir, pdir).
enum class LineKind { Entry, Ignore, Unparsed };

struct ParsedLine
{
    LineKind kind = LineKind::Unparsed;
    ListedEntry entry;
};

// One line of an MLSD reply ("type=file;size=12;modify=20250102030405; name"). The name is
// everything after the first "; ", kept as it is; fact names and the values of "type" are read
// without regard to case. type=dir is a Folder, file a File, OS.unix=symlink or
// OS.unix=slink:target a Link, cdir and pdir are ignored, any other type is Unknown.
ParsedLine parseMlsdLine(const QString &line);

// One line of a LIST reply: the Unix "ls -l" forms (with or without the group column, numeric
// owners, device files, an ACL mark after the mode, a year or an HH:MM time, symlinks
// "a -> b") and the DOS/IIS forms ("01-02-25  03:04PM  <DIR>  name", "01-02-2025  15:04  1234 name").
// In the Unix form the name is everything after the one blank that follows the time column,
// leading blanks included. The year of an HH:MM date is the latest that puts the date no more
// than three months after `nowUtc`. LIST dates are the server's local time read as UTC and never
// exact.
ParsedLine parseListLine(const QString &line, const QDateTime &nowUtc);

// A whole listing: its entries in order; `allParsed` is false when any line that is not ignored
// could not be read (the caller then falls back to a plain name listing).
struct Listing
{
    QList<ListedEntry> entries;
    bool allParsed = true;
};

Listing parseMlsd(const QStringList &lines);
Listing parseList(const QStringList &lines, const QDateTime &nowUtc);

// What a FEAT reply offers. The reply's lines come whole: the first ("211-..."), the feature
// lines between (each beginning with a blank) and the last ("211 End"). Feature names are read
// without regard to case.
struct ServerFeatures
{
    bool mlsd = false;     // an "MLST type*;size*;modify*;" or "MLSD" line
    QStringList mlstFacts; // lower-case facts named on the MLST line (marks '*' removed)
    bool epsv = false, restStream = false, mdtm = false, size = false, utf8 = false;
    QStringList hashes;        // from "HASH SHA-256*;SHA-1;MD5": upper-case names without '*'
    QString hashDefault;       // the one marked '*'
    QStringList otherCommands; // every other feature word, upper-case ("XSHA256", "XCRC", "AUTH")
};

ServerFeatures parseFeatures(const QList<QByteArray> &replyLines);

// The time of an MDTM reply "213 20250102030405[.sss]", in UTC to the second; invalid when the
// reply is no such line.
QDateTime parseMdtmReply(const QByteArray &line);

// The value of a "modify" fact, "YYYYMMDDHHMMSS[.sss]", in UTC to the second (a fraction is read
// and dropped); invalid when it is not such a value or names no real moment.
QDateTime parseFactTime(const QString &value);

} // namespace cvb::ftp
