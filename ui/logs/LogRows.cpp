#include "ui/logs/LogRows.h"

#include "data/DateText.h"
#include "data/Table.h"

namespace cvb {

const QStringList &logColumns()
{
    static const QStringList columns{QStringLiteral("DATE"), QStringLiteral("TIME"), QStringLiteral("EVENT")};
    return columns;
}

QString logCellText(const Table &log, int row, const QString &field)
{
    const QString stored = log.stringAt(row, field);
    if (field != QLatin1String("DATE"))
        return stored;
    const QDate date = QDate::fromString(stored, QStringLiteral("yyyyMMdd"));
    return date.isValid() ? DateText::date(date) : QString();
}

void clearEntireLog(Table &log)
{
    log.first();
    log.deleteAll();
}

LogTableModel::LogTableModel(Table &log, QObject *parent) : QAbstractTableModel(parent), log_(log)
{
    // Rows come and go through this cursor and through the main window's log writer on it.
    connect(&log_, &Table::dataChanged, this, [this] {
        beginResetModel();
        endResetModel();
    });
}

int LogTableModel::rowCount(const QModelIndex &parent) const
{
    return parent.isValid() || !log_.isOpen() ? 0 : log_.recordCount();
}

int LogTableModel::columnCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : int(logColumns().size());
}

QVariant LogTableModel::data(const QModelIndex &index, int role) const
{
    if (role != Qt::DisplayRole || !index.isValid() || index.row() >= rowCount())
        return {};
    return logCellText(log_, index.row(), logColumns().at(index.column()));
}

QVariant LogTableModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (role != Qt::DisplayRole || orientation != Qt::Horizontal || section < 0 || section >= columnCount())
        return QAbstractTableModel::headerData(section, orientation, role);
    return logColumns().at(section);
}

int LogReportData::rowCount() const
{
    return log_.isOpen() ? log_.recordCount() : 0;
}

QString LogReportData::text(int row, const QString &field) const
{
    return logCellText(log_, row, field);
}

} // namespace cvb
