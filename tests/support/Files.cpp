#include "tests/support/Files.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <random>

namespace cvb::test {

QByteArray readFile(const QString &path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<missing>");
}

bool writeFile(const QString &path, const QByteArray &bytes)
{
    QDir().mkpath(QFileInfo(path).path());
    QFile f(path);
    return f.open(QIODevice::WriteOnly | QIODevice::Truncate) && f.write(bytes) == bytes.size() && f.flush();
}

QByteArray randomBytes(qsizetype size, unsigned seed)
{
    std::mt19937 gen(seed);
    QByteArray bytes(size, Qt::Uninitialized);
    for (qsizetype i = 0; i < size; ++i)
        bytes[i] = char(gen() & 0xFF);
    return bytes;
}

} // namespace cvb::test
