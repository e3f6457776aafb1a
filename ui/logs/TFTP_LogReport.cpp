#include "ui/logs/TFTP_LogReport.h"

#include "data/Clock.h"
#include "data/DateText.h"
#include "ui/common/Dialogs.h"

#include <QAction>
#include <QPrintPreviewDialog>
#include <QPrinter>
#include <QToolBar>

namespace cvb {

namespace {

ReportItem label(const QString &text, double x, double y, double points)
{
    return {ReportItem::Kind::Label, text, {x, y}, points};
}

ReportItem field(const QString &name, double x)
{
    return {ReportItem::Kind::Field, name, {x, 0}, 10};
}

} // namespace

TFTP_LogReport::TFTP_LogReport(const Table &log) : data_(log), report_(layout(), data_)
{
    report_.setPrintedAt(DateText::moment(Clock::now()));
}

ReportLayout TFTP_LogReport::layout()
{
    ReportLayout l;
    l.paper = QPageSize::Letter;
    l.orientation = QPageLayout::Portrait;
    l.margins = QMarginsF(0.5, 0.5, 0.5, 0.5);
    l.columnHeader.height = 1.09;
    l.columnHeader.items = {
        {ReportItem::Kind::DateTime, {}, {0.08, 0.08}, 10},
        {ReportItem::Kind::PageNumber, {}, {7.04, 0.08}, 10},
        label(QStringLiteral("Backup Event Log"), 3.0, 0.17, 14),
        label(QStringLiteral("Corvale Backup"), 3.21, 0.58, 14),
        label(QStringLiteral("Date"), 0, 0.92, 10),
        label(QStringLiteral("Time"), 1.17, 0.92, 10),
        label(QStringLiteral("Event"), 2.5, 0.92, 10),
    };
    l.detail.height = 0.19;
    l.detail.items = {field(QStringLiteral("DATE"), 0), field(QStringLiteral("TIME"), 1.17),
                      field(QStringLiteral("EVENT"), 2.5)};
    return l;
}

void TFTP_LogReport::Preview(QWidget *parent)
{
    previewReport(report_, parent);
}

void previewReport(const BandedReport &report, QWidget *parent)
{
    QPrinter printer(QPrinter::HighResolution);
    printer.setPageLayout(report.pageLayout());
    QPrintPreviewDialog preview(&printer, parent);
    preview.setObjectName(QStringLiteral("ReportPreview"));
    QObject::connect(&preview, &QPrintPreviewDialog::paintRequested,
                     [&report](QPrinter *device) { report.print(*device); });

    auto *save = new QAction(QStringLiteral("Save as PDF…"), &preview);
    save->setObjectName(QStringLiteral("SaveAsPdf"));
    save->setToolTip(QStringLiteral("Save the report as a PDF file"));
    save->setEnabled(report.pageCount() > 0);
    QObject::connect(save, &QAction::triggered, &preview, [&report] {
        const QString path = dialogs().chooseFile(
            {QStringLiteral("Save Report as PDF"), QStringLiteral("PDF Files (*.pdf)|*.pdf"), {}, true});
        if (path.isEmpty())
            return;
        const QString problem = writeReportPdf(report, path);
        if (!problem.isEmpty())
            dialogs().error(problem);
    });
    if (auto *toolbar = preview.findChild<QToolBar *>()) {
        toolbar->addSeparator();
        toolbar->addAction(save);
    } else {
        preview.addAction(save);
    }
    preview.exec();
}

} // namespace cvb
