#include "backup/ReportText.h"

namespace cvb {

QString reportDetailLine(const QString &dateText, const QString &timeText, const QString &message)
{
    return dateText + QLatin1Char(' ') + timeText + QLatin1Char(' ') + message;
}

QString reportSummaryLine(const QString &dateText, const QString &timeText, bool backupOk, int vanished)
{
    if (backupOk && vanished > 0)
        return reportDetailLine(dateText, timeText,
                                QStringLiteral("The backup was successful except for %1 files that vanished "
                                               "from the server during the run.")
                                    .arg(vanished));
    return reportDetailLine(
        dateText, timeText,
        backupOk ? QStringLiteral("The backup was successful.")
                 : QStringLiteral("WARNING.  The backup experienced errors and was not totaly sucessful!"));
}

QStringList reportClosingLines(const QString &summaryLine, bool backupOk)
{
    QStringList lines{summaryLine};
    if (!backupOk)
        lines << QStringLiteral("The problem is detailed in the logs in the Corvale Backup program.  "
                                "It is recoemnded that you do an instant backup.");
    lines << QStringLiteral(" ") << QStringLiteral("Corvale Backup documentation and sales information")
          << QStringLiteral("is available at ") + QLatin1String(kVendorWebAddress);
    return lines;
}

QString reportSubject(const QString &profileName)
{
    return QStringLiteral("Backup report for profile : ") + profileName;
}

} // namespace cvb
