// The rules of the remote browser and the source list that need no window: where opening an
// entry and going up one level lead, and what a name dropped on the source list stores.
#pragma once

#include "data/TransferMode.h"

#include <QString>
#include <QStringList>

namespace cvb {

class Table;

// The folder that opening `entry` asks for: the path box text, "/" and the entry, joined without
// looking at the path's last character ("/" and "index.html" give "//index.html").
QString joinRemotePath(const QString &pathText, const QString &entry);

// The folder one level up from `remotePath`: its text up to and including its last "/" ("/www/"
// from "/www/images", "/" from "/www"). A path that ends in "/" names itself; a path without
// any "/" gives its first character.
QString parentRemotePath(const QString &remotePath);

// One row of the sources table.
struct SourceRow
{
    QString profile; // PROFILE
    QString source;  // SOURCE
    QString mode;    // MODE: "ASCII" or "Binary"
};

// What a remote entry dropped on the source list stores: the joined path and the mode of the
// transfer-mode rule for the entry's name.
SourceRow droppedSource(const QString &profile, const QString &pathText, const QString &entry,
                        const QStringList &asciiExtensions = defaultAsciiExtensions());

// The longest SOURCE the sources table holds, in bytes of its UTF-8 text.
inline constexpr int SourceFieldWidth = 200;
// False when the row's SOURCE would be cut short by the table (a path the backup could not find).
bool fitsSourceField(const SourceRow &row);
// What the source list says instead of storing such a row.
QString sourceTooLongMessage(const SourceRow &row);

// The sources among `sources` whose last name is that of `source` (`source` itself left out): as
// single files they would take the same place directly in the backup folder.
QStringList sourcesOfSameName(const QStringList &sources, const QString &source);
// What the source list says when the single file `later` is dropped while the single file
// `earlier` of the profile has its name: the backup saves `later` below the backup folder under
// its remote path (or, when that path is no place inside the backup folder, not at all).
QString sameNameMessage(const QString &earlier, const QString &later);

// Inserts the row into the sources cursor and posts it at once.
void storeSource(Table &files, const SourceRow &row);

} // namespace cvb
