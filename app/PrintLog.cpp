#include "app/PrintLog.h"

#include "data/DataError.h"
#include "data/Database.h"
#include "data/Layouts.h"
#include "data/Table.h"
#include "ui/logs/TFTP_LogReport.h"

#include <QDir>
#include <QFileInfo>
#include <QTextStream>

namespace cvb {

int printLog(const QString &pdfPath, const QString &dataFolder, QTextStream &out, QTextStream &err)
{
    const QString folder = resolveDataFolder(dataFolder);
    const QString logPath = QDir(folder).filePath(LogTable);
    if (!QFileInfo::exists(logPath)) {
        err << QStringLiteral("corvale-backup: there is no event log %1; no report was written to %2\n")
                   .arg(logPath, pdfPath);
        return 1;
    }
    try {
        Table log(QStringLiteral("Table_Log"), nullptr);
        log.setFolder(folder);
        log.open(LogTable);
        if (log.isEmpty()) {
            out << QStringLiteral("The event log is empty; no report was written to %1\n").arg(pdfPath);
            return 0;
        }
        const TFTP_LogReport report(log);
        const QString problem = writeReportPdf(report.QuickRep1(), pdfPath);
        if (!problem.isEmpty()) {
            err << QStringLiteral("corvale-backup: ") << problem << '\n';
            return 1;
        }
        out << QStringLiteral("Wrote %1 rows of the event log on %2 pages to %3\n")
                   .arg(log.recordCount())
                   .arg(report.QuickRep1().pageCount())
                   .arg(pdfPath);
        return 0;
    } catch (const DataError &e) {
        err << QStringLiteral("corvale-backup: ") << e.message()
            << QStringLiteral("; no report was written to %1\n").arg(pdfPath);
        return 1;
    }
}

} // namespace cvb
