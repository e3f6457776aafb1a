// The program as a user starts it: command line, database folder set-up, single instance.
#include "tests/support/DbfRead.h"
#include "tests/support/Files.h"

#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>
#include <QThread>
#include <gtest/gtest.h>

namespace {

QString program()
{
    return qEnvironmentVariable("CVB_BUILD_DIR") + QStringLiteral("/app/corvale-backup");
}

cvb::test::ProcessResult run(const QStringList &args)
{
    return cvb::test::runProcess(program(), args, 60000);
}

const QStringList TableFiles{"FTP Profiles.DBF", "FTP Sources.DBF", "FTP Queue.dbf", "FTP Log.dbf",
                             "FTP Connection.dbf"};

// The layouts, field by field: name, type, width, decimals.
const QList<QStringList> ExpectedLayouts{
    {"PROFILE C 40 0",     "KIND C 100 0",     "INTERVAL N 6 0", "TIME C 20 0",      "TARGET_LOC C 200 0",
     "ROTATE_DIR L 1 0",   "DTSTAMP_DI L 1 0", "EMAIL L 1 0",    "EM_ADDR C 100 0",  "LASTDIR C 1 0",
     "PERFORM_IN C 100 0", "LASTDONE C 100 0", "ACTIVE L 1 0",   "DETAI_EMAI L 1 0", "MON L 1 0",
     "TUE L 1 0",          "WED L 1 0",        "THU L 1 0",      "FRI L 1 0",        "SAT L 1 0",
     "SUN L 1 0"},
    {"PROFILE C 40 0", "SOURCE C 200 0", "MODE C 20 0"},
    {"PROFILE C 40 0", "TIME_SUBMI C 30 0", "TIME_START C 30 0", "TIME_DONE C 30 0"},
    {"DATE D 8 0", "TIME C 20 0", "EVENT C 100 0"},
    {"USERNAME C 50 0", "PASSWORD C 20 0", "DOMAIN C 100 0", "FIREWALL L 1 0", "SMTP C 100 0",
     "USERID C 30 0", "PASSCODE C 30 0", "EMAILADDR C 40 0", "PHONENUM C 40 0", "USEDEFAULT L 1 0",
     "ISP C 100 0"},
};

// The program is up when its tables are there and its lock names it (the lock is taken after it
// is ready to end cleanly on a termination signal).
bool programReady(const QDir &folder, qint64 pid)
{
    for (const QString &file : TableFiles)
        if (!folder.exists(file))
            return false;
    QFile lock(folder.filePath(QStringLiteral("corvale-backup.lock")));
    return lock.open(QIODevice::ReadOnly) && lock.readAll().trimmed() == QByteArray::number(pid);
}

// Starts the program on `folder` and waits until it is up; `display` false: as on a machine with
// no display at all.
bool startProgram(QProcess &process, const QString &folder, bool display = true)
{
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    if (display) {
        env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    } else {
        for (const char *name : {"QT_QPA_PLATFORM", "DISPLAY", "WAYLAND_DISPLAY"})
            env.remove(QString::fromLatin1(name));
    }
    process.setProcessEnvironment(env);
    process.start(program(), {QStringLiteral("--data"), folder});
    if (!process.waitForStarted(10000))
        return false;
    for (int i = 0; i < 600 && !programReady(QDir(folder), process.processId()); ++i)
        if (process.waitForFinished(100))
            return false;
    return programReady(QDir(folder), process.processId());
}

// Asks the program to end as the system would at log-out, and waits for it.
int stopProgram(QProcess &process)
{
    process.terminate();
    if (!process.waitForFinished(60000)) {
        process.kill();
        process.waitForFinished();
        return -1;
    }
    return process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
}

} // namespace

TEST(Program, HelpAndVersionPrintAndExitZero)
{
    const auto help = run({QStringLiteral("--help")});
    EXPECT_EQ(help.exitCode, 0);
    EXPECT_TRUE(help.out.startsWith(
        "Usage: corvale-backup [--data DIR] [--background] [--run-profile NAME] [--help] [--version]"))
        << help.out.toStdString();

    const auto version = run({QStringLiteral("--version")});
    EXPECT_EQ(version.exitCode, 0);
    EXPECT_EQ(version.out, QByteArray("corvale-backup " CVB_VERSION "\n"));
}

TEST(Program, WithoutADisplayItSaysSoOnStandardErrorAndRunsItsSchedule)
{
    QTemporaryDir dir;
    QProcess process;
    ASSERT_TRUE(startProgram(process, dir.path(), false)) << process.readAllStandardError().toStdString();
    EXPECT_EQ(stopProgram(process), 0);
    const QByteArray err = process.readAllStandardError();
    EXPECT_TRUE(err.contains("corvale-backup: no display found")) << err.toStdString();
    EXPECT_TRUE(err.contains("running the backup schedule without windows")) << err.toStdString();
}

TEST(Program, AnUnknownOptionPrintsTheUsageToStandardErrorAndExitsTwo)
{
    for (const char *option : {"--bogus", "--data"}) {
        const auto result = run({QString::fromUtf8(option)});
        EXPECT_EQ(result.exitCode, 2) << option;
        EXPECT_TRUE(result.out.isEmpty()) << option;
        EXPECT_TRUE(result.err.contains("Usage: corvale-backup")) << result.err.toStdString();
    }
    EXPECT_TRUE(run({QStringLiteral("--bogus")}).err.contains("unknown option: --bogus"));
}

TEST(Program, CreatesTheFiveTablesInAnEmptyFolderWithExactlyTheirLayouts)
{
    QTemporaryDir dir;
    const QString folder = dir.filePath(QStringLiteral("new database"));
    QProcess process;
    ASSERT_TRUE(startProgram(process, folder)) << process.readAllStandardError().toStdString();
    EXPECT_EQ(stopProgram(process), 0) << process.readAllStandardError().toStdString();

    QStringList paths;
    for (const QString &file : TableFiles)
        paths << QDir(folder).filePath(file);
    const QJsonObject tables = describeWithDbfread(paths);
    for (int t = 0; t < paths.size(); ++t) {
        const QJsonObject table = tables.value(paths.at(t)).toObject();
        QStringList fields;
        for (const QJsonValue &f : table.value("fields").toArray()) {
            const QJsonArray a = f.toArray();
            fields << QStringLiteral("%1 %2 %3 %4")
                          .arg(a.at(0).toString(), a.at(1).toString())
                          .arg(a.at(2).toInt())
                          .arg(a.at(3).toInt());
        }
        EXPECT_EQ(fields, ExpectedLayouts.at(t)) << TableFiles.at(t).toStdString();
        // The connection table starts with its one blank settings record; the others empty.
        EXPECT_EQ(table.value("records").toArray().size(), TableFiles.at(t) == "FTP Connection.dbf" ? 1 : 0)
            << TableFiles.at(t).toStdString();
    }
    EXPECT_EQ(QFile::permissions(QDir(folder).filePath("FTP Connection.dbf")) & 0x0077, 0)
        << "the connection table holds passwords";
}

TEST(Program, ASecondInstanceOnTheSameFolderIsRefusedWithAClearMessage)
{
    QTemporaryDir dir;
    QProcess first;
    ASSERT_TRUE(startProgram(first, dir.path())) << first.readAllStandardError().toStdString();
    // The tables are made after the lock is taken: once they are there, the folder is held.
    ASSERT_TRUE(
        QTest::qWaitFor([&] { return QFile::exists(QDir(dir.path()).filePath("FTP Log.dbf")); }, 30000));
    const auto second = run({QStringLiteral("--data"), dir.path()});
    EXPECT_EQ(second.exitCode, 1);
    EXPECT_TRUE(second.err.contains(dir.path().toUtf8())) << second.err.toStdString();
    EXPECT_EQ(stopProgram(first), 0);

    // Once the first has ended, the folder is free again.
    QProcess third;
    ASSERT_TRUE(startProgram(third, dir.path())) << third.readAllStandardError().toStdString();
    EXPECT_EQ(stopProgram(third), 0) << third.readAllStandardError().toStdString();
}

TEST(Program, AFolderThatCannotBeMadeIsNamedAndNothingStarts)
{
    QTemporaryDir dir;
    QFile plainFile(dir.filePath(QStringLiteral("not-a-folder")));
    ASSERT_TRUE(plainFile.open(QIODevice::WriteOnly));
    plainFile.close();
    const QString folder = plainFile.fileName() + QStringLiteral("/db");
    const auto result = run({QStringLiteral("--data"), folder});
    EXPECT_EQ(result.exitCode, 1);
    EXPECT_TRUE(result.err.contains(folder.toUtf8())) << result.err.toStdString();
}

TEST(Program, ADamagedTableIsNamedAndLeftAsItWas)
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("FTP Log.dbf"));
    const QByteArray damaged("this is no dBase table");
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(damaged);
    file.close();

    const auto result = run({QStringLiteral("--data"), dir.path()});
    EXPECT_EQ(result.exitCode, 1);
    EXPECT_TRUE(result.err.contains("FTP Log.dbf")) << result.err.toStdString();
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    EXPECT_EQ(file.readAll(), damaged);
}

TEST(Program, PrintLogWritesNoFileForAnEmptyLogAndNamesAFileItCannotWrite)
{
    QTemporaryDir dir;
    QTemporaryDir reports; // the report is never written into the database folder
    const auto dbf = [&dir](const QStringList &args) {
        const auto r = cvb::test::runProcess(
            qEnvironmentVariable("CVB_BUILD_DIR") + QStringLiteral("/tools/cvb-dbf/cvb-dbf"), args);
        EXPECT_EQ(r.exitCode, 0) << r.err.toStdString();
    };
    dbf({QStringLiteral("init"), dir.path()});
    const QString pdf = reports.filePath(QStringLiteral("log.pdf"));
    const auto empty = run({QStringLiteral("--data"), dir.path(), QStringLiteral("--print-log"), pdf});
    EXPECT_EQ(empty.exitCode, 0) << empty.err.toStdString();
    EXPECT_TRUE(empty.out.contains("empty")) << empty.out.toStdString();
    EXPECT_FALSE(QFile::exists(pdf));

    dbf({QStringLiteral("add"), dir.filePath(QStringLiteral("FTP Log.dbf")), QStringLiteral("DATE=20240305"),
         QStringLiteral("TIME=2:07:09 PM"), QStringLiteral("EVENT= Begining backup profile Site")});
    const QString nowhere = reports.filePath(QStringLiteral("no folder/log.pdf"));
    const auto unwritable =
        run({QStringLiteral("--data"), dir.path(), QStringLiteral("--print-log"), nowhere});
    EXPECT_EQ(unwritable.exitCode, 1);
    EXPECT_TRUE(unwritable.err.contains(nowhere.toUtf8())) << unwritable.err.toStdString();

    const auto written = run({QStringLiteral("--data"), dir.path(), QStringLiteral("--print-log"), pdf});
    EXPECT_EQ(written.exitCode, 0) << written.err.toStdString();
    EXPECT_TRUE(cvb::test::readFile(pdf).startsWith("%PDF"));
}

TEST(Program, PrintLogNamesTheFileItCannotWriteOrTheLogItCannotRead)
{
    QTemporaryDir dir;
    QTemporaryDir reports; // the report is never written into the database folder
    // No database at all: the missing log is named.
    const QString pdf = reports.filePath(QStringLiteral("log.pdf"));
    const auto missing = run({QStringLiteral("--data"), dir.path(), QStringLiteral("--print-log"), pdf});
    EXPECT_EQ(missing.exitCode, 1);
    EXPECT_TRUE(missing.err.contains("FTP Log.dbf")) << missing.err.toStdString();

    // A damaged log is named and left as it was.
    const QString log = dir.filePath(QStringLiteral("FTP Log.dbf"));
    ASSERT_TRUE(cvb::test::writeFile(log, "this is no dBase table"));
    const auto damaged = run({QStringLiteral("--data"), dir.path(), QStringLiteral("--print-log"), pdf});
    EXPECT_EQ(damaged.exitCode, 1);
    EXPECT_TRUE(damaged.err.contains(log.toUtf8())) << damaged.err.toStdString();
    EXPECT_EQ(cvb::test::readFile(log), QByteArray("this is no dBase table"));
    EXPECT_FALSE(QFile::exists(pdf));
}
