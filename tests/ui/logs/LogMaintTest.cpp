#include "LogWindowFixture.h"

#include "data/DateText.h"
#include "tests/support/Files.h"
#include "ui/logs/TFTP_LogMaint.h"

#include <QFile>
#include <QPointer>
#include <QPushButton>
#include <QTableView>
#include <QTest>

using namespace cvb;

namespace {

class LogMaintTest : public test::LogWindowTest
{
protected:
    TFTP_LogMaint &open()
    {
        window = new TFTP_LogMaint(*main, &frame);
        window->show();
        return *window;
    }
    void click(const char *button)
    {
        QTest::mouseClick(window->findChild<QPushButton *>(QString::fromUtf8(button)), Qt::LeftButton);
    }
    // The EVENT column as the grid shows it, top to bottom.
    QStringList gridEvents() const
    {
        QStringList events;
        QAbstractItemModel *model = window->DBGrid1()->model();
        for (int row = 0; row < model->rowCount(); ++row)
            events << model->index(row, 2).data().toString();
        return events;
    }
    int gridRow() const { return window->DBGrid1()->currentIndex().row(); }

    QWidget frame;
    QPointer<TFTP_LogMaint> window;
};

TEST_F(LogMaintTest, ShowsTheRowsWrittenMeanwhileInTheOrderWrittenReadOnly)
{
    // Rows a backup window wrote through its own cursor after the main window opened its own.
    writeRows(3);
    TFTP_LogMaint &w = open();
    EXPECT_EQ(w.windowTitle(), QStringLiteral("Log Maintenance"));
    QTableView *grid = w.DBGrid1();
    ASSERT_EQ(grid, w.findChild<QTableView *>(QStringLiteral("DBGrid1")));
    EXPECT_EQ(grid->editTriggers(), QAbstractItemView::NoEditTriggers);
    QAbstractItemModel *model = grid->model();
    ASSERT_EQ(model->columnCount(), 3);
    EXPECT_EQ(model->headerData(0, Qt::Horizontal).toString(), QStringLiteral("DATE"));
    EXPECT_EQ(model->headerData(1, Qt::Horizontal).toString(), QStringLiteral("TIME"));
    EXPECT_EQ(model->headerData(2, Qt::Horizontal).toString(), QStringLiteral("EVENT"));
    EXPECT_EQ(gridEvents(), (QStringList{"Site event 1", "Site event 2", "Site event 3"}));
    EXPECT_EQ(model->index(0, 0).data().toString(), DateText::date(QDate(2024, 3, 5)));
    EXPECT_EQ(model->index(0, 1).data().toString(), DateText::time(QTime(14, 7, 9)));
    for (const char *button : {"DeleteButton", "ClearButton", "ReportButton", "DoneButton"})
        EXPECT_NE(w.findChild<QPushButton *>(QString::fromUtf8(button)), nullptr) << button;

    // A row the main window logs while the window is open appears at once.
    main->EventLog(QStringLiteral("Begining backup profile Site"));
    EXPECT_EQ(gridEvents().size(), 4);
    EXPECT_EQ(gridEvents().last(), QStringLiteral(" Begining backup profile Site"));
}

TEST_F(LogMaintTest, DeleteEntryRemovesTheCursorsRowAndTheCursorMovesToTheFollowingRow)
{
    writeRows(4);
    open();
    // The user picks the second row in the grid: the shared cursor follows.
    window->DBGrid1()->setCurrentIndex(window->DBGrid1()->model()->index(1, 2));
    EXPECT_EQ(main->log->position(), 1);

    click("DeleteButton");
    EXPECT_EQ(gridEvents(), (QStringList{"Site event 1", "Site event 3", "Site event 4"}));
    EXPECT_EQ(main->log->asString(QStringLiteral("EVENT")), QStringLiteral("Site event 3"));
    EXPECT_EQ(gridRow(), 1);

    // Deleting the last row leaves the cursor on the row before it, now the last.
    window->DBGrid1()->setCurrentIndex(window->DBGrid1()->model()->index(2, 2));
    click("DeleteButton");
    EXPECT_EQ(main->log->asString(QStringLiteral("EVENT")), QStringLiteral("Site event 3"));
    EXPECT_EQ(gridRow(), 1);

    // The file itself lost both rows.
    Table reader;
    reader.open(LogTable);
    EXPECT_EQ(reader.recordCount(), 2);
    EXPECT_TRUE(dialogs.texts().isEmpty());
}

TEST_F(LogMaintTest, DeleteEntryOnAnEmptyLogDoesNothingAndShowsNothing)
{
    open();
    click("DeleteButton");
    EXPECT_TRUE(dialogs.texts().isEmpty());
    EXPECT_TRUE(main->log->isEmpty());
    EXPECT_FALSE(window.isNull());
}

TEST_F(LogMaintTest, ClearEntireLogAsksFirstAndDeletesEveryRowOnlyOnYes)
{
    writeRows(5);
    open();
    dialogs.prepareAnswers({Answer::No, Answer::Yes});
    click("ClearButton");
    ASSERT_EQ(dialogs.shown().size(), 1);
    EXPECT_EQ(dialogs.shown().at(0).kind, ScriptedDialogs::Kind::Warning);
    EXPECT_EQ(dialogs.shown().at(0).buttons, Buttons::YesNo);
    EXPECT_EQ(dialogs.shown().at(0).text, QStringLiteral("Are you sure you want to clear the entire log?"));
    EXPECT_EQ(gridEvents().size(), 5);

    click("ClearButton");
    EXPECT_EQ(dialogs.shown().size(), 2);
    EXPECT_TRUE(gridEvents().isEmpty());
    Table reader;
    reader.open(LogTable);
    EXPECT_TRUE(reader.isEmpty());
}

TEST_F(LogMaintTest, DoneShowsTheMenuPanelAndFreesTheWindow)
{
    open();
    click("DoneButton");
    processDeletes();
    EXPECT_TRUE(window.isNull());
    EXPECT_EQ(main->menuShown, 1);
    // The log cursor is the main window's and stays open.
    EXPECT_TRUE(main->log->isOpen());
}

TEST_F(LogMaintTest, AnUnreadableLogIsReportedByNameAndLeftAsItIs)
{
    writeRows(2);
    // The file is cut short behind the main window's back.
    QFile file(logPath());
    ASSERT_TRUE(file.resize(6));
    const QByteArray before = test::readFile(logPath());

    open();
    ASSERT_EQ(dialogs.shown().size(), 1);
    EXPECT_EQ(dialogs.shown().at(0).kind, ScriptedDialogs::Kind::Error);
    EXPECT_TRUE(dialogs.texts().at(0).contains(logPath())) << dialogs.texts().at(0).toStdString();
    QTRY_VERIFY(window.isNull());
    EXPECT_EQ(test::readFile(logPath()), before);
}

} // namespace
