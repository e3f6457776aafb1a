#include "report/BandedReport.h"

#include "tests/support/Files.h"
#include "tests/support/PdfText.h"
#include "tests/support/Peers.h"

#include <QDir>
#include <QFile>
#include <QPdfWriter>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <gtest/gtest.h>

using namespace cvb;
using cvb::test::pageLines;
using cvb::test::pdfPages;

namespace {

// Rows held in memory: NAME is "row N", numbered from 1.
class Rows : public ReportData
{
public:
    explicit Rows(int count) : count_(count) {}
    int rowCount() const override { return count_; }
    QString text(int row, const QString &field) const override
    {
        return field == QLatin1String("NAME") ? QStringLiteral("row %1").arg(row + 1) : QString();
    }

private:
    int count_;
};

// A header of 1 inch and details of 0.5 inch on letter paper with 1-inch margins: 9 inches of
// page, 8 of them for details, so 16 rows a page.
ReportLayout layout()
{
    ReportLayout l;
    l.margins = QMarginsF(1, 1, 1, 1);
    l.columnHeader.height = 1;
    l.columnHeader.items = {{ReportItem::Kind::Label, QStringLiteral("Inventory"), {0, 0}, 12},
                            {ReportItem::Kind::DateTime, {}, {2, 0}, 10},
                            {ReportItem::Kind::PageNumber, {}, {6, 0}, 10}};
    l.detail.height = 0.5;
    l.detail.items = {{ReportItem::Kind::Field, QStringLiteral("NAME"), {0, 0}, 10}};
    return l;
}

TEST(BandedReport, FillsEachPageWithTheDetailsThatFitBelowTheHeader)
{
    const Rows none(0), one(1), full(16), over(17);
    EXPECT_EQ(BandedReport(layout(), none).rowsPerPage(), 16);
    EXPECT_EQ(BandedReport(layout(), none).pageCount(), 0);
    EXPECT_EQ(BandedReport(layout(), one).pageCount(), 1);
    EXPECT_EQ(BandedReport(layout(), full).pageCount(), 1);
    EXPECT_EQ(BandedReport(layout(), over).pageCount(), 2);

    // A header taller than the page still leaves one detail a page rather than none.
    ReportLayout tall = layout();
    tall.columnHeader.height = 12;
    EXPECT_EQ(BandedReport(tall, over).rowsPerPage(), 1);
}

TEST(BandedReport, PrintsTheHeaderOnEveryPageAndTheRowsInOrder)
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("report.pdf"));
    const Rows rows(40);
    BandedReport report(layout(), rows);
    report.setPrintedAt(QStringLiteral("3/5/2024 2:07:09 PM"));
    ASSERT_EQ(writeReportPdf(report, path), QString());

    const QStringList pages = pdfPages(path);
    ASSERT_EQ(pages.size(), 3);
    int next = 1;
    for (int p = 0; p < pages.size(); ++p) {
        const QStringList lines = pageLines(pages.at(p));
        ASSERT_FALSE(lines.isEmpty());
        EXPECT_EQ(lines.first(), QStringLiteral("Inventory 3/5/2024 2:07:09 PM %1").arg(p + 1));
        for (const QString &line : lines.mid(1))
            EXPECT_EQ(line, QStringLiteral("row %1").arg(next++));
    }
    EXPECT_EQ(next, 41);
}

TEST(BandedReport, PlacesItemsInInchesInsideTheMargins)
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("report.pdf"));
    const Rows rows(1);
    ASSERT_EQ(writeReportPdf(BandedReport(layout(), rows), path), QString());
    // The page is 8.5 x 11 inches, 612 x 792 points; the first row begins 1 inch (margin) plus
    // 1 inch (header) from the top and 1 inch from the left.
    const test::ProcessResult box =
        test::runProcess(QStringLiteral("pdftotext"), {QStringLiteral("-bbox"), path, QStringLiteral("-")});
    ASSERT_EQ(box.exitCode, 0);
    const QString html = QString::fromUtf8(box.out);
    EXPECT_TRUE(html.contains(QStringLiteral("width=\"612.000000\" height=\"792.000000\"")))
        << html.toStdString();
    const QRegularExpression word(QStringLiteral("xMin=\"([0-9.]+)\" yMin=\"([0-9.]+)\"[^>]*>Inventory<"));
    const QRegularExpressionMatch header = word.match(html);
    ASSERT_TRUE(header.hasMatch()) << html.toStdString();
    EXPECT_NEAR(header.captured(1).toDouble(), 72, 2);
    EXPECT_NEAR(header.captured(2).toDouble(), 72, 4);
    const QRegularExpression first(QStringLiteral("xMin=\"([0-9.]+)\" yMin=\"([0-9.]+)\"[^>]*>row<"));
    const QRegularExpressionMatch row = first.match(html);
    ASSERT_TRUE(row.hasMatch());
    EXPECT_NEAR(row.captured(1).toDouble(), 72, 2);
    EXPECT_NEAR(row.captured(2).toDouble(), 144, 4);
}

// A text that would run past the right margin is set smaller instead of being cut off.
class LongRow : public ReportData
{
public:
    int rowCount() const override { return 1; }
    QString text(int, const QString &) const override
    {
        return QStringLiteral("Finished downloading ") + QString(90, QLatin1Char('x')) +
               QStringLiteral(" END");
    }
};

TEST(BandedReport, ATextTooWideForThePageEndsAtTheRightMarginWhole)
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("report.pdf"));
    ReportLayout wide = layout();
    wide.detail.items.first().position = QPointF(2.5, 0);
    const LongRow row;
    ASSERT_EQ(writeReportPdf(BandedReport(wide, row), path), QString());
    const test::ProcessResult box =
        test::runProcess(QStringLiteral("pdftotext"), {QStringLiteral("-bbox"), path, QStringLiteral("-")});
    const QRegularExpression end(QStringLiteral("xMax=\"([0-9.]+)\"[^>]*>END<"));
    const QRegularExpressionMatch match = end.match(QString::fromUtf8(box.out));
    ASSERT_TRUE(match.hasMatch()) << box.out.toStdString();
    // The right margin is 1 inch from the edge of the 8.5-inch page: 540 points.
    EXPECT_LE(match.captured(1).toDouble(), 541);
    EXPECT_GT(match.captured(1).toDouble(), 500);
}

TEST(WriteReportPdf, AFileThatCannotBeWrittenIsNamedAndAnEarlierFileIsKept)
{
    QTemporaryDir dir;
    const Rows rows(3);
    const BandedReport report(layout(), rows);
    const QString missing = dir.filePath(QStringLiteral("no such folder/report.pdf"));
    const QString message = writeReportPdf(report, missing);
    EXPECT_TRUE(message.startsWith(QStringLiteral("Cannot write the report to ") + missing))
        << message.toStdString();
    EXPECT_FALSE(QFile::exists(missing));

    // Without rows nothing is written, and a file already there stays as it was.
    const QString kept = dir.filePath(QStringLiteral("kept.pdf"));
    ASSERT_TRUE(test::writeFile(kept, "earlier"));
    const Rows none(0);
    EXPECT_EQ(writeReportPdf(BandedReport(layout(), none), kept), QString());
    EXPECT_EQ(test::readFile(kept), QByteArray("earlier"));
}

} // namespace
