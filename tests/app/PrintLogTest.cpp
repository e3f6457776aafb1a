// corvale-backup --print-log FILE: the report goes only where it cannot destroy anything, and
// replaces an earlier report only once the new one is complete.
#include "MainWinFixture.h"

#include "app/PrintLog.h"
#include "data/EventLogRow.h"
#include "data/Layouts.h"
#include "tests/support/Files.h"

#include <QDir>
#include <QFile>
#include <QTextStream>

namespace {

class PrintLogTarget : public MainWinTest
{
protected:
    void SetUp() override
    {
        MainWinTest::SetUp();
        cvb::Table log;
        log.open(cvb::LogTable);
        cvb::writeLogRow(log, QStringLiteral("SITE"), QStringLiteral("Backup Complete"));
    }

    // Runs --print-log to `path`; the exit status, with what it printed in `out` and `err`.
    int print(const QString &path)
    {
        out.clear();
        err.clear();
        QTextStream outStream(&out);
        QTextStream errStream(&err);
        return cvb::printLog(path, dir.path(), outStream, errStream);
    }

    QTemporaryDir elsewhere;
    QString out;
    QString err;
};

TEST_F(PrintLogTarget, ATableOrAnyFileInTheDatabaseFolderIsRefusedAndLeftAsItWas)
{
    const QString profiles = dir.filePath(cvb::ProfilesTable);
    const QByteArray before = cvb::test::readFile(profiles);
    ASSERT_TRUE(QDir(dir.path()).mkdir(QStringLiteral("reports")));
    // Through a relative path and through a symbolic link from outside as well.
    const QString link = elsewhere.filePath(QStringLiteral("log.pdf"));
    ASSERT_TRUE(QFile::link(profiles, link));
    const QString dangling = elsewhere.filePath(QStringLiteral("dangling.pdf"));
    ASSERT_TRUE(QFile::link(dir.filePath(QStringLiteral("gone.pdf")), dangling));
    for (const QString &target :
         {profiles, dir.filePath(QStringLiteral("new.pdf")), dir.filePath(QStringLiteral("reports/log.pdf")),
          dir.filePath(QStringLiteral("reports/../FTP Log.dbf")), link, dangling}) {
        EXPECT_EQ(print(target), 2) << target.toStdString();
        EXPECT_TRUE(err.contains(target)) << err.toStdString();
    }
    EXPECT_TRUE(err.contains(QStringLiteral("inside the database folder"))) << err.toStdString();
    EXPECT_EQ(cvb::test::readFile(profiles), before);
    EXPECT_EQ(QDir(dir.path()).entryList({QStringLiteral("*.pdf")}, QDir::Files), QStringList());
    EXPECT_FALSE(QFile::exists(dir.filePath(QStringLiteral("gone.pdf"))));
}

TEST_F(PrintLogTarget, AnExistingFileThatIsNotAPdfOrAFolderIsRefused)
{
    const QString notes = elsewhere.filePath(QStringLiteral("notes.pdf"));
    ASSERT_TRUE(cvb::test::writeFile(notes, "my notes\n"));
    EXPECT_EQ(print(notes), 2);
    EXPECT_TRUE(err.contains(QStringLiteral("is not a PDF"))) << err.toStdString();
    EXPECT_EQ(cvb::test::readFile(notes), QByteArray("my notes\n"));
    EXPECT_EQ(print(elsewhere.path()), 2);
    EXPECT_TRUE(out.isEmpty());
}

TEST_F(PrintLogTarget, AnEarlierReportIsReplacedAndOnePageIsCountedInTheSingular)
{
    const QString pdf = elsewhere.filePath(QStringLiteral("log.pdf"));
    ASSERT_TRUE(cvb::test::writeFile(pdf, "%PDF-1.4 an earlier report"));
    ASSERT_EQ(print(pdf), 0) << err.toStdString();
    EXPECT_EQ(out, QStringLiteral("Wrote 1 row of the event log on 1 page to %1\n").arg(pdf));
    const QByteArray written = cvb::test::readFile(pdf);
    EXPECT_TRUE(written.startsWith("%PDF-"));
    EXPECT_GT(written.size(), 100);
    // Nothing but the report is left beside it.
    EXPECT_EQ(QDir(elsewhere.path()).entryList(QDir::Files | QDir::Hidden),
              QStringList{QStringLiteral("log.pdf")});
    // An empty file, as `mktemp` makes one, holds nothing to lose.
    const QString empty = elsewhere.filePath(QStringLiteral("empty.pdf"));
    ASSERT_TRUE(cvb::test::writeFile(empty, QByteArray()));
    EXPECT_EQ(print(empty), 0) << err.toStdString();
}

} // namespace
