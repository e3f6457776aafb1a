#include "LogWindowFixture.h"

#include "data/DateText.h"
#include "tests/support/PdfText.h"
#include "ui/logs/TFTP_LogMaint.h"
#include "ui/logs/TFTP_LogReport.h"

#include <QAction>
#include <QApplication>
#include <QFile>
#include <QPrintPreviewDialog>
#include <QPrintPreviewWidget>
#include <QPushButton>
#include <QTest>
#include <QTimer>

using namespace cvb;
using test::pageLines;
using test::pdfPages;

namespace {

class LogReportTest : public test::LogWindowTest
{
protected:
    // The log report of the main window's cursor written as PDF, read back page by page.
    QStringList reportPages()
    {
        main->log->refresh();
        const QString path = dir.filePath(QStringLiteral("log.pdf"));
        const TFTP_LogReport report(*main->log);
        EXPECT_EQ(writeReportPdf(report.QuickRep1(), path), QString());
        return pdfPages(path);
    }

    QString stamp() const
    {
        return DateText::date(QDate(2024, 3, 5)) + QLatin1Char(' ') + DateText::time(QTime(14, 7, 9));
    }
};

TEST_F(LogReportTest, PrintsTheHeaderOnEveryPageAndEveryRowInTableOrder)
{
    // 46 detail bands of 0.19 inch fit below the 1.09-inch header on the 10 inches of a letter
    // page inside its margins.
    for (const auto &[rows, pages] : QList<std::pair<int, int>>{{1, 1}, {46, 1}, {47, 2}, {100, 3}}) {
        SCOPED_TRACE(rows);
        Table writer;
        writer.open(LogTable);
        clearEntireLog(writer);
        writeRows(rows);

        const QStringList text = reportPages();
        ASSERT_EQ(text.size(), pages);
        int next = 1;
        for (int p = 0; p < pages; ++p) {
            const QStringList lines = pageLines(text.at(p));
            ASSERT_GE(lines.size(), 5);
            EXPECT_EQ(lines.at(0), stamp() + QStringLiteral(" %1").arg(p + 1));
            EXPECT_EQ(lines.at(1), QStringLiteral("Backup Event Log"));
            EXPECT_EQ(lines.at(2), QStringLiteral("Corvale Backup"));
            EXPECT_EQ(lines.at(3), QStringLiteral("Date Time Event"));
            for (const QString &line : lines.mid(4))
                EXPECT_EQ(line, stamp() + QStringLiteral(" Site event %1").arg(next++));
        }
        EXPECT_EQ(next, rows + 1);
    }
}

// Runs `check` on the report preview as soon as it is open, then closes it.
void whenPreviewOpens(const std::function<void(QPrintPreviewDialog &)> &check)
{
    QTimer::singleShot(10, [check] {
        auto *preview = qobject_cast<QPrintPreviewDialog *>(QApplication::activeModalWidget());
        if (!preview) {
            whenPreviewOpens(check);
            return;
        }
        check(*preview);
        preview->reject();
    });
}

int previewPages(QPrintPreviewDialog &preview)
{
    auto *pages = preview.findChild<QPrintPreviewWidget *>();
    return pages ? pages->pageCount() : -1;
}

TEST_F(LogReportTest, ProduceReportPreviewsThePagesAndSavesThemAsPdf)
{
    writeRows(47);
    auto *window = new TFTP_LogMaint(*main);
    window->show();
    const QString path = dir.filePath(QStringLiteral("saved.pdf"));
    dialogs.preparePaths({path});
    int pages = -1;
    whenPreviewOpens([&](QPrintPreviewDialog &preview) {
        pages = previewPages(preview);
        auto *save = preview.findChild<QAction *>(QStringLiteral("SaveAsPdf"));
        ASSERT_NE(save, nullptr);
        EXPECT_EQ(save->text(), QStringLiteral("Save as PDF…"));
        save->trigger();
    });
    QTest::mouseClick(window->findChild<QPushButton *>(QStringLiteral("ReportButton")), Qt::LeftButton);
    // The click returns once the preview is closed.
    EXPECT_EQ(pages, 2);
    ASSERT_EQ(dialogs.shown().size(), 1);
    EXPECT_EQ(dialogs.shown().at(0).kind, ScriptedDialogs::Kind::FileChooser);
    EXPECT_TRUE(dialogs.shown().at(0).choice.save);
    EXPECT_EQ(pdfPages(path).size(), 2);
    window->close();
}

TEST_F(LogReportTest, AnEmptyLogPreviewsNoPageAndCannotBeSaved)
{
    auto *window = new TFTP_LogMaint(*main);
    window->show();
    int pages = -1;
    bool canSave = true;
    whenPreviewOpens([&](QPrintPreviewDialog &preview) {
        pages = previewPages(preview);
        canSave = preview.findChild<QAction *>(QStringLiteral("SaveAsPdf"))->isEnabled();
    });
    QTest::mouseClick(window->findChild<QPushButton *>(QStringLiteral("ReportButton")), Qt::LeftButton);
    EXPECT_EQ(pages, 0);
    EXPECT_FALSE(canSave);
    EXPECT_TRUE(dialogs.texts().isEmpty());
    window->close();
}

TEST_F(LogReportTest, SavingToAFolderThatCannotBeWrittenIsReportedByName)
{
    writeRows(2);
    main->log->refresh();
    const QString path = dir.filePath(QStringLiteral("missing/saved.pdf"));
    dialogs.preparePaths({path});
    whenPreviewOpens([](QPrintPreviewDialog &preview) {
        preview.findChild<QAction *>(QStringLiteral("SaveAsPdf"))->trigger();
    });
    TFTP_LogReport(*main->log).Preview(nullptr);
    ASSERT_EQ(dialogs.shown().size(), 2);
    EXPECT_EQ(dialogs.shown().at(1).kind, ScriptedDialogs::Kind::Error);
    EXPECT_TRUE(dialogs.shown().at(1).text.contains(path));
    EXPECT_FALSE(QFile::exists(path));
}

} // namespace
