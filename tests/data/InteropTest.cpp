// Tables written by the engine read back identically through dbfread, and tables
// written by python-dbf read back identically through the engine.
#include "data/Database.h"
#include "data/Layouts.h"
#include "data/Table.h"
#include "tests/support/Peers.h"

#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTemporaryDir>
#include <gtest/gtest.h>

using namespace cvb;

namespace {

const QString Script = QStringLiteral("tests/data/dbf_interop.py");

// dbfread's view of the tables, keyed by path.
QJsonObject describe(const QStringList &paths)
{
    const auto r =
        test::runProcess(test::python(), QStringList{test::sourcePath(Script), "describe"} + paths);
    EXPECT_EQ(r.exitCode, 0) << r.err.toStdString();
    return QJsonDocument::fromJson(r.out).object();
}

QJsonArray expectedFields(const TableLayout &layout)
{
    QJsonArray fields;
    for (const FieldDef &f : layout.fields)
        fields.append(
            QJsonArray{QString::fromLatin1(f.name), QString(QLatin1Char(char(f.type))), f.width, f.decimals});
    return fields;
}

QString pythonSpec(const TableLayout &layout)
{
    QStringList parts;
    for (const FieldDef &f : layout.fields) {
        QString part = QString::fromLatin1(f.name) + QLatin1Char(' ') + QLatin1Char(char(f.type));
        if (f.type == FieldType::Character)
            part += QStringLiteral("(%1)").arg(f.width);
        else if (f.type == FieldType::Numeric)
            part += QStringLiteral("(%1,%2)").arg(f.width).arg(f.decimals);
        parts << part;
    }
    return parts.join(QStringLiteral("; "));
}

void writeWithPythonDbf(const QString &path, const QJsonObject &request)
{
    const auto r = test::runProcess(test::python(), {test::sourcePath(Script), "write", path}, 120000,
                                    QJsonDocument(request).toJson());
    ASSERT_EQ(r.exitCode, 0) << r.err.toStdString();
}

QByteArray withoutUpdateDate(QByteArray bytes)
{
    if (bytes.size() > 4)
        bytes.replace(1, 3, QByteArray(3, '\0'));
    return bytes;
}

const QString Umlauts = QString::fromUtf8("Grüße aus Köln – 日本語 ✓");

} // namespace

TEST(Interop, DbfreadSeesTheExactLayoutsOfNewTables)
{
    QTemporaryDir dir;
    createMissingTables(dir.path());
    QStringList paths;
    for (const TableLayout *layout : allLayouts())
        paths << QDir(dir.path()).filePath(layout->fileName);
    const QJsonObject tables = describe(paths);
    for (const TableLayout *layout : allLayouts()) {
        const QJsonObject table = tables.value(QDir(dir.path()).filePath(layout->fileName)).toObject();
        EXPECT_EQ(table.value("fields").toArray(), expectedFields(*layout)) << layout->fileName.toStdString();
        const int records = layout->fileName == ConnectionTable ? 1 : 0;
        EXPECT_EQ(table.value("records").toArray().size(), records) << layout->fileName.toStdString();
    }
    const QJsonObject blank = tables.value(QDir(dir.path()).filePath(ConnectionTable))
                                  .toObject()
                                  .value("records")
                                  .toArray()
                                  .at(0)
                                  .toObject();
    EXPECT_EQ(blank.value("USERNAME").toString(), "");
    EXPECT_EQ(blank.value("USEDEFAULT").toBool(true), false);

    // The tool makes the same files as the program.
    QTemporaryDir toolDir;
    const QString tool = qEnvironmentVariable("CVB_BUILD_DIR") + "/tools/cvb-dbf/cvb-dbf";
    const auto r = test::runProcess(tool, {"init", toolDir.path() + "/db"});
    ASSERT_EQ(r.exitCode, 0) << r.err.toStdString();
    for (const TableLayout *layout : allLayouts()) {
        QFile mine(QDir(dir.path()).filePath(layout->fileName));
        QFile tools(toolDir.path() + "/db/" + layout->fileName);
        ASSERT_TRUE(mine.open(QIODevice::ReadOnly));
        ASSERT_TRUE(tools.open(QIODevice::ReadOnly)) << layout->fileName.toStdString();
        EXPECT_EQ(withoutUpdateDate(mine.readAll()), withoutUpdateDate(tools.readAll()))
            << layout->fileName.toStdString();
    }
}

TEST(Interop, ValuesWrittenByTheEngineReadBackThroughDbfread)
{
    QTemporaryDir dir;
    createMissingTables(dir.path());
    Table log(QStringLiteral("Table_Log"), nullptr);
    log.setFolder(dir.path());
    log.open(LogTable);
    // 99 ASCII characters and a two-byte one: the cut keeps the 99 and drops the whole "é".
    const QString longEvent = QString(99, QLatin1Char('x')) + QString::fromUtf8("é and more");
    const QList<std::pair<QDate, QString>> rows = {{QDate(2026, 12, 8), Umlauts},
                                                   {QDate(1999, 1, 31), longEvent},
                                                   {QDate(), "doomed"},
                                                   {QDate(2000, 2, 29), "last"}};
    for (const auto &[date, event] : rows) {
        log.insert();
        log.setDate("DATE", date);
        log.setString("TIME", "10:11:12 PM");
        log.setString("EVENT", event);
        log.post();
    }
    ASSERT_TRUE(log.locate("EVENT", "doomed"));
    log.deleteRecord();

    Table profiles(QStringLiteral("Table_Profiles"), nullptr);
    profiles.setFolder(dir.path());
    profiles.open(ProfilesTable, ProfileIndex);
    profiles.insert();
    profiles.setString("PROFILE", QString::fromUtf8("Bob's ") + QString(40, QChar(0x00E9)));
    profiles.setInt("INTERVAL", 23);
    profiles.setBool("ROTATE_DIR", true);
    profiles.setBool("EMAIL", false);
    profiles.setString("LASTDIR", "B");
    profiles.setBool("SUN", true);
    profiles.post();

    const QString logPath = QDir(dir.path()).filePath(LogTable);
    const QString profilesPath = QDir(dir.path()).filePath(ProfilesTable);
    const QJsonObject tables = describe({logPath, profilesPath});
    const QJsonArray logRows = tables.value(logPath).toObject().value("records").toArray();
    ASSERT_EQ(logRows.size(), 3);
    EXPECT_EQ(logRows[0].toObject().value("DATE").toString(), "2026-12-08");
    EXPECT_EQ(logRows[0].toObject().value("EVENT").toString(), Umlauts);
    EXPECT_EQ(logRows[0].toObject().value("TIME").toString(), "10:11:12 PM");
    EXPECT_EQ(logRows[1].toObject().value("EVENT").toString(), QString(99, QLatin1Char('x')));
    EXPECT_EQ(logRows[1].toObject().value("DATE").toString(), "1999-01-31");
    EXPECT_EQ(logRows[2].toObject().value("DATE").toString(), "2000-02-29");
    const QJsonArray deleted = tables.value(logPath).toObject().value("deleted").toArray();
    ASSERT_EQ(deleted.size(), 1);
    EXPECT_EQ(deleted[0].toObject().value("EVENT").toString(), "doomed");
    EXPECT_TRUE(deleted[0].toObject().value("DATE").isNull());

    const QJsonObject profile =
        tables.value(profilesPath).toObject().value("records").toArray().at(0).toObject();
    // 40 bytes: "Bob's " is 6, then 17 two-byte characters fit (34 bytes).
    EXPECT_EQ(profile.value("PROFILE").toString(), QString::fromUtf8("Bob's ") + QString(17, QChar(0x00E9)));
    EXPECT_EQ(profile.value("INTERVAL").toInt(), 23);
    EXPECT_EQ(profile.value("ROTATE_DIR").toBool(), true);
    EXPECT_EQ(profile.value("EMAIL").toBool(true), false);
    EXPECT_EQ(profile.value("ACTIVE").toBool(true), false) << "a logical never set reads false everywhere";
    EXPECT_EQ(profile.value("SUN").toBool(), true);
    EXPECT_EQ(profile.value("LASTDIR").toString(), "B");
    EXPECT_EQ(profile.value("PERFORM_IN").toString("unset"), "");
}

TEST(Interop, TablesWrittenByPythonDbfReadBackThroughTheEngine)
{
    QTemporaryDir dir;
    const QString profilesPath = QDir(dir.path()).filePath(ProfilesTable);
    writeWithPythonDbf(
        profilesPath,
        QJsonObject{
            {"fields", pythonSpec(profilesLayout())},
            {"records",
             QJsonArray{QJsonObject{{"PROFILE", "zeta"}, {"INTERVAL", 7}, {"ACTIVE", true}, {"MON", true}},
                        QJsonObject{{"PROFILE", "gone"}, {"ACTIVE", true}},
                        QJsonObject{{"PROFILE", Umlauts},
                                    {"KIND", "Daily Backup"},
                                    {"TIME", "09:30 pm"},
                                    {"ACTIVE", false},
                                    {"EM_ADDR", "ops@example.org"}}}},
            {"delete", QJsonArray{1}}});
    const QString logPath = QDir(dir.path()).filePath(LogTable);
    writeWithPythonDbf(logPath, QJsonObject{{"fields", pythonSpec(logLayout())},
                                            {"records", QJsonArray{QJsonObject{{"DATE", "2024-02-29"},
                                                                               {"TIME", "1:02:03"},
                                                                               {"EVENT", Umlauts}}}}});

    // The engine's own layout check accepts python-dbf's files.
    EXPECT_NO_THROW(createMissingTables(dir.path()));

    Table profiles(QStringLiteral("Table_Profiles"), nullptr);
    profiles.setFolder(dir.path());
    profiles.open(ProfilesTable, ProfileIndex);
    ASSERT_EQ(profiles.recordCount(), 2);
    profiles.first();
    EXPECT_EQ(profiles.asString("PROFILE"), Umlauts) << "'G' sorts before 'z'";
    EXPECT_EQ(profiles.asString("KIND"), "Daily Backup");
    EXPECT_EQ(profiles.asString("TIME"), "09:30 pm");
    EXPECT_EQ(profiles.asString("EM_ADDR"), "ops@example.org");
    EXPECT_FALSE(profiles.asBool("ACTIVE"));
    profiles.next();
    EXPECT_EQ(profiles.asString("PROFILE"), "zeta");
    EXPECT_EQ(profiles.asInt("INTERVAL"), 7);
    EXPECT_TRUE(profiles.asBool("ACTIVE"));
    EXPECT_TRUE(profiles.asBool("MON"));
    EXPECT_FALSE(profiles.asBool("TUE"));
    EXPECT_FALSE(profiles.locate("PROFILE", "gone"));

    Table log(QStringLiteral("Table_Log"), nullptr);
    log.setFolder(dir.path());
    log.open(LogTable);
    ASSERT_EQ(log.recordCount(), 1);
    EXPECT_EQ(log.asDate("DATE"), QDate(2024, 2, 29));
    EXPECT_EQ(log.asString("TIME"), "1:02:03");
    EXPECT_EQ(log.asString("EVENT"), Umlauts);

    // A record the engine adds to python-dbf's file is read by dbfread next to the others.
    log.insert();
    log.setDate("DATE", QDate(2025, 1, 1));
    log.setString("EVENT", "appended");
    log.post();
    const QJsonArray rows = describe({logPath}).value(logPath).toObject().value("records").toArray();
    ASSERT_EQ(rows.size(), 2);
    EXPECT_EQ(rows[0].toObject().value("EVENT").toString(), Umlauts);
    EXPECT_EQ(rows[1].toObject().value("EVENT").toString(), "appended");
    EXPECT_EQ(rows[1].toObject().value("DATE").toString(), "2025-01-01");
}
