#include "backup/BackupPaths.h"


#include <QStringList>

namespace cvb {

int sourceBaseLength(const QString &source)
{
    return static_cast<int>(source.lastIndexOf(QLatin1Char('/')) + 1);
}

QString resolveSource(const QString &source, const QString &logOnFolder)
{
    if (source.startsWith(QLatin1Char('/')) || logOnFolder.isEmpty())
        return source;
    return logOnFolder.endsWith(QLatin1Char('/')) ? logOnFolder + source
                                                   : logOnFolder + QLatin1Char('/') + source;
}

QString sourceLocalName(const QString &source)
{
    return source.mid(sourceBaseLength(source));
}

QString remotePathPlace(const QString &source)
{
    QString place = source;
    while (place.startsWith(QLatin1Char('/')))
        place.remove(0, 1);
    const QStringList levels = place.split(QLatin1Char('/'));
    for (const QString &level : levels) {
        if (level.isEmpty() || level == QLatin1String(".") || level == QLatin1String("..") ||
            level.contains(QLatin1Char('\0')))
            return {};
    }
    return place;
}

QString RelativeLocalPath(const QString &remotePath, int baseLength)
{
    // Remote and local folders are both separated by "/" here.
    return remotePath.mid(baseLength);
}

} // namespace cvb
