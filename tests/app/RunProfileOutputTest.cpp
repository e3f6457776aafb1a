// What corvale-backup --run-profile prints: on a terminal a progress line rewritten in place,
// without one only the summary line.
#include "MainWinFixture.h"

#include "data/Layouts.h"
#include "tests/support/Files.h"
#include "tests/support/FtpServer.h"
#include "tests/support/Peers.h"

#include <QProcess>
#include <QRegularExpression>

namespace {

class RunProfileOutput : public MainWinTest
{
protected:
    // A profile "Slow" with one file of 400 kB, sent at 40 kB a second; the tables are let go
    // for the program.
    void prepare(int port)
    {
        cvb::Table cnct;
        cnct.open(cvb::ConnectionTable);
        cnct.edit();
        cnct.setString(QStringLiteral("DOMAIN"), QStringLiteral("127.0.0.1:%1").arg(port));
        cnct.setString(QStringLiteral("USERNAME"), QStringLiteral("tester"));
        cnct.setString(QStringLiteral("PASSWORD"), QStringLiteral("secret"));
        cnct.setBool(QStringLiteral("USEDEFAULT"), true);
        cnct.post();
        cvb::Table profiles;
        profiles.open(cvb::ProfilesTable, cvb::ProfileIndex);
        profiles.insert();
        profiles.setString(QStringLiteral("PROFILE"), QStringLiteral("Slow"));
        profiles.setString(QStringLiteral("TARGET_LOC"), dir.filePath("backups"));
        profiles.setBool(QStringLiteral("ACTIVE"), true);
        profiles.post();
        cvb::Table sources;
        sources.open(cvb::SourcesTable, cvb::ProfileIndex);
        sources.insert();
        sources.setString(QStringLiteral("PROFILE"), QStringLiteral("Slow"));
        sources.setString(QStringLiteral("SOURCE"), QStringLiteral("/slow.bin"));
        sources.setString(QStringLiteral("MODE"), QStringLiteral("Binary"));
        sources.post();
        ASSERT_TRUE(QDir().mkpath(dir.filePath("backups")));
        lock.reset();
        // Qt warns on standard error without a runtime folder, as cron leaves it.
        ASSERT_TRUE(QDir().mkpath(dir.filePath("runtime")));
        QFile::setPermissions(dir.filePath("runtime"),
                              QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        qputenv("XDG_RUNTIME_DIR", dir.filePath("runtime").toUtf8());
    }

    void TearDown() override
    {
        qunsetenv("XDG_RUNTIME_DIR");
        MainWinTest::TearDown();
    }

    QString program() const
    {
        return qEnvironmentVariable("CVB_BUILD_DIR") + QStringLiteral("/app/corvale-backup");
    }
};

const QRegularExpression
    summary(QStringLiteral("^Slow: backup succeeded, 1 file, 400 kB in \\d+:\\d\\d\\n$"));

TEST_F(RunProfileOutput, OnATerminalAProgressLineIsRewrittenInPlaceAndTheSummaryEndsIt)
{
    QTemporaryDir site;
    ASSERT_TRUE(cvb::test::writeFile(site.filePath("slow.bin"), QByteArray(400000, 's')));
    cvb::test::OddFtpServer server(site.path(), {}, false, 40000);
    ASSERT_GT(server.port(), 0);
    prepare(server.port());
    const QString command =
        program() + QStringLiteral(" --data '") + dir.path() + QStringLiteral("' --run-profile Slow");
    const cvb::test::ProcessResult run = cvb::test::runProcess(
        QStringLiteral("script"), {QStringLiteral("-qec"), command, QStringLiteral("/dev/null")});
    const QString shown = QString::fromUtf8(run.out);
    EXPECT_EQ(run.exitCode, 0) << shown.toStdString();
    EXPECT_TRUE(shown.contains(QStringLiteral("\rSlow: 0 of 1 files done, "))) << shown.toStdString();
    EXPECT_TRUE(shown.contains(QStringLiteral("/s, 0:0"))) << shown.toStdString();
    EXPECT_TRUE(shown.contains(QStringLiteral(" /slow.bin\x1b[K"))) << shown.toStdString();
    // The progress line is cleared, then the summary stands on its own line.
    const QString last = shown.section(QStringLiteral("\r\x1b[K"), -1);
    EXPECT_TRUE(
        QRegularExpression(QStringLiteral("^Slow: backup succeeded, 1 file, 400 kB in \\d+:\\d\\d\\r\\n$"))
            .match(last)
            .hasMatch())
        << shown.toStdString();
}

TEST_F(RunProfileOutput, WithoutATerminalOnlyTheSummaryLineIsPrinted)
{
    QTemporaryDir site;
    ASSERT_TRUE(cvb::test::writeFile(site.filePath("slow.bin"), QByteArray(400000, 's')));
    cvb::test::OddFtpServer server(site.path(), {}, false, 40000);
    ASSERT_GT(server.port(), 0);
    prepare(server.port());
    QProcess process;
    process.setProcessChannelMode(QProcess::MergedChannels);
    process.start(program(), {QStringLiteral("--data"), dir.path(), QStringLiteral("--run-profile"),
                              QStringLiteral("Slow")});
    ASSERT_TRUE(process.waitForFinished(60000));
    EXPECT_EQ(process.exitCode(), 0);
    const QString output = QString::fromUtf8(process.readAll());
    EXPECT_TRUE(summary.match(output).hasMatch()) << output.toStdString();
}

} // namespace
