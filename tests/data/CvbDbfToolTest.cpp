// The cvb-dbf tool as scripts use it: init, add, set, dump, and its exit codes.
#include "data/Layouts.h"
#include "tests/support/Peers.h"

#include <QDir>
#include <QProcess>
#include <QSet>
#include <QTemporaryDir>
#include <gtest/gtest.h>

using namespace cvb;

namespace {

test::ProcessResult tool(const QStringList &args)
{
    return test::runProcess(qEnvironmentVariable("CVB_BUILD_DIR") + "/tools/cvb-dbf/cvb-dbf", args);
}

} // namespace

TEST(CvbDbfTool, AddSetAndDumpWithDeletedMarksAndEscapes)
{
    QTemporaryDir dir;
    ASSERT_EQ(tool({"init", dir.path()}).exitCode, 0);
    const QString sources = QDir(dir.path()).filePath(SourcesTable);
    auto r = tool({"add", sources, "PROFILE=site", "SOURCE=/www/a\tb", "MODE=Binary"});
    ASSERT_EQ(r.exitCode, 0) << r.err.toStdString();
    EXPECT_EQ(r.out, "1\n");
    ASSERT_EQ(tool({"add", sources, "PROFILE=Grüße", "SOURCE=/x\\y"}).exitCode, 0);
    ASSERT_EQ(tool({"set", sources, "2", "MODE=ASCII"}).exitCode, 0);

    // python-dbf marks a record deleted; the dump still lists it, with its mark.
    const auto del = test::runProcess(test::python(), {"-c",
                                                       "import dbf,sys\n"
                                                       "t=dbf.Table(sys.argv[1]); t.open(dbf.READ_WRITE)\n"
                                                       "with t[0] as r: dbf.delete(r)\n"
                                                       "t.close()",
                                                       sources});
    ASSERT_EQ(del.exitCode, 0) << del.err.toStdString();

    r = tool({"dump", sources});
    ASSERT_EQ(r.exitCode, 0) << r.err.toStdString();
    EXPECT_EQ(QString::fromUtf8(r.out), QString::fromUtf8("\tPROFILE\tSOURCE\tMODE\n"
                                                          "*\tsite\t/www/a\\tb\tBinary\n"
                                                          "\tGrüße\t/x\\\\y\tASCII\n"));

    r = tool({"set", sources, "1", "MODE=ASCII"});
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_TRUE(r.err.contains("deleted")) << r.err.toStdString();
}

TEST(CvbDbfTool, ErrorsAndUsageHaveTheirExitCodes)
{
    QTemporaryDir dir;
    ASSERT_EQ(tool({"init", dir.path()}).exitCode, 0);
    const QString log = QDir(dir.path()).filePath(LogTable);
    const QList<std::pair<QStringList, QByteArray>> failures = {
        {{"add", log, "NOSUCH=1"}, "NOSUCH"},
        {{"add", log, "DATE=someday"}, "someday"},
        {{"set", log, "1", "EVENT=x"}, "no record 1"},
        {{"dump", dir.path() + "/missing.dbf"}, "missing.dbf"},
    };
    for (const auto &[args, expected] : failures) {
        const auto r = tool(args);
        EXPECT_EQ(r.exitCode, 1) << args.join(' ').toStdString();
        EXPECT_TRUE(r.err.contains(expected)) << r.err.toStdString();
    }
    for (const QStringList &args : QList<QStringList>{
             {}, {"dump"}, {"frobnicate", log}, {"add", log, "EVENT"}, {"set", log, "zero", "EVENT=x"}}) {
        const auto r = tool(args);
        EXPECT_EQ(r.exitCode, 2) << args.join(' ').toStdString();
        EXPECT_TRUE(r.err.contains("usage: cvb-dbf")) << r.err.toStdString();
    }
    EXPECT_EQ(tool({"dump", log}).out, "\tDATE\tTIME\tEVENT\n") << "failed commands changed nothing";
}

// Two writers appending to one table at the same time: every record is kept, each in a place
// of its own.
TEST(CvbDbfTool, TwoWritersAppendingAtOnceLoseNothing)
{
    QTemporaryDir dir;
    ASSERT_EQ(tool({"init", dir.path()}).exitCode, 0);
    const QString log = QDir(dir.path()).filePath(LogTable);
    const QString script = QStringLiteral(
        "for i in $(seq 150); do \"$0\" add \"$1\" \"EVENT=$2 $i\" >/dev/null || exit 1; done");
    const QString program = qEnvironmentVariable("CVB_BUILD_DIR") + "/tools/cvb-dbf/cvb-dbf";
    QProcess first, second;
    first.start("/bin/bash", {"-c", script, program, log, "first"});
    second.start("/bin/bash", {"-c", script, program, log, "second"});
    ASSERT_TRUE(first.waitForFinished(600000) && second.waitForFinished(600000));
    EXPECT_EQ(first.exitCode(), 0) << first.readAllStandardError().toStdString();
    EXPECT_EQ(second.exitCode(), 0) << second.readAllStandardError().toStdString();

    const QByteArray dump = tool({"dump", log}).out;
    QSet<QByteArray> events;
    const QList<QByteArray> lines = dump.split('\n');
    for (qsizetype i = 1; i < lines.size(); ++i)
        if (!lines[i].isEmpty())
            events.insert(lines[i].split('\t').value(3));
    EXPECT_EQ(events.size(), 300);
    EXPECT_TRUE(events.contains("first 150") && events.contains("second 1"));
}
