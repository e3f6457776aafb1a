#include "app/VerifyFolder.h"

#include "remote/Manifest.h"

#include <QTextStream>

namespace cvb {

int verifyFolder(const QString &folder, QTextStream &out, QTextStream &err)
{
    Manifest manifest;
    QString error;
    if (!readManifest(folder, &manifest, &error)) {
        err << "corvale-backup: " << error << '\n';
        return 1;
    }
    const FolderCheck check = checkFolder(folder, manifest);
    for (const QString &path : check.missing)
        out << "missing: " << path << '\n';
    for (const QString &path : check.changed)
        out << "changed: " << path << '\n';
    for (const QString &path : check.extra)
        out << "extra: " << path << '\n';
    if (check.agrees())
        out << QStringLiteral("%1 agrees with its manifest: %2 files of profile %3, backed up %4.")
                   .arg(folder)
                   .arg(manifest.files.size())
                   .arg(manifest.profile, manifest.written.toString(Qt::ISODate))
            << '\n';
    else
        out << QStringLiteral("%1 differs from its manifest: %2 missing, %3 changed, %4 extra.")
                   .arg(folder)
                   .arg(check.missing.size())
                   .arg(check.changed.size())
                   .arg(check.extra.size())
            << '\n';
    out.flush();
    return check.agrees() ? 0 : 1;
}

} // namespace cvb
