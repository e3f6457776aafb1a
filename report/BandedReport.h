// A banded report: a column header band painted at the top of every page and a detail band painted
// once per row of its data, in the data's order, on pages of a given size and margins. Positions,
// sizes and margins are in inches, measured from the band's top-left corner inside the margins.
// It paints on any QPagedPaintDevice: a printer, the print preview, a PDF writer.
#pragma once

#include <QList>
#include <QMarginsF>
#include <QPageLayout>
#include <QPointF>
#include <QString>

class QPagedPaintDevice;
class QPainter;

namespace cvb {

// The rows a report prints: any table-like source, read by row number and field name.
class ReportData
{
public:
    virtual ~ReportData() = default;
    virtual int rowCount() const = 0;
    // The text of `field` in row `row` (0-based), as it is to be printed.
    virtual QString text(int row, const QString &field) const = 0;
};

struct ReportItem
{
    enum class Kind {
        Label,      // the fixed `text`
        Field,      // the column named by `text`, of the row being printed
        DateTime,   // the moment the report was made (BandedReport::setPrintedAt)
        PageNumber, // the number of the page, from 1
    };
    Kind kind = Kind::Label;
    QString text;
    QPointF position; // inches from the band's top-left corner
    double pointSize = 10;
};

struct ReportBand
{
    double height = 0; // inches
    QList<ReportItem> items;
};

struct ReportLayout
{
    QPageSize::PageSizeId paper = QPageSize::Letter;
    QPageLayout::Orientation orientation = QPageLayout::Portrait;
    QMarginsF margins; // inches
    QString fontFamily = QStringLiteral("Arial");
    ReportBand columnHeader; // at the top of every page
    ReportBand detail;       // once per row
};

class BandedReport
{
public:
    BandedReport(ReportLayout layout, const ReportData &data);

    const ReportLayout &layout() const { return layout_; }
    // The page layout that the devices the report paints on are given.
    QPageLayout pageLayout() const;

    // The text that DateTime items print.
    void setPrintedAt(const QString &text) { printedAt_ = text; }
    QString printedAt() const { return printedAt_; }

    // How many detail bands fit on a page below the column header (at least one).
    int rowsPerPage() const;
    // Pages of the report: none when the data has no row.
    int pageCount() const;

    // Gives `device` the report's page layout and paints every page on it. Paints nothing, and
    // leaves the device untouched, when there is no row. Returns the number of pages painted, or
    // -1 when painting on the device could not begin (a file that cannot be written, for example).
    int print(QPagedPaintDevice &device) const;

private:
    void paintBand(QPainter &painter, const ReportBand &band, double top, int row, int page) const;
    QString itemText(const ReportItem &item, int row, int page) const;

    ReportLayout layout_;
    const ReportData &data_;
    QString printedAt_;
};

// Writes the report as a PDF file, replacing `path` only when the whole file could be written.
// Returns an empty text on success, or what went wrong, naming the file.
QString writeReportPdf(const BandedReport &report, const QString &path);

} // namespace cvb
