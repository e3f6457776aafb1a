// What reaches the disk and when; damaged, foreign and mismatching files; the database
// folder, its lock and the permissions of the connection table.
#include "data/DataError.h"
#include "data/Database.h"
#include "data/DbfFile.h"
#include "data/Layouts.h"
#include "data/Table.h"

#include "tests/support/Files.h"
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <sys/stat.h>

using namespace cvb;

namespace {

using test::readFile;

void writeFile(const QString &path, const QByteArray &bytes)
{
    ASSERT_TRUE(test::writeFile(path, bytes)) << path.toStdString();
}

quint32 headerCount(const QByteArray &file)
{
    return quint32(quint8(file[4])) | quint32(quint8(file[5])) << 8 | quint32(quint8(file[6])) << 16 |
           quint32(quint8(file[7])) << 24;
}

void setHeaderCount(QByteArray &file, quint32 count)
{
    for (int i = 0; i < 4; ++i)
        file[4 + i] = char((count >> (8 * i)) & 0xFF);
}

unsigned modeOf(const QString &path)
{
    struct stat st
    {
    };
    ::stat(QFile::encodeName(path).constData(), &st);
    return st.st_mode & 0777;
}

// The message of the DataError that `action` raises, or empty when it raises none.
template <typename F> QString errorOf(F action)
{
    try {
        action();
    } catch (const DataError &e) {
        return e.message();
    }
    return {};
}

class StorageTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(dir.isValid());
        createMissingTables(dir.path());
    }

    QString path(const QString &file) const { return QDir(dir.path()).filePath(file); }

    std::unique_ptr<Table> openLog()
    {
        auto t = std::make_unique<Table>(QStringLiteral("Table_Log"), nullptr);
        t->setFolder(dir.path());
        t->open(LogTable);
        return t;
    }

    void addEvents(Table &log, int count)
    {
        for (int i = 0; i < count; ++i) {
            log.insert();
            log.setString("EVENT", QStringLiteral("event %1").arg(i));
            log.post();
        }
    }

    QTemporaryDir dir;
};

} // namespace

TEST_F(StorageTest, PostAndDeleteAreOnDiskWhenTheyReturn)
{
    auto log = openLog();
    const int recordSize = logLayout().recordSize();
    const int headerSize = 32 + 32 * 3 + 1;
    addEvents(*log, 2);
    QByteArray file = readFile(path(LogTable));
    EXPECT_EQ(headerCount(file), 2u);
    EXPECT_EQ(file.size(), headerSize + 2 * recordSize + 1);
    EXPECT_EQ(file.back(), '\x1A');
    EXPECT_EQ(file.mid(headerSize + recordSize + 1 + 8 + 20, 7), "event 1");

    log->first();
    log->edit();
    log->setString("EVENT", "changed");
    log->post();
    file = readFile(path(LogTable));
    EXPECT_EQ(file.mid(headerSize + 1 + 8 + 20, 8), "changed ");

    log->deleteRecord();
    file = readFile(path(LogTable));
    EXPECT_EQ(file[headerSize], '*');
    EXPECT_EQ(headerCount(file), 2u) << "deleting marks the record; nothing is packed";
}

TEST_F(StorageTest, HeaderCountThatDisagreesKeepsEveryWholeRecordAndChangesNothing)
{
    {
        auto log = openLog();
        addEvents(*log, 3);
    }
    QByteArray original = readFile(path(LogTable));

    // A crash between writing a record and its header count leaves the count behind.
    setHeaderCount(original, 1);
    writeFile(path(LogTable), original);
    auto behind = openLog();
    EXPECT_EQ(behind->recordCount(), 3);
    EXPECT_TRUE(behind->notice().contains("FTP Log.dbf")) << behind->notice().toStdString();
    EXPECT_EQ(readFile(path(LogTable)), original);

    // A count larger than the file: only the records that are there.
    setHeaderCount(original, 9);
    writeFile(path(LogTable), original);
    auto ahead = openLog();
    EXPECT_EQ(ahead->recordCount(), 3);
    EXPECT_EQ(readFile(path(LogTable)), original);

    // Appending through the engine makes the count right again.
    addEvents(*ahead, 1);
    EXPECT_EQ(headerCount(readFile(path(LogTable))), 4u);
}

TEST_F(StorageTest, TornLastRecordIsSkippedNeverCutOffAndReplacedByTheNextAppend)
{
    {
        auto log = openLog();
        addEvents(*log, 2);
    }
    QByteArray file = readFile(path(LogTable));
    file.chop(1); // the end-of-file mark
    file += QByteArray(" 20260101half a rec", 19);
    setHeaderCount(file, 3);
    writeFile(path(LogTable), file);

    auto log = openLog();
    EXPECT_EQ(log->recordCount(), 2);
    EXPECT_TRUE(log->notice().contains("torn")) << log->notice().toStdString();
    log->last();
    EXPECT_EQ(log->asString("EVENT"), "event 1");
    EXPECT_EQ(readFile(path(LogTable)), file) << "opening changes nothing";

    addEvents(*log, 1);
    auto again = openLog();
    EXPECT_EQ(again->recordCount(), 3);
    again->last();
    EXPECT_EQ(again->asString("EVENT"), "event 0");
    EXPECT_EQ(headerCount(readFile(path(LogTable))), 3u);
}

TEST_F(StorageTest, ForeignAndDamagedFilesAreRefusedByNameAndLeftAlone)
{
    const QByteArray good = readFile(path(QueueTable));
    auto damaged = [&](int at, QByteArray bytes) {
        QByteArray file = good;
        file.replace(at, bytes.size(), bytes);
        return file;
    };
    const QList<std::pair<QByteArray, QString>> cases = {
        {"PROFILE,TIME\nfoo,bar\n", "not a dBase III table"},
        {QByteArray("\x03\x7e", 2), "too short"},
        {damaged(0, "\x30"), "version byte 0x30"},
        {damaged(8, QByteArray("\xff\x7f", 2)), "header length"},
        {damaged(10, QByteArray("\x10\x00", 2)), "record length"},
        {damaged(32 + 16, QByteArray("\x00", 1)), "width 0"},
        {damaged(32 + 11, "M"), "unsupported type"},
        {damaged(32 + 4 * 32, "X"), "no end mark"},
    };
    for (const auto &[bytes, expected] : cases) {
        writeFile(path(QueueTable), bytes);
        const QString message = errorOf([&] {
            Table queue(QStringLiteral("Table_Queue"), nullptr);
            queue.setFolder(dir.path());
            queue.open(QueueTable);
        });
        EXPECT_TRUE(message.contains(path(QueueTable)) && message.contains(expected))
            << "expected '" << expected.toStdString() << "' in: " << message.toStdString();
        EXPECT_EQ(readFile(path(QueueTable)), bytes);
        EXPECT_FALSE(errorOf([&] { createMissingTables(dir.path()); }).isEmpty());
        EXPECT_EQ(readFile(path(QueueTable)), bytes);
    }
}

// The codecs write one byte for a logical field and eight for a date: a header that says
// otherwise would have them write past the field.
TEST_F(StorageTest, LogicalAndDateFieldsOfAnotherWidthAreADamagedHeader)
{
    for (const auto &[type, width] : {std::pair{FieldType::Logical, 2}, std::pair{FieldType::Date, 6}}) {
        const QString file = path(QStringLiteral("odd.dbf"));
        QFile::remove(file);
        DbfFile::create(file, TableLayout{QStringLiteral("odd.dbf"), {{"FLAG", type, width, 0}}}, 1, 0644);
        const QByteArray before = readFile(file);
        const QString message = errorOf([&] { DbfFile::open(file); });
        EXPECT_TRUE(message.contains(QStringLiteral("damaged header")) &&
                    message.contains(QStringLiteral("FLAG")))
            << message.toStdString();
        EXPECT_EQ(readFile(file), before);
    }
}

TEST_F(StorageTest, LayoutCheckNamesFileAndFieldAndTouchesNothing)
{
    // A log table whose EVENT is narrower, one with a field renamed, one with a field too many.
    TableLayout narrow = logLayout();
    narrow.fields[2].width = 80;
    TableLayout renamed = logLayout();
    renamed.fields[1].name = "CLOCK";
    TableLayout longer = logLayout();
    longer.fields.append({"EXTRA", FieldType::Character, 5, 0});
    const QList<std::pair<const TableLayout *, QString>> cases = {
        {&narrow, "EVENT C(80), expected EVENT C(100)"},
        {&renamed, "field 2 is CLOCK C(20), expected TIME C(20)"},
        {&longer, "unexpected field EXTRA"},
    };
    for (const auto &[layout, expected] : cases) {
        QFile::remove(path(LogTable));
        QFile::remove(path(SourcesTable));
        DbfFile::create(path(LogTable), *layout, 0, 0644);
        const QByteArray before = readFile(path(LogTable));
        const QString message = errorOf([&] { createMissingTables(dir.path()); });
        EXPECT_TRUE(message.contains(path(LogTable)) && message.contains(expected))
            << "expected '" << expected.toStdString() << "' in: " << message.toStdString();
        EXPECT_EQ(readFile(path(LogTable)), before);
        EXPECT_TRUE(QFileInfo::exists(path(SourcesTable))) << "the other missing tables are still made";
        EXPECT_FALSE(errorOf([&] {
                         Table log(QStringLiteral("Table_Log"), nullptr);
                         log.setFolder(dir.path());
                         log.open(LogTable);
                     }).isEmpty());
    }
}

TEST(Database, FolderIsCreatedPrivateAndTablesWithTheirModes)
{
    QTemporaryDir base;
    const QString folder = base.path() + "/a/b/cvb";
    const auto lock = openDatabase(folder);
    EXPECT_EQ(modeOf(folder), 0700u);
    EXPECT_EQ(aliasFolder(), folder);
    for (const TableLayout *layout : allLayouts())
        EXPECT_TRUE(QFileInfo::exists(folder + "/" + layout->fileName)) << layout->fileName.toStdString();
    EXPECT_EQ(modeOf(folder + "/" + ConnectionTable), 0600u);

    // A connection table made readable by others is made private again at start-up.
    ::chmod(QFile::encodeName(folder + "/" + ConnectionTable).constData(), 0644);
    const QByteArray before = readFile(folder + "/" + ConnectionTable);
    EXPECT_TRUE(createMissingTables(folder).isEmpty());
    EXPECT_EQ(modeOf(folder + "/" + ConnectionTable), 0600u);
    EXPECT_EQ(readFile(folder + "/" + ConnectionTable), before);

    Table cnct(QStringLiteral("Table_Cnct"), nullptr);
    cnct.open(ConnectionTable);
    EXPECT_EQ(cnct.recordCount(), 1);
    EXPECT_EQ(cnct.filePath(), folder + "/" + ConnectionTable);
}

TEST(Database, SecondInstanceIsRefusedWithAnExplanation)
{
    QTemporaryDir folder;
    {
        InstanceLock first(folder.path());
        const QString message = errorOf([&] { InstanceLock second(folder.path()); });
        EXPECT_TRUE(message.contains(folder.path()) && message.contains("already running"))
            << message.toStdString();
    }
    EXPECT_TRUE(errorOf([&] { InstanceLock again(folder.path()); }).isEmpty())
        << "the lock ends with its holder";
}

TEST(Database, UnusableFoldersAreNamed)
{
    QTemporaryDir base;
    writeFile(base.path() + "/plain", "x");
    QString message = errorOf([&] { prepareDataFolder(base.path() + "/plain"); });
    EXPECT_TRUE(message.contains(base.path() + "/plain") && message.contains("not a folder"))
        << message.toStdString();
    message = errorOf([&] { prepareDataFolder(base.path() + "/plain/below"); });
    EXPECT_TRUE(message.contains(base.path() + "/plain/below")) << message.toStdString();
    EXPECT_EQ(readFile(base.path() + "/plain"), "x");
}

TEST(Database, FolderComesFromOptionThenEnvironmentThenXdg)
{
    const QByteArray oldData = qgetenv("CVB_DATA");
    const QByteArray oldXdg = qgetenv("XDG_DATA_HOME");
    qputenv("CVB_DATA", "/env/db");
    qputenv("XDG_DATA_HOME", "/xdg");
    EXPECT_EQ(resolveDataFolder("/opt/db/"), "/opt/db");
    EXPECT_EQ(resolveDataFolder(), "/env/db");
    qunsetenv("CVB_DATA");
    EXPECT_EQ(resolveDataFolder(), "/xdg/corvale-backup");
    qunsetenv("XDG_DATA_HOME");
    EXPECT_EQ(resolveDataFolder(), QDir::homePath() + "/.local/share/corvale-backup");
    qputenv("CVB_DATA", oldData);
    qputenv("XDG_DATA_HOME", oldXdg);
    if (oldData.isEmpty())
        qunsetenv("CVB_DATA");
    if (oldXdg.isEmpty())
        qunsetenv("XDG_DATA_HOME");
}
