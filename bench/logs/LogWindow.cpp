// The log windows on a long log: fills the event log with ROWS rows, starts the main window on
// it, opens "View Backup History Logs" as a user does, scrolls the grid to the last row, writes
// the log report as PDF and clears the log. Prints each time, and the report's pages per second.
//   cvb-bench-logs DIR [ROWS]     (default 100000; DIR is made and filled)
#include "app/MainWin.h"
#include "data/ConnectionSettings.h"
#include "data/DataError.h"
#include "data/Database.h"
#include "data/EventLogRow.h"
#include "data/Layouts.h"
#include "data/Table.h"
#include "report/BandedReport.h"
#include "ui/logs/LogRows.h"
#include "ui/logs/TFTP_LogMaint.h"
#include "ui/logs/TFTP_LogReport.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QTableView>
#include <QTextStream>

namespace {

quint32 le(const QByteArray &bytes, int at, int size)
{
    quint32 value = 0;
    for (int i = size - 1; i >= 0; --i)
        value = value << 8 | quint8(bytes.at(at + i));
    return value;
}

// Writes one row through a cursor, then appends copies of its record numbered 2..rows straight
// to the file with one header update: far quicker than posting each row durably.
void fillLog(const QString &folder, int rows)
{
    cvb::Table log;
    log.setFolder(folder);
    log.open(cvb::LogTable);
    cvb::writeLogRow(log, QStringLiteral("Site"), QStringLiteral("Finished downloading /www/page1.html"));
    log.close();

    QFile file(QDir(folder).filePath(cvb::LogTable));
    if (!file.open(QIODevice::ReadWrite))
        throw cvb::DataError(file.fileName() + QStringLiteral(": ") + file.errorString());
    const QByteArray header = file.read(12);
    const int headerSize = int(le(header, 8, 2));
    const int recordSize = int(le(header, 10, 2));
    file.seek(headerSize);
    const QByteArray first = file.read(recordSize);
    const int event = first.indexOf("Site ");
    QByteArray records;
    records.reserve(qsizetype(rows) * recordSize);
    records += first;
    for (int row = 2; row <= rows; ++row) {
        QByteArray record = first;
        const QByteArray text =
            QStringLiteral("Site Finished downloading /www/page%1.html").arg(row).toUtf8();
        record.replace(event, text.size(), text);
        records += record;
    }
    file.seek(headerSize);
    file.write(records);
    char count[4];
    for (int i = 0; i < 4; ++i)
        count[i] = char(quint32(rows) >> (8 * i));
    file.seek(4);
    file.write(count, 4);
}

} // namespace

int main(int argc, char *argv[])
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    const QStringList args = app.arguments();
    QTextStream out(stdout);
    QTextStream err(stderr);
    if (args.size() < 2 || args.size() > 3) {
        err << "usage: cvb-bench-logs DIR [ROWS]\n";
        return 2;
    }
    const QString folder = args[1];
    const int rows = args.size() == 3 ? args[2].toInt() : 100000;
    try {
        cvb::prepareDataFolder(folder);
        cvb::createMissingTables(folder);
        fillLog(folder, rows);
        const auto lock = cvb::openDatabase(folder);
        {
            cvb::Table connection;
            connection.open(cvb::ConnectionTable);
            cvb::ConnectionSettings settings;
            settings.server = QStringLiteral("ftp.example.com");
            settings.user = QStringLiteral("webmaster");
            settings.password = QStringLiteral("secret");
            cvb::writeConnectionSettings(connection, settings);
        }

        QElapsedTimer timer;
        timer.start();
        cvb::TMainWin mainWin;
        mainWin.show();
        QApplication::processEvents();
        out << "main window with its cursors on " << rows << " log rows: " << timer.elapsed() << " ms\n";

        timer.restart();
        mainWin.openMenuWindow(QStringLiteral("LogsButton"));
        auto *window = mainWin.findChild<cvb::TFTP_LogMaint *>(QStringLiteral("FTP_LogMaint"));
        if (!window) {
            err << "the log window did not open\n";
            return 1;
        }
        QApplication::processEvents();
        window->grab(); // laid out and painted as on screen
        out << "log window open and painted: " << timer.elapsed() << " ms\n";

        timer.restart();
        window->DBGrid1()->scrollToBottom();
        window->DBGrid1()->grab();
        out << "grid scrolled to the last row and painted: " << timer.elapsed() << " ms\n";

        const cvb::TFTP_LogReport report(mainWin.Table_Log());
        const QString pdf = QDir(folder).filePath(QStringLiteral("log.pdf"));
        timer.restart();
        const QString problem = cvb::writeReportPdf(report.QuickRep1(), pdf);
        const double seconds = double(timer.nsecsElapsed()) / 1e9;
        if (!problem.isEmpty()) {
            err << problem << '\n';
            return 1;
        }
        const int pages = report.QuickRep1().pageCount();
        out << "report as PDF: " << pages << " pages in " << QString::number(seconds, 'f', 2) << " s, "
            << QString::number(pages / seconds, 'f', 0) << " pages/s, " << QFile(pdf).size() / 1024
            << " KiB\n";

        // "Clear Entire Log" after its Yes: every row deleted from the first, each delete durable,
        // with the grid open on the log.
        timer.restart();
        cvb::clearEntireLog(mainWin.Table_Log());
        QApplication::processEvents();
        out << "clear entire log with the window open: " << timer.elapsed() << " ms\n";
        window->close();
    } catch (const cvb::DataError &e) {
        err << e.message() << '\n';
        return 1;
    }
    return 0;
}
