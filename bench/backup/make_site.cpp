// cvb-bench-site ROOT [BIG_FILE_BYTES]: writes the sample web site of the backup tests below ROOT
// and prints the number of files that a backup of its sample profile fetches.
#include "tests/support/SiteTree.h"

#include <QCoreApplication>
#include <QTextStream>

#include <exception>

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments();
    QTextStream err(stderr);
    if (args.size() < 2 || args.size() > 3) {
        err << "usage: cvb-bench-site ROOT [BIG_FILE_BYTES]\n";
        return 2;
    }
    bool ok = true;
    const qint64 big = args.size() == 3 ? args[2].toLongLong(&ok) : 50LL * 1024 * 1024;
    if (!ok || big < 0) {
        err << "BIG_FILE_BYTES must be a whole number of bytes\n";
        return 2;
    }
    try {
        QTextStream(stdout) << cvb::test::buildSampleSite(args[1], big) << '\n';
    } catch (const std::exception &e) {
        err << e.what() << '\n';
        return 1;
    }
    return 0;
}
