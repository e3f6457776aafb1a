// corvale-backup --verify FOLDER: a backup folder read back against its manifest, for people and
// scripts. It only reads, so it also works while the program runs.
#pragma once

#include <QString>

class QTextStream;

namespace cvb {

// Prints every file of `folder` that is missing, changed or extra with respect to its manifest
// ("missing: site/index.html"), then one line that sums it up. Returns the exit status: 0 when
// the folder agrees with its manifest, 1 when it does not or has no readable manifest (the reason
// goes to `err`).
int verifyFolder(const QString &folder, QTextStream &out, QTextStream &err);

} // namespace cvb
