#include "app/PrintLog.h"

#include "data/DataError.h"
#include "data/Database.h"
#include "data/Layouts.h"
#include "data/Table.h"
#include "ui/logs/TFTP_LogReport.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTextStream>

namespace cvb {

namespace {

// Where writing `path` would put bytes: through a symbolic link, even a dangling one, to what it
// names.
QString writtenPath(const QString &path)
{
    const QFileInfo info(path);
    if (info.exists())
        return info.canonicalFilePath();
    const QString where = info.isSymLink() ? info.symLinkTarget() : info.absoluteFilePath();
    const QFileInfo whereInfo(where);
    const QString folder = QFileInfo(whereInfo.absolutePath()).canonicalFilePath();
    return folder.isEmpty() ? whereInfo.absoluteFilePath() : QDir(folder).filePath(whereInfo.fileName());
}

bool startsAsPdf(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) && (file.size() == 0 || file.read(5) == "%PDF-");
}

// "1 page", "2 pages".
QString counted(int count, const QString &noun)
{
    return QStringLiteral("%1 %2%3").arg(count).arg(noun, count == 1 ? QString() : QStringLiteral("s"));
}

} // namespace

QString refusedReportTarget(const QString &pdfPath, const QString &dataFolder)
{
    const QString target = writtenPath(pdfPath);
    const QString folder = QFileInfo(dataFolder).canonicalFilePath();
    if (!folder.isEmpty() && (target == folder || target.startsWith(folder + QLatin1Char('/'))))
        return QStringLiteral("%1 is inside the database folder %2; the report is not written there")
            .arg(pdfPath, folder);
    const QFileInfo info(target);
    if (info.isDir())
        return QStringLiteral("%1 is a folder; name the PDF file to write").arg(pdfPath);
    if (info.exists() && !startsAsPdf(target))
        return QStringLiteral("%1 exists and is not a PDF file; it is left as it was").arg(pdfPath);
    return {};
}

int printLog(const QString &pdfPath, const QString &dataFolder, QTextStream &out, QTextStream &err)
{
    const QString folder = resolveDataFolder(dataFolder);
    const QString refusal = refusedReportTarget(pdfPath, folder);
    if (!refusal.isEmpty()) {
        err << QStringLiteral("corvale-backup: ") << refusal << '\n';
        return 2;
    }
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
        // Written to a temporary file beside the target, which replaces it only when complete.
        const QString problem = writeReportPdf(report.QuickRep1(), pdfPath);
        if (!problem.isEmpty()) {
            err << QStringLiteral("corvale-backup: ") << problem << '\n';
            return 1;
        }
        out << QStringLiteral("Wrote %1 of the event log on %2 to %3\n")
                   .arg(counted(log.recordCount(), QStringLiteral("row")),
                        counted(report.QuickRep1().pageCount(), QStringLiteral("page")), pdfPath);
        return 0;
    } catch (const DataError &e) {
        err << QStringLiteral("corvale-backup: ") << e.message()
            << QStringLiteral("; no report was written to %1\n").arg(pdfPath);
        return 1;
    }
}

} // namespace cvb
