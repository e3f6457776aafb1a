// Reading and writing whole files in tests.
#pragma once

#include <QByteArray>
#include <QString>

namespace cvb::test {

// The bytes of a file, or "<missing>" when it cannot be read.
QByteArray readFile(const QString &path);
// Creates or replaces a file with the bytes, making its folders first; false on failure.
bool writeFile(const QString &path, const QByteArray &bytes);
// `size` pseudo-random bytes, the same for the same seed.
QByteArray randomBytes(qsizetype size, unsigned seed);

} // namespace cvb::test
