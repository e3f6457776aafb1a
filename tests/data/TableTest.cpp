// Cursor behaviour: navigation, editing states, filters, locate, index order and
// several cursors over one table.
#include "data/Table.h"
#include "data/ConnectionSettings.h"
#include "data/DataError.h"
#include "data/Database.h"
#include "data/Layouts.h"

#include <QTemporaryDir>
#include <gtest/gtest.h>

using namespace cvb;

namespace {

class TableTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(dir.isValid());
        createMissingTables(dir.path());
    }

    std::unique_ptr<Table> cursor(const QString &file, const QString &index = {})
    {
        auto t = std::make_unique<Table>(QStringLiteral("Table_Test"), nullptr);
        t->setFolder(dir.path());
        t->open(file, index);
        return t;
    }

    void addProfile(Table &t, const QString &name, bool active)
    {
        t.insert();
        t.setString("PROFILE", name);
        t.setBool("ACTIVE", active);
        t.post();
    }

    QStringList names(Table &t, const QString &field = QStringLiteral("PROFILE"))
    {
        QStringList out;
        for (t.first(); !t.eof(); t.next())
            out << t.asString(field);
        return out;
    }

    QTemporaryDir dir;
};

} // namespace

TEST_F(TableTest, NavigationFollowsTheClassicFlags)
{
    auto log = cursor(LogTable);
    EXPECT_TRUE(log->eof());
    EXPECT_TRUE(log->bof());
    EXPECT_EQ(log->recordCount(), 0);
    EXPECT_EQ(log->asString("EVENT"), QString());
    for (int i = 1; i <= 3; ++i) {
        log->insert();
        log->setString("EVENT", QStringLiteral("e%1").arg(i));
        log->post();
    }
    EXPECT_EQ(log->recordCount(), 3);
    log->first();
    EXPECT_TRUE(log->bof());
    EXPECT_FALSE(log->eof());
    EXPECT_EQ(log->asString("EVENT"), "e1");
    log->prior();
    EXPECT_TRUE(log->bof());
    EXPECT_EQ(log->asString("EVENT"), "e1");
    log->last();
    EXPECT_TRUE(log->eof());
    EXPECT_EQ(log->asString("EVENT"), "e3");
    log->prior();
    EXPECT_FALSE(log->eof());
    EXPECT_EQ(log->asString("EVENT"), "e2");
    log->next();
    log->next();
    EXPECT_TRUE(log->eof());
    EXPECT_EQ(log->asString("EVENT"), "e3");
    EXPECT_EQ(log->recNo(), 3);
}

TEST_F(TableTest, ProfileIndexOrdersByNameBytesAndKeepsTheRecordAfterEdits)
{
    auto profiles = cursor(ProfilesTable, ProfileIndex);
    for (const char *name : {"delta", "Bravo", "alpha", "Charlie", "alpha two", "Zulu"})
        addProfile(*profiles, QString::fromUtf8(name), true);
    EXPECT_EQ(names(*profiles), QStringList({"Bravo", "Charlie", "Zulu", "alpha", "alpha two", "delta"}));

    // Renaming moves the record to its new place and it stays current.
    ASSERT_TRUE(profiles->locate("PROFILE", "Zulu"));
    profiles->edit();
    profiles->setString("PROFILE", "beta");
    profiles->post();
    EXPECT_EQ(profiles->asString("PROFILE"), "beta");
    profiles->next();
    EXPECT_EQ(profiles->asString("PROFILE"), "delta");
    EXPECT_EQ(names(*profiles), QStringList({"Bravo", "Charlie", "alpha", "alpha two", "beta", "delta"}));

    // Without the index the records come in the order they were added.
    auto plain = cursor(ProfilesTable);
    EXPECT_EQ(names(*plain), QStringList({"delta", "Bravo", "alpha", "Charlie", "alpha two", "beta"}));
}

TEST_F(TableTest, InsertEditCancelAndDelete)
{
    auto profiles = cursor(ProfilesTable, ProfileIndex);
    addProfile(*profiles, "a", true);
    addProfile(*profiles, "c", true);

    profiles->insert();
    EXPECT_EQ(profiles->state(), Table::State::Insert);
    profiles->setString("PROFILE", "b");
    profiles->cancel();
    EXPECT_EQ(profiles->state(), Table::State::Browse);
    EXPECT_EQ(names(*profiles), QStringList({"a", "c"}));

    ASSERT_TRUE(profiles->locate("PROFILE", "c"));
    profiles->edit();
    profiles->setString("PROFILE", "x");
    EXPECT_EQ(profiles->asString("PROFILE"), "x");
    profiles->cancel();
    EXPECT_EQ(profiles->asString("PROFILE"), "c");

    // Writing outside edit or insert state is refused.
    EXPECT_THROW(profiles->setString("PROFILE", "y"), DataError);

    // Moving while editing posts the edit.
    profiles->first();
    profiles->edit();
    profiles->setString("KIND", "Daily");
    profiles->next();
    EXPECT_EQ(profiles->state(), Table::State::Browse);
    profiles->first();
    EXPECT_EQ(profiles->asString("KIND"), "Daily");

    // Deleting makes the record after current; deleting the last one leaves eof set.
    addProfile(*profiles, "b", false);
    ASSERT_TRUE(profiles->locate("PROFILE", "a"));
    profiles->deleteRecord();
    EXPECT_EQ(profiles->asString("PROFILE"), "b");
    profiles->last();
    profiles->deleteRecord();
    EXPECT_TRUE(profiles->eof());
    EXPECT_EQ(profiles->asString("PROFILE"), "b");
    profiles->deleteRecord();
    EXPECT_TRUE(profiles->isEmpty());
    EXPECT_THROW(profiles->deleteRecord(), DataError);

    auto again = cursor(ProfilesTable);
    EXPECT_EQ(again->recordCount(), 0);
}

TEST_F(TableTest, FiltersOfBothFormsIncludingAQuoteInTheName)
{
    auto profiles = cursor(ProfilesTable, ProfileIndex);
    addProfile(*profiles, "Bob's site", true);
    addProfile(*profiles, "Bob", false);
    addProfile(*profiles, "plain", true);

    auto sources = cursor(SourcesTable, ProfileIndex);
    for (const char *owner : {"Bob's site", "Bob", "Bob's site", "plain"}) {
        sources->insert();
        sources->setString("PROFILE", QString::fromUtf8(owner));
        sources->setString("SOURCE", QStringLiteral("/%1").arg(sources->recordCount()));
        sources->post();
    }

    profiles->last();
    profiles->setFilter("ACTIVE=True");
    profiles->setFiltered(true);
    EXPECT_TRUE(profiles->bof()) << "switching the filter on moves to the first record";
    EXPECT_EQ(names(*profiles), QStringList({"Bob's site", "plain"}));
    profiles->setFiltered(false);
    EXPECT_EQ(profiles->recordCount(), 3);

    EXPECT_EQ(profileFilter("Bob's site"), "PROFILE='Bob''s site'");
    sources->setFilter(profileFilter("Bob's site"));
    sources->setFiltered(true);
    EXPECT_EQ(names(*sources, "SOURCE"), QStringList({"/0", "/2"}));
    sources->setFilter(profileFilter("Bob"));
    EXPECT_EQ(names(*sources, "SOURCE"), QStringList({"/1"}));

    // A record posted that does not pass the filter does not show.
    sources->insert();
    sources->setString("PROFILE", "plain");
    sources->post();
    EXPECT_EQ(sources->recordCount(), 1);

    EXPECT_THROW(sources->setFilter("PROFILE='unterminated"), DataError);
    EXPECT_THROW(sources->setFilter("NOSUCH='x'"), DataError);
    EXPECT_THROW(profiles->setFilter("ACTIVE=maybe"), DataError);
}

TEST_F(TableTest, LocateFindsTheFirstMatchInViewOrderOrStays)
{
    auto sources = cursor(SourcesTable, ProfileIndex);
    for (const char *owner : {"b", "a", "b"}) {
        sources->insert();
        sources->setString("PROFILE", QString::fromUtf8(owner));
        sources->setString("SOURCE", QStringLiteral("/%1").arg(sources->recordCount()));
        sources->post();
    }
    sources->first();
    EXPECT_TRUE(sources->locate("PROFILE", "b"));
    EXPECT_EQ(sources->asString("SOURCE"), "/0");
    EXPECT_FALSE(sources->locate("PROFILE", "c"));
    EXPECT_EQ(sources->asString("SOURCE"), "/0");
    sources->last();
    EXPECT_TRUE(sources->locate("PROFILE", "b ")) << "trailing blanks are not significant, as on disk";
    EXPECT_EQ(sources->asString("SOURCE"), "/0");
}

TEST_F(TableTest, CursorsSeeOthersPostsOnlyAfterRefreshAndKeepTheirRecord)
{
    auto writer = cursor(LogTable);
    for (int i = 0; i < 4; ++i) {
        writer->insert();
        writer->setString("EVENT", QStringLiteral("e%1").arg(i));
        writer->post();
    }
    auto reader = cursor(LogTable);
    ASSERT_TRUE(reader->locate("EVENT", "e2"));

    writer->insert();
    writer->setString("EVENT", "e4");
    writer->post();
    EXPECT_EQ(reader->recordCount(), 4);
    reader->refresh();
    EXPECT_EQ(reader->recordCount(), 5);
    EXPECT_EQ(reader->asString("EVENT"), "e2");

    // Deletes elsewhere: the reader keeps its record, or goes to the one after it.
    writer->first();
    writer->deleteRecord();
    reader->refresh();
    EXPECT_EQ(reader->asString("EVENT"), "e2");
    ASSERT_TRUE(writer->locate("EVENT", "e2"));
    writer->deleteRecord();
    reader->refresh();
    EXPECT_EQ(reader->asString("EVENT"), "e3");

    // Both cursors append: neither overwrites the other's record.
    reader->insert();
    reader->setString("EVENT", "from reader");
    reader->post();
    writer->insert();
    writer->setString("EVENT", "from writer");
    writer->post();
    auto fresh = cursor(LogTable);
    EXPECT_EQ(names(*fresh, "EVENT"), QStringList({"e1", "e3", "e4", "from reader", "from writer"}));

    // Editing a record that another cursor deleted is refused rather than reviving it.
    ASSERT_TRUE(fresh->locate("EVENT", "e4"));
    ASSERT_TRUE(writer->locate("EVENT", "e4"));
    writer->deleteRecord();
    fresh->edit();
    fresh->setString("EVENT", "revived");
    EXPECT_THROW(fresh->post(), DataError);
    EXPECT_EQ(fresh->state(), Table::State::Browse);
    fresh->refresh();
    EXPECT_EQ(names(*fresh, "EVENT"), QStringList({"e1", "e3", "from reader", "from writer"}));
}

TEST_F(TableTest, EditOnAnEmptyTableInserts)
{
    auto queue = cursor(QueueTable);
    queue->edit();
    EXPECT_EQ(queue->state(), Table::State::Insert);
    queue->setString("PROFILE", "p");
    queue->post();
    EXPECT_EQ(queue->recordCount(), 1);
}

TEST_F(TableTest, ClosedCursorsAndUnknownNamesGiveClearErrors)
{
    Table t(QStringLiteral("Table_X"), nullptr);
    t.setFolder(dir.path());
    EXPECT_THROW(t.first(), DataError);
    EXPECT_THROW(t.open("missing.dbf"), DataError);
    t.open(LogTable);
    try {
        t.asString("NOPE");
        FAIL();
    } catch (const DataError &e) {
        EXPECT_TRUE(e.message().contains("NOPE"));
        EXPECT_TRUE(e.message().contains("FTP Log.dbf"));
    }
    EXPECT_THROW(t.setIndexName("NOPE"), DataError);
}

TEST_F(TableTest, IndexAndFilterChangesOnAnOpenCursor)
{
    auto profiles = cursor(ProfilesTable);
    for (const char *name : {"c", "a", "b"})
        addProfile(*profiles, QString::fromUtf8(name), true);
    ASSERT_TRUE(profiles->locate("PROFILE", "a"));
    profiles->setIndexName(ProfileIndex);
    EXPECT_EQ(profiles->asString("PROFILE"), "a") << "changing the order keeps the record";
    EXPECT_EQ(profiles->position(), 0);
    profiles->setIndexName({});
    EXPECT_EQ(profiles->position(), 1);

    profiles->setFilter("ACTIVE=False");
    profiles->setFiltered(true);
    EXPECT_TRUE(profiles->isEmpty());
    EXPECT_TRUE(profiles->eof() && profiles->bof());
    profiles->last();
    profiles->setFiltered(false);
    EXPECT_TRUE(profiles->bof());
    EXPECT_EQ(profiles->asString("PROFILE"), "c") << "switching the filter off moves to the first record";

    // A filter set while closed applies when the cursor opens.
    Table closed(QStringLiteral("Table_Closed"), nullptr);
    closed.setFolder(dir.path());
    closed.setFilter(profileFilter("b"));
    closed.setFiltered(true);
    closed.open(ProfilesTable);
    EXPECT_EQ(names(closed), QStringList({"b"}));
}

TEST_F(TableTest, RefreshFollowsARecordRenamedElsewhere)
{
    auto mine = cursor(ProfilesTable, ProfileIndex);
    for (const char *name : {"a", "m", "z"})
        addProfile(*mine, QString::fromUtf8(name), true);
    auto other = cursor(ProfilesTable);
    ASSERT_TRUE(other->locate("PROFILE", "m"));
    other->edit();
    other->setString("PROFILE", "zz");
    other->post();
    ASSERT_TRUE(mine->locate("PROFILE", "m"));
    mine->refresh();
    EXPECT_EQ(mine->asString("PROFILE"), "zz");
    EXPECT_EQ(mine->position(), 2);
    EXPECT_EQ(names(*mine), QStringList({"a", "z", "zz"}));
}

TEST_F(TableTest, DeletedRecordsShowOnlyWhenAskedFor)
{
    auto queue = cursor(QueueTable);
    for (const char *name : {"a", "b"}) {
        queue->insert();
        queue->setString("PROFILE", QString::fromUtf8(name));
        queue->post();
    }
    queue->first();
    queue->deleteRecord();
    EXPECT_EQ(queue->recordCount(), 1);
    queue->setShowDeleted(true);
    EXPECT_EQ(queue->recordCount(), 2);
    EXPECT_TRUE(queue->isDeleted());
    EXPECT_EQ(queue->recNo(), 1);
    queue->next();
    EXPECT_FALSE(queue->isDeleted());
}

TEST_F(TableTest, DeleteAllDeletesTheWholeViewOnDiskAndLeavesWhatTheFilterHides)
{
    auto profiles = cursor(ProfilesTable, ProfileIndex);
    addProfile(*profiles, "a", true);
    addProfile(*profiles, "b", false);
    addProfile(*profiles, "c", true);
    profiles->setFilter(QStringLiteral("ACTIVE=True"));
    profiles->setFiltered(true);
    profiles->deleteAll();
    EXPECT_TRUE(profiles->isEmpty());
    EXPECT_TRUE(profiles->eof() && profiles->bof());
    profiles->deleteAll(); // an empty view: nothing to do, no error

    // Another cursor, opened afresh, reads the same from the file.
    auto other = cursor(ProfilesTable, ProfileIndex);
    EXPECT_EQ(names(*other), QStringList{"b"});
    other->setShowDeleted(true);
    EXPECT_EQ(other->recordCount(), 3);
}

// The typed connection record: every field goes to its own column and comes back unchanged, and a
// second writer sees the first one's values (one record, edited in place).
TEST_F(TableTest, ConnectionSettingsRoundTripThroughTheOneRecord)
{
    ConnectionSettings s;
    s.user = QStringLiteral("webmaster");
    s.password = QStringLiteral("s3cret");
    s.server = QStringLiteral("ftp.example.org:2121");
    s.passive = true;
    s.smtpServer = QStringLiteral("mail.example.org");
    s.returnAddress = QStringLiteral("backup@example.org");
    s.useDefaultConnection = false;
    s.dialUser = QStringLiteral("dialer");
    s.dialPassword = QStringLiteral("pin");
    s.phoneNumber = QStringLiteral("555-0100");
    s.isp = QStringLiteral("Example ISP");
    auto writer = cursor(ConnectionTable);
    writeConnectionSettings(*writer, s);

    auto reader = cursor(ConnectionTable);
    EXPECT_EQ(reader->recordCount(), 1);
    const ConnectionSettings back = readConnectionSettings(*reader);
    EXPECT_EQ(back.user, s.user);
    EXPECT_EQ(back.password, s.password);
    EXPECT_EQ(back.server, s.server);
    EXPECT_TRUE(back.passive);
    EXPECT_EQ(back.smtpServer, s.smtpServer);
    EXPECT_EQ(back.returnAddress, s.returnAddress);
    EXPECT_TRUE(back.dialsUp());
    EXPECT_EQ(back.dialUser, s.dialUser);
    EXPECT_EQ(back.dialPassword, s.dialPassword);
    EXPECT_EQ(back.phoneNumber, s.phoneNumber);
    EXPECT_EQ(back.isp, s.isp);
    EXPECT_TRUE(back.complete());
    ConnectionSettings noPassword = back;
    noPassword.password.clear();
    EXPECT_FALSE(noPassword.complete());
}

// Grids count their rows when the cursor reports a change.
TEST_F(TableTest, APostIsReportedOnceTheViewHoldsTheRecord)
{
    auto t = cursor(ProfilesTable, ProfileIndex);
    QList<int> counts;
    QObject::connect(t.get(), &Table::dataChanged, [&] {
        if (t->state() == Table::State::Browse)
            counts << t->recordCount();
    });
    addProfile(*t, "B", true);
    addProfile(*t, "A", true);
    t->edit();
    t->setString("PROFILE", "C");
    t->post();
    EXPECT_EQ(counts, (QList<int>{1, 2, 2}));
    EXPECT_EQ(t->asString("PROFILE"), "C");
    EXPECT_EQ(t->position(), 1);
}

// A writer of many rows holds them back and writes them at once: other cursors see none of them
// before, all of them in order after, also when the writer closes or goes away without a flush.
TEST_F(TableTest, HeldInsertsAppearTogetherAtTheFlushAndAreNeverLost)
{
    const auto writeRows = [](Table &log, const QStringList &events) {
        for (const QString &event : events) {
            log.insert();
            log.setString("EVENT", event);
            log.post();
        }
    };
    auto reader = cursor(LogTable);
    {
        auto writer = cursor(LogTable);
        writeRows(*writer, {QStringLiteral("before")});
        writer->setHoldingInserts(true);
        writeRows(*writer, {QStringLiteral("one"), QStringLiteral("two"), QStringLiteral("three")});
        EXPECT_EQ(writer->heldCount(), 3);
        reader->refresh();
        EXPECT_EQ(names(*reader, QStringLiteral("EVENT")), QStringList{QStringLiteral("before")});
        // Another cursor's row in between comes before the held ones.
        writeRows(*reader, {QStringLiteral("other")});

        writer->flushHeld();
        EXPECT_EQ(writer->heldCount(), 0);
        // Its own rows join its view at once; the other cursor's, as always, at a refresh.
        EXPECT_EQ(names(*writer, QStringLiteral("EVENT")),
                  (QStringList{QStringLiteral("before"), QStringLiteral("one"), QStringLiteral("two"),
                               QStringLiteral("three")}));
        writeRows(*writer, {QStringLiteral("closed")});
        writer->close();
        writer->open(LogTable);
        writer->setHoldingInserts(true);
        writeRows(*writer, {QStringLiteral("dropped")});
    }
    reader->refresh();
    EXPECT_EQ(names(*reader, QStringLiteral("EVENT")),
              (QStringList{QStringLiteral("before"), QStringLiteral("other"), QStringLiteral("one"),
                           QStringLiteral("two"), QStringLiteral("three"), QStringLiteral("closed"),
                           QStringLiteral("dropped")}));
}
