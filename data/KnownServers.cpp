#include "data/KnownServers.h"

#include <QDir>
#include <QFile>
#include <QSaveFile>
#include <QStringList>

namespace cvb {

namespace {

QString serverKey(const QString &host, int port)
{
    return host.trimmed().toLower() + QLatin1Char(':') + QString::number(port);
}

QStringList readLines(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    return QString::fromUtf8(file.readAll()).split(QLatin1Char('\n'));
}

// The fingerprint of a line for `key`, or an empty text when the line is about another server
// (or a comment).
QString fingerprintOf(const QString &line, const QString &key)
{
    const QString trimmed = line.trimmed();
    if (trimmed.startsWith(QLatin1Char('#')))
        return {};
    const QStringList fields = trimmed.split(QLatin1Char(' '), Qt::SkipEmptyParts);
    return fields.size() >= 2 && fields[0].toLower() == key ? fields[1] : QString();
}

} // namespace

QString pinnedFingerprint(const QString &folder, const QString &host, int port)
{
    if (folder.isEmpty())
        return {};
    const QString key = serverKey(host, port);
    for (const QString &line : readLines(QDir(folder).filePath(KnownServersFileName))) {
        const QString fingerprint = fingerprintOf(line, key);
        if (!fingerprint.isEmpty())
            return fingerprint;
    }
    return {};
}

QString pinFingerprint(const QString &folder, const QString &host, int port, const QString &fingerprint)
{
    const QString path = QDir(folder).filePath(KnownServersFileName);
    const QString key = serverKey(host, port);
    QStringList kept;
    for (const QString &line : readLines(path)) {
        if (!line.trimmed().isEmpty() && fingerprintOf(line, key).isEmpty())
            kept << line;
    }
    if (kept.isEmpty())
        kept << QStringLiteral(
            "# Servers whose certificates or host keys are trusted: host:port SHA-256 fingerprint");
    kept << key + QLatin1Char(' ') + fingerprint;
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly) ||
        !file.setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner) ||
        file.write(kept.join(QLatin1Char('\n')).toUtf8() + '\n') < 0 || !file.commit())
        return QStringLiteral("Could not write %1: %2").arg(path, file.errorString());
    return {};
}

} // namespace cvb
