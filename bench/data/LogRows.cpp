// Inserts N log rows through a cursor (each post durable on disk), then scans them
// through a fresh cursor, and prints both rates in rows per second. Interleaved with
// the inserts, in blocks of 1000, it times the same number of bare write+sync pairs on
// another file of the same disk: the floor that durable posts cannot go below, measured
// under the same load.
//   cvb-bench-data DIR [N]
#include "data/DataError.h"
#include "data/Database.h"
#include "data/Layouts.h"
#include "data/Table.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QTextStream>

#include <fcntl.h>
#include <unistd.h>

namespace {

// One record write and sync, then a header write and sync, as a post costs at least.
bool barePair(int fd, qint64 row)
{
    static const QByteArray record(130, ' ');
    static const QByteArray header(7, '\0');
    return ::pwrite(fd, record.constData(), size_t(record.size()), 130 * row) == record.size() &&
           ::fdatasync(fd) == 0 &&
           ::pwrite(fd, header.constData(), size_t(header.size()), 1) == header.size() &&
           ::fdatasync(fd) == 0;
}

} // namespace

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
        const QByteArray floorPath = QFile::encodeName(folder + QStringLiteral("/bare-syncs.bin"));
        const int floorFd = ::open(floorPath.constData(), O_CREAT | O_TRUNC | O_RDWR | O_CLOEXEC, 0600);
        if (floorFd < 0) {
            err << "cvb-bench-data: cannot create " << floorPath << '\n';
            return 1;
        }
        const QDate day(2026, 12, 8);
        constexpr int Block = 1000;
        qint64 insertNanos = 0;
        qint64 floorNanos = 0;
        QElapsedTimer timer;
        for (int start = 0; start < rows; start += Block) {
            const int end = std::min(rows, start + Block);
            timer.start();
            for (int i = start; i < end; ++i) {
                log.insert();
                log.setDate(QStringLiteral("DATE"), day.addDays(i % 365));
                log.setString(QStringLiteral("TIME"), QStringLiteral("%1:%2:%3")
                                                          .arg(i / 3600 % 24, 2, 10, QLatin1Char('0'))
                                                          .arg(i / 60 % 60, 2, 10, QLatin1Char('0'))
                                                          .arg(i % 60, 2, 10, QLatin1Char('0')));
                log.setString(QStringLiteral("EVENT"), QStringLiteral("Bench profile row %1 Grüße").arg(i));
                log.post();
            }
            insertNanos += timer.nsecsElapsed();
            timer.start();
            for (int i = start; i < end; ++i) {
                if (!barePair(floorFd, i)) {
                    err << "cvb-bench-data: cannot write " << floorPath << '\n';
                    return 1;
                }
            }
            floorNanos += timer.nsecsElapsed();
        }
        ::close(floorFd);
        ::unlink(floorPath.constData());
        const double insertSeconds = insertNanos / 1e9;
        const double floorSeconds = floorNanos / 1e9;

        timer.start();
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
        out << "bare write+sync pairs " << rows << " in " << floorSeconds
            << " s: " << qint64(rows / floorSeconds) << " rows/s\n";
        out << "scan " << seen << " rows in " << scanSeconds << " s: " << qint64(seen / scanSeconds)
            << " rows/s\n";
        return seen == rows ? 0 : 1;
    } catch (const cvb::DataError &e) {
        err << "cvb-bench-data: " << e.message() << '\n';
        return 1;
    }
}
