#include "ui/browser/BrowserRules.h"

#include "backup/BackupPaths.h"
#include "data/Table.h"

namespace cvb {

QString joinRemotePath(const QString &pathText, const QString &entry)
{
    return pathText + QLatin1Char('/') + entry;
}

QString parentRemotePath(const QString &remotePath)
{
    if (remotePath.isEmpty())
        return remotePath;
    const qsizetype slash = remotePath.lastIndexOf(QLatin1Char('/'));
    return remotePath.left(slash > 0 ? slash + 1 : 1);
}

SourceRow droppedSource(const QString &profile, const QString &pathText, const QString &entry,
                        const QStringList &asciiExtensions)
{
    return {profile, joinRemotePath(pathText, entry),
            transferModeText(transferModeFor(entry, asciiExtensions))};
}

bool fitsSourceField(const SourceRow &row)
{
    return row.source.toUtf8().size() <= SourceFieldWidth;
}

QString sourceTooLongMessage(const SourceRow &row)
{
    return QStringLiteral("The path %1 is longer than the %2 characters a backup source can hold, so it was "
                          "not added to the list.")
        .arg(row.source)
        .arg(SourceFieldWidth);
}

QStringList sourcesOfSameName(const QStringList &sources, const QString &source)
{
    const QString name = sourceLocalName(source);
    QStringList alike;
    for (const QString &other : sources) {
        if (other != source && sourceLocalName(other) == name)
            alike << other;
    }
    return alike;
}

QString sameNameMessage(const QString &earlier, const QString &later)
{
    const QString name = sourceLocalName(later);
    const QString place = remotePathPlace(later);
    if (place.isEmpty())
        return QStringLiteral("The file %1 has the name %2, which the file %3 of this profile already has in "
                              "the backup folder. Its path gives it no other place there, so the backup "
                              "will not save it.")
            .arg(later, name, earlier);
    return QStringLiteral("The file %1 has the name %2, which the file %3 of this profile already has in "
                          "the backup folder. The backup will save %1 below the backup folder under its "
                          "remote path, as %4.")
        .arg(later, name, earlier, place);
}

void storeSource(Table &files, const SourceRow &row)
{
    files.insert();
    files.setString(QStringLiteral("PROFILE"), row.profile);
    files.setString(QStringLiteral("SOURCE"), row.source);
    files.setString(QStringLiteral("MODE"), row.mode);
    files.post();
}

} // namespace cvb
