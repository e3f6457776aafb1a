#include "MainWinFixture.h"

#include "tests/support/DbfRead.h"
#include "data/DateText.h"
#include "data/EventLogRow.h"
#include "data/Layouts.h"

#include <QDir>
#include <QJsonArray>
#include <QStatusBar>

using namespace cvb;

namespace {

struct LogRow
{
    QDate date;
    QString time;
    QString event;
};

QList<LogRow> readLog()
{
    Table log;
    log.open(LogTable);
    QList<LogRow> rows;
    for (log.first(); !log.eof(); log.next())
        rows.append({log.asDate(QStringLiteral("DATE")), log.asString(QStringLiteral("TIME")),
                     log.asString(QStringLiteral("EVENT"))});
    return rows;
}

// EVENT of every row as an independent dBase reader sees it.
QStringList eventsThroughDbfread(const QString &folder)
{
    const QString path = QDir(folder).filePath(LogTable);
    QStringList events;
    for (const QJsonValue &record :
         describeWithDbfread({path}).value(path).toObject().value("records").toArray())
        events << record.toObject().value("EVENT").toString();
    return events;
}

} // namespace

TEST_F(MainWinTest, ALogRowCarriesTodayTheTimeTextAndProfileBlankMessage)
{
    Table log(QStringLiteral("Table_Log"), nullptr);
    log.open(LogTable);
    writeLogRow(log, QStringLiteral("Nightly"), QStringLiteral("Backup Complete"));
    const QList<LogRow> rows = readLog();
    ASSERT_EQ(rows.size(), 1);
    EXPECT_EQ(rows.at(0).date, QDate(2024, 3, 5));
    EXPECT_EQ(rows.at(0).time, DateText::time(QTime(14, 7, 9)));
    EXPECT_EQ(rows.at(0).event, QStringLiteral("Nightly Backup Complete"));
}

TEST_F(MainWinTest, EventLogBeforeAnyBackupBeginsWithABlankAndMirrorsTheMessage)
{
    TMainWin &w = createWindow();
    w.EventLog(QStringLiteral("Preliminary backup startup failed"));
    EXPECT_EQ(readLog().at(0).event, QStringLiteral(" Preliminary backup startup failed"));
    EXPECT_EQ(w.statusText(), QStringLiteral("Preliminary backup startup failed"));
    EXPECT_EQ(child<QStatusBar>(QStringLiteral("StatusBar1"))->currentMessage(), w.statusText());

    w.setCurrentBackupProfile(QStringLiteral("Web Site"));
    w.EventLog(QStringLiteral("Begining backup profile Web Site"));
    EXPECT_EQ(readLog().at(1).event, QStringLiteral("Web Site Begining backup profile Web Site"));
    EXPECT_EQ(w.statusText(), QStringLiteral("Begining backup profile Web Site"));
    w.clearStatus();
    EXPECT_TRUE(w.statusText().isEmpty());
}

TEST_F(MainWinTest, ALongMessageIsStoredCutAt100WhileTheStatusBarShowsItWhole)
{
    TMainWin &w = createWindow();
    w.setCurrentBackupProfile(QStringLiteral("Site"));
    const QString message = QStringLiteral("New subfolder /home/webmaster/backups/www.example.com/") +
                            QString(80, QLatin1Char('x')) + QStringLiteral(" sucessfully created.");
    w.EventLog(message);
    const QString full = QStringLiteral("Site ") + message;
    EXPECT_EQ(readLog().at(0).event, full.left(100));
    EXPECT_EQ(eventsThroughDbfread(dir.path()), QStringList{full.left(100)});
    EXPECT_EQ(w.statusText(), message);
}

TEST_F(MainWinTest, CuttingNeverSplitsACharacter)
{
    TMainWin &w = createWindow();
    // 1 blank + 49 two-byte characters = 99 bytes; the next two-byte character cannot fit whole.
    const QString message = QString(60, QChar(0x00E9));
    w.EventLog(message);
    const QString expected = QLatin1Char(' ') + QString(49, QChar(0x00E9));
    EXPECT_EQ(readLog().at(0).event, expected);
    EXPECT_EQ(eventsThroughDbfread(dir.path()), QStringList{expected});
}

TEST_F(MainWinTest, RowsOfTwoWritersInterleaveInTheOrderTheyArePosted)
{
    TMainWin &w = createWindow();
    Table backupLog(QStringLiteral("Table_Log"), nullptr);
    backupLog.open(LogTable);
    w.EventLog(QStringLiteral("one"));
    writeLogRow(backupLog, QStringLiteral("Site"), QStringLiteral("two"));
    w.EventLog(QStringLiteral("three"));
    writeLogRow(backupLog, QStringLiteral("Site"), QStringLiteral("four"));
    QStringList events;
    for (const LogRow &row : readLog())
        events << row.event;
    EXPECT_EQ(events, (QStringList{" one", "Site two", " three", "Site four"}));
}
