#include "data/FullLog.h"

#include "data/Database.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

namespace cvb {

QString fullLogPath(const QString &profile)
{
    QString name = profile.trimmed();
    for (QChar &c : name) {
        if (c == QLatin1Char('/') || c == QLatin1Char('\\') || c.unicode() < 0x20 || c == QLatin1Char(':'))
            c = QLatin1Char('_');
    }
    if (name.isEmpty() || name.startsWith(QLatin1Char('.')))
        name.prepend(QLatin1Char('_'));
    return aliasFolder() + QStringLiteral("/logs/") + name + QStringLiteral(".log");
}

QString profileOfEvent(const QString &event, const QStringList &profiles)
{
    QString found;
    for (const QString &profile : profiles) {
        if (!profile.isEmpty() && profile.size() > found.size() &&
            event.startsWith(profile + QLatin1Char(' ')))
            found = profile;
    }
    return found;
}

QString appendFullLogLines(const QString &profile, const QStringList &lines, qint64 limit)
{
    if (lines.isEmpty())
        return {};
    const QString path = fullLogPath(profile);
    const QString folder = QFileInfo(path).path();
    if (!QFileInfo(folder).isDir()) {
        if (!QDir().mkpath(folder))
            return QStringLiteral("The folder ") + folder + QStringLiteral(" cannot be made.");
        QFile::setPermissions(folder, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    }
    if (QFileInfo(path).size() >= limit) {
        QFile::remove(path + QStringLiteral(".%1").arg(kFullLogsKept));
        for (int i = kFullLogsKept - 1; i >= 1; --i)
            QFile::rename(path + QStringLiteral(".%1").arg(i), path + QStringLiteral(".%1").arg(i + 1));
        QFile::rename(path, path + QStringLiteral(".1"));
    }
    QFile file(path);
    if (!file.open(QIODevice::Append | QIODevice::Text))
        return QStringLiteral("The full log ") + path + QStringLiteral(" cannot be written: ") +
               file.errorString();
    file.setPermissions(QFile::ReadOwner | QFile::WriteOwner);
    QByteArray bytes;
    for (const QString &line : lines)
        bytes += line.toUtf8() + '\n';
    if (file.write(bytes) != bytes.size() || !file.flush())
        return QStringLiteral("The full log ") + path + QStringLiteral(" cannot be written: ") +
               file.errorString();
    return {};
}

} // namespace cvb
