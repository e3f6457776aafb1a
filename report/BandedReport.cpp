#include "report/BandedReport.h"

#include <QFontMetricsF>
#include <QPagedPaintDevice>
#include <QPainter>
#include <QPdfWriter>
#include <QSaveFile>

#include <algorithm>
#include <climits>
#include <cmath>

namespace cvb {

BandedReport::BandedReport(ReportLayout layout, const ReportData &data)
    : layout_(std::move(layout)), data_(data)
{
}

QPageLayout BandedReport::pageLayout() const
{
    return QPageLayout(QPageSize(layout_.paper), layout_.orientation, layout_.margins, QPageLayout::Inch);
}

int BandedReport::rowsPerPage() const
{
    if (layout_.detail.height <= 0)
        return INT_MAX;
    const double free = pageLayout().paintRect(QPageLayout::Inch).height() - layout_.columnHeader.height;
    // A little tolerance so that bands that fill the page exactly are not pushed off it by rounding.
    const double fit = std::floor(free / layout_.detail.height + 1e-9);
    return std::max(1, int(std::min(fit, double(INT_MAX))));
}

int BandedReport::pageCount() const
{
    const int rows = data_.rowCount();
    if (rows <= 0)
        return 0;
    const int perPage = rowsPerPage();
    return rows / perPage + (rows % perPage ? 1 : 0);
}

int BandedReport::print(QPagedPaintDevice &device) const
{
    const int rows = data_.rowCount();
    if (rows <= 0)
        return 0;
    device.setPageLayout(pageLayout());
    QPainter painter;
    if (!painter.begin(&device))
        return -1;
    const int perPage = rowsPerPage();
    int page = 0;
    for (int row = 0; row < rows;) {
        if (page > 0 && !device.newPage()) {
            painter.end();
            return -1;
        }
        ++page;
        paintBand(painter, layout_.columnHeader, 0, -1, page);
        double top = layout_.columnHeader.height;
        for (int onPage = 0; onPage < perPage && row < rows; ++onPage, ++row) {
            paintBand(painter, layout_.detail, top, row, page);
            top += layout_.detail.height;
        }
    }
    return painter.end() ? page : -1;
}

void BandedReport::paintBand(QPainter &painter, const ReportBand &band, double top, int row, int page) const
{
    QPaintDevice *device = painter.device();
    const double dpiX = device->logicalDpiX();
    const double dpiY = device->logicalDpiY();
    const double pageWidth = pageLayout().paintRect(QPageLayout::Inch).width();
    for (const ReportItem &item : band.items) {
        const QString text = itemText(item, row, page);
        QFont font(layout_.fontFamily);
        font.setStyleHint(QFont::SansSerif);
        font.setPointSizeF(item.pointSize);
        // Each item is as wide as its text; a text that would run past the right margin is set
        // smaller so that it ends there instead of being cut off by the edge of the paper.
        const double room = (pageWidth - item.position.x()) * dpiX;
        const double width = QFontMetricsF(font, device).horizontalAdvance(text);
        if (room > 0 && width > room)
            font.setPointSizeF(item.pointSize * room / width * 0.99);
        painter.setFont(font);
        // Positions name the top-left corner of the text.
        const QPointF at(item.position.x() * dpiX,
                         (top + item.position.y()) * dpiY + QFontMetricsF(font, device).ascent());
        painter.drawText(at, text);
    }
}

QString BandedReport::itemText(const ReportItem &item, int row, int page) const
{
    switch (item.kind) {
    case ReportItem::Kind::Label:
        return item.text;
    case ReportItem::Kind::Field:
        return row >= 0 ? data_.text(row, item.text) : QString();
    case ReportItem::Kind::DateTime:
        return printedAt_;
    case ReportItem::Kind::PageNumber:
        return QString::number(page);
    }
    return QString();
}

QString writeReportPdf(const BandedReport &report, const QString &path)
{
    const auto failure = [&path](const QString &why) {
        return QStringLiteral("Cannot write the report to %1: %2").arg(path, why);
    };
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        return failure(file.errorString());
    int pages = 0;
    {
        QPdfWriter writer(&file);
        writer.setCreator(QStringLiteral("Corvale Backup"));
        pages = report.print(writer);
    }
    if (pages <= 0) {
        file.cancelWriting();
        return pages < 0 ? failure(QStringLiteral("the PDF could not be made")) : QString();
    }
    if (!file.commit())
        return failure(file.errorString());
    return QString();
}

} // namespace cvb
