// How values are cut, padded and read back, and how stored letters read as logicals.
#include "data/DataError.h"
#include "data/Database.h"
#include "data/FieldCodec.h"
#include "data/Filter.h"
#include "data/Layouts.h"
#include "data/Table.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>

using namespace cvb;

TEST(FieldValues, CuttingNeverSplitsACharacter)
{
    const QString e = QString::fromUtf8("é");              // 2 bytes
    const QString euro = QString::fromUtf8("€");           // 3 bytes
    const QString smile = QString::fromUtf8("\U0001F600"); // 4 bytes, two UTF-16 units
    EXPECT_EQ(cutToBytes("abc", 3), "abc");
    EXPECT_EQ(cutToBytes("ab" + e, 3), "ab");
    EXPECT_EQ(cutToBytes("ab" + e, 4), "ab" + e);
    EXPECT_EQ(cutToBytes("a" + euro, 3), "a");
    EXPECT_EQ(cutToBytes("a" + smile + "b", 4), "a");
    EXPECT_EQ(cutToBytes("a" + smile + "b", 5), "a" + smile);
    EXPECT_EQ(cutToBytes(smile, 0), "");
    EXPECT_EQ(encodeText("a" + euro, 3), "a  ");
    EXPECT_EQ(decodeText("  lead  \0\0", 10), "  lead") << "leading blanks stay, trailing blanks and NULs go";
}

TEST(FieldValues, StoredLettersReadAsLogicalsTheWayDbaseReadersDo)
{
    for (char c : {'T', 't', 'Y', 'y'})
        EXPECT_TRUE(decodeLogical(c)) << c;
    for (char c : {'F', 'f', 'N', 'n', '?', ' ', '\0'})
        EXPECT_FALSE(decodeLogical(c)) << c;
}

TEST(FieldValues, TypedAccessThroughACursor)
{
    QTemporaryDir dir;
    createMissingTables(dir.path());
    Table profiles(QStringLiteral("Table_Profiles"), nullptr);
    profiles.setFolder(dir.path());
    profiles.open(ProfilesTable);
    profiles.insert();
    EXPECT_FALSE(profiles.asBool("ACTIVE"));
    EXPECT_EQ(profiles.asInt("INTERVAL"), 0) << "a blank number reads 0";
    profiles.setInt("INTERVAL", -32768);
    EXPECT_EQ(profiles.asInt("INTERVAL"), -32768);
    EXPECT_THROW(profiles.setInt("INTERVAL", 1234567), DataError) << "does not fit six places";
    EXPECT_THROW(profiles.setString("INTERVAL", "12x"), DataError);
    EXPECT_THROW(profiles.setString("ACTIVE", "perhaps"), DataError);
    profiles.setString("ACTIVE", "True");
    EXPECT_TRUE(profiles.asBool("ACTIVE"));
    profiles.setString("TIME", "09:30 pm with far too many characters");
    EXPECT_EQ(profiles.asString("TIME"), "09:30 pm with far to");
    profiles.post();

    Table log(QStringLiteral("Table_Log"), nullptr);
    log.setFolder(dir.path());
    log.open(LogTable);
    log.insert();
    EXPECT_FALSE(log.asDate("DATE").isValid());
    log.setDate("DATE", QDate(2026, 12, 31));
    EXPECT_EQ(log.asString("DATE"), "20261231");
    log.setString("DATE", "2027-01-02");
    EXPECT_EQ(log.asDate("DATE"), QDate(2027, 1, 2));
    EXPECT_THROW(log.setString("DATE", "tomorrow"), DataError);
    log.post();
    log.reopen();
    EXPECT_EQ(log.asDate("DATE"), QDate(2027, 1, 2));
}

TEST(FieldValues, LogicalLettersOfOtherWritersReadBack)
{
    QTemporaryDir dir;
    createMissingTables(dir.path());
    const QString path = QDir(dir.path()).filePath(ConnectionTable);
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::ReadWrite));
    const QByteArray bytes = file.readAll();
    const int firewall = bytes.indexOf('\r') + 1 + 1 + 50 + 20 + 100; // header end, flag, three fields
    const QList<std::pair<char, bool>> letters = {
        {'Y', true}, {'t', true}, {'n', false}, {'?', false}, {' ', false}};
    for (const auto &[letter, expected] : letters) {
        file.seek(firewall);
        file.write(&letter, 1);
        file.flush();
        Table cnct(QStringLiteral("Table_Cnct"), nullptr);
        cnct.setFolder(dir.path());
        cnct.open(ConnectionTable);
        EXPECT_EQ(cnct.asBool("FIREWALL"), expected) << letter;
        EXPECT_FALSE(cnct.asBool("USEDEFAULT"));
    }
}

TEST(FieldValues, ProfileFiltersMatchExactlyTheNameTheyWereBuiltFrom)
{
    const QList<FieldDef> fields = sourcesLayout().fields;
    QByteArray record = blankRecord(fields);
    const QStringList names = {
        "it's", "''", "'", "a = b", "O'Neil's \"best\" site", QString::fromUtf8("Grüße")};
    for (const QString &name : names) {
        record.replace(1, 40, encodeText(name, 40));
        EXPECT_TRUE(parseFilter(fields, profileFilter(name)).matches(record.constData()))
            << name.toStdString();
        EXPECT_FALSE(parseFilter(fields, profileFilter(name + "x")).matches(record.constData()))
            << name.toStdString();
    }
    // Blanks around the parts and double quotes are read too.
    record.replace(1, 40, encodeText("it's", 40));
    EXPECT_TRUE(parseFilter(fields, " PROFILE = \"it's\" ").matches(record.constData()));
}
