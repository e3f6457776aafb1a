// The live session's trace line for a name that would leave the chosen local folder (the rule
// itself is that of every folder copy, remote/TreeCopy.h).
#pragma once

#include <QString>

namespace cvb {

// The trace line for a name that would leave the chosen folder.
QString refusedNameLine(const QString &name);

} // namespace cvb
