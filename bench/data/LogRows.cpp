// Inserts N log rows through a cursor (each post durable on disk), then scans them
// through a fresh cursor, and prints both rates in rows per second.
//   cvb-bench-data DIR [N]
#include "data/DataError.h"
#include "data/Database.h"
#include "data/Layouts.h"
#include "data/Table.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QTextStream>

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments();
    QTextStream out(stdout);
    QTextStream err(stderr);
    if (args.size() < 2 || args.size() > 3) {
        err << "usage: cvb-bench-data DIR [ROWS]\n";
        return 2;
    }
    const QString folder = args[1];
    const int rows = args.size() == 3 ? args[2].toInt() : 100000;
    try {
        cvb::prepareDataFolder(folder);
        cvb::createMissingTables(folder);

        cvb::Table log(QStringLiteral("Table_Log"), nullptr);
        log.setFolder(folder);
        log.open(cvb::LogTable);
        const QDate day(2026, 12, 8);
        QElapsedTimer timer;
        timer.start();
        for (int i = 0; i < rows; ++i) {
            log.insert();
            log.setDate(QStringLiteral("DATE"), day.addDays(i % 365));
            log.setString(QStringLiteral("TIME"), QStringLiteral("%1:%2:%3")
                                                      .arg(i / 3600 % 24, 2, 10, QLatin1Char('0'))
                                                      .arg(i / 60 % 60, 2, 10, QLatin1Char('0'))
                                                      .arg(i % 60, 2, 10, QLatin1Char('0')));
            log.setString(QStringLiteral("EVENT"), QStringLiteral("Bench profile row %1 Grüße").arg(i));
            log.post();
        }
        const double insertSeconds = timer.nsecsElapsed() / 1e9;

        timer.restart();
        cvb::Table scan(QStringLiteral("Table_LogScan"), nullptr);
        scan.setFolder(folder);
        scan.open(cvb::LogTable);
        qint64 checksum = 0;
        int seen = 0;
        for (scan.first(); !scan.eof(); scan.next()) {
            checksum +=
                scan.asString(QStringLiteral("EVENT")).size() + scan.asDate(QStringLiteral("DATE")).day();
            ++seen;
        }
        const double scanSeconds = timer.nsecsElapsed() / 1e9;
        out << "rows " << seen << " (checksum " << checksum << ")\n";
        out << "insert " << rows << " rows in " << insertSeconds << " s: " << qint64(rows / insertSeconds)
            << " rows/s\n";
        out << "scan " << seen << " rows in " << scanSeconds << " s: " << qint64(seen / scanSeconds)
            << " rows/s\n";
        return seen == rows ? 0 : 1;
    } catch (const cvb::DataError &e) {
        err << "cvb-bench-data: " << e.message() << '\n';
        return 1;
    }
}
