#include "ui/profiles/ProfileGrid.h"

#include "data/Table.h"

namespace cvb {

ProfileGridModel::ProfileGridModel(Table &profiles, const QString &title, bool withActive, QObject *parent)
    : QAbstractTableModel(parent), profiles_(profiles), title_(title), withActive_(withActive)
{
    connect(&profiles_, &Table::dataChanged, this, [this] {
        if (writing_)
            return;
        beginResetModel();
        endResetModel();
    });
}

int ProfileGridModel::rowCount(const QModelIndex &parent) const
{
    return parent.isValid() || !profiles_.isOpen() ? 0 : profiles_.recordCount();
}

int ProfileGridModel::columnCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : (withActive_ ? 2 : 1);
}

bool ProfileGridModel::activeAt(int row) const
{
    // The row being edited shows its unposted value.
    if (row == profiles_.position() && profiles_.state() == Table::State::Edit)
        return profiles_.asBool(QStringLiteral("ACTIVE"));
    const QString stored = profiles_.stringAt(row, QStringLiteral("ACTIVE")).toUpper();
    return stored == QLatin1String("T") || stored == QLatin1String("Y");
}

QVariant ProfileGridModel::data(const QModelIndex &index, int role) const
{
    if (!index.isValid() || index.row() >= rowCount())
        return {};
    if (index.column() == 0)
        return role == Qt::DisplayRole ? QVariant(profiles_.stringAt(index.row(), QStringLiteral("PROFILE")))
                                       : QVariant();
    if (role == Qt::CheckStateRole)
        return activeAt(index.row()) ? Qt::Checked : Qt::Unchecked;
    return {};
}

bool ProfileGridModel::setData(const QModelIndex &index, const QVariant &value, int role)
{
    if (!withActive_ || index.column() != 1 || role != Qt::CheckStateRole || index.row() >= rowCount())
        return false;
    {
        // Moving to another row stores the change of the row before.
        writing_ = true;
        profiles_.moveTo(index.row());
        profiles_.edit();
        profiles_.setBool(QStringLiteral("ACTIVE"), value.toInt() == Qt::Checked);
        writing_ = false;
    }
    // The move may have stored another row's change: show every row again.
    emit dataChanged(this->index(0, 0), this->index(rowCount() - 1, columnCount() - 1));
    return true;
}

Qt::ItemFlags ProfileGridModel::flags(const QModelIndex &index) const
{
    if (!index.isValid())
        return Qt::NoItemFlags;
    if (index.column() == 1)
        return Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemIsUserCheckable;
    return Qt::ItemIsEnabled | Qt::ItemIsSelectable;
}

QVariant ProfileGridModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (role != Qt::DisplayRole || orientation != Qt::Horizontal)
        return QAbstractTableModel::headerData(section, orientation, role);
    return section == 0 ? title_ : QStringLiteral("ACTIVE");
}

} // namespace cvb
