#include "scheduler/BackupFolder.h"

#include <QDir>
#include <QFile>

namespace cvb {

QString targetFolderBase(const QString &targetLoc)
{
    if (targetLoc.endsWith(QLatin1Char('/')))
        return targetLoc.chopped(1);
    return targetLoc;
}

QString dateStampedFolderName(const QDateTime &moment, const QLocale &locale)
{
    const QDate date = moment.date();
    const QTime time = moment.time();
    const int hour12 = time.hour() % 12 == 0 ? 12 : time.hour() % 12;
    const auto twoDigits = [](int n) { return QStringLiteral("%1").arg(n, 2, 10, QLatin1Char('0')); };
    return QStringLiteral("%1, %2 %3, %4 - %5!%6!%7 %8")
        .arg(locale.dayName(date.dayOfWeek(), QLocale::LongFormat),
             locale.monthName(date.month(), QLocale::LongFormat), QString::number(date.day()),
             QString::number(date.year()).rightJustified(4, QLatin1Char('0')), twoDigits(hour12),
             twoDigits(time.minute()), twoDigits(time.second()),
             time.hour() < 12 ? QStringLiteral("AM") : QStringLiteral("PM"));
}

std::optional<QString> nextRotationLetter(const QString &lastDir)
{
    if (lastDir.isEmpty() || lastDir == QLatin1String("C"))
        return QStringLiteral("A");
    if (lastDir == QLatin1String("A"))
        return QStringLiteral("B");
    if (lastDir == QLatin1String("B"))
        return QStringLiteral("C");
    return std::nullopt;
}

BackupFolderPlan planBackupFolder(const QString &targetLoc, bool rotateDir, bool dateStamped,
                                  const QString &lastDir, const QDateTime &now, const QLocale &locale)
{
    BackupFolderPlan plan;
    plan.folder = targetFolderBase(targetLoc);
    if (rotateDir) {
        plan.newLastDir = nextRotationLetter(lastDir);
        if (plan.newLastDir)
            plan.folder += QLatin1Char('/') + *plan.newLastDir;
        plan.createFolder = true;
    } else if (dateStamped) {
        plan.folder += QLatin1Char('/') + dateStampedFolderName(now, locale);
        plan.createFolder = true;
    }
    return plan;
}

QStringList baseFolderCandidates(const QString &targetLoc, bool rotateDir, bool dateStamped)
{
    const QString target = targetFolderBase(targetLoc);
    if (!rotateDir && !dateStamped)
        return {target};
    QStringList folders;
    const QDir top(target);
    for (const QString &name : top.entryList(QDir::Dirs | QDir::NoDotAndDotDot | QDir::Hidden, QDir::Name))
        folders << top.filePath(name);
    return folders;
}

bool createFolderLevel(const QString &folder)
{
    // Private to the user: a site's copy holds its configuration files and passwords.
    return QDir().mkdir(folder, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
}

} // namespace cvb
