#include "ui/browser/BrowserRules.h"

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

void storeSource(Table &files, const SourceRow &row)
{
    files.insert();
    files.setString(QStringLiteral("PROFILE"), row.profile);
    files.setString(QStringLiteral("SOURCE"), row.source);
    files.setString(QStringLiteral("MODE"), row.mode);
    files.post();
}

} // namespace cvb
