// TFTP_LogReport carries the layout of the printed event log: letter paper, portrait, half-inch
// margins; a column header on every page with the date and time, the page number, the title,
// the product line and the captions; a detail line per log row. Its data is the log cursor it is
// given (the main window's own). It prints nothing when the log is empty.
#pragma once

#include "report/BandedReport.h"
#include "ui/logs/LogRows.h"

#include <QString>

class QWidget;

namespace cvb {

class Table;

class TFTP_LogReport
{
public:
    // The report over `log`, stamped with the clock's current date and time.
    explicit TFTP_LogReport(const Table &log);

    static ReportLayout layout();

    const BandedReport &QuickRep1() const { return report_; }

    // Shows the report in the print preview, from which the user prints or saves it as PDF, and
    // returns when the preview is closed.
    void Preview(QWidget *parent);

private:
    LogReportData data_;
    BandedReport report_;
};

// Shows `report` in a print preview with an added "Save as PDF…" action (a file chooser through
// the dialogs seam) and returns when the preview is closed.
void previewReport(const BandedReport &report, QWidget *parent);

} // namespace cvb
