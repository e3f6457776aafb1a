// The transfer-mode rule: which mode, ASCII or binary, a remote file is moved in, chosen from its
// name. The main window keeps the extension list; the source list, the backup worker and the live
// session apply the same rule.
#pragma once

#include <QString>
#include <QStringList>

namespace cvb {

enum class TransferMode { Ascii, Binary };

// The five lower-case entries of the main window's `ASCIIExtensions` list, in order ("tml" twice).
const QStringList &defaultAsciiExtensions();

// True when the name has at least 4 characters and a "." anywhere.
bool HasExtension(const QString &name);

// True when the last three characters of the name, lower-cased, equal an entry of the list. The dot
// takes no part: "x.bdat" matches "dat".
bool IsAsciiExtension(const QString &name, const QStringList &asciiExtensions = defaultAsciiExtensions());

// A name without an extension goes as ASCII; otherwise ASCII when its extension is listed, else binary.
TransferMode transferModeFor(const QString &name,
                             const QStringList &asciiExtensions = defaultAsciiExtensions());

// The text stored in a `MODE` field: "ASCII" or "Binary".
QString transferModeText(TransferMode mode);

// Reads a stored `MODE`: "Binary" is binary, anything else (an empty value included) ASCII.
TransferMode transferModeFromText(const QString &text);

} // namespace cvb
