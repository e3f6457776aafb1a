// The event log as the log windows show and print it: the columns DATE, TIME and EVENT in this
// order, a row per record in the order written, the date as date text. Both the grid's model and
// the report's data read rows of the cursor only when they are shown or printed, so a long log
// opens at once.
#pragma once

#include "report/BandedReport.h"

#include <QAbstractTableModel>
#include <QStringList>

namespace cvb {

class Table;

// The fields of a log row, in the order they are shown and printed.
const QStringList &logColumns();

// The text of `field` in row `row` (0-based, in the cursor's view) of the log cursor `log`.
QString logCellText(const Table &log, int row, const QString &field);

// Deletes every row of the log, as deleting from the first row until it is empty would, in one
// step (one sync, one change signal) so that a long log clears at once.
void clearEntireLog(Table &log);

// A read-only model of the log cursor's rows that follows the cursor's changes.
class LogTableModel : public QAbstractTableModel
{
    Q_OBJECT
public:
    LogTableModel(Table &log, QObject *parent = nullptr);

    int rowCount(const QModelIndex &parent = {}) const override;
    int columnCount(const QModelIndex &parent = {}) const override;
    QVariant data(const QModelIndex &index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;

private:
    Table &log_;
};

// The log cursor as the report's data.
class LogReportData : public ReportData
{
public:
    explicit LogReportData(const Table &log) : log_(log) {}
    int rowCount() const override;
    QString text(int row, const QString &field) const override;

private:
    const Table &log_;
};

} // namespace cvb
