// The profile grids of the wizard's choice pages: a row per profile of a profiles cursor, in the
// cursor's order, with the column PROFILE and, for the activation page, ACTIVE as a check box.
// Ticking a box edits that row through the cursor; as in the program's other data-aware grids the
// change is stored when another row becomes current or the cursor is posted.
#pragma once

#include <QAbstractTableModel>

namespace cvb {

class Table;

class ProfileGridModel : public QAbstractTableModel
{
    Q_OBJECT
public:
    // `withActive`: a second, editable column ACTIVE.
    ProfileGridModel(Table &profiles, const QString &title, bool withActive, QObject *parent = nullptr);

    int rowCount(const QModelIndex &parent = {}) const override;
    int columnCount(const QModelIndex &parent = {}) const override;
    QVariant data(const QModelIndex &index, int role = Qt::DisplayRole) const override;
    bool setData(const QModelIndex &index, const QVariant &value, int role = Qt::EditRole) override;
    Qt::ItemFlags flags(const QModelIndex &index) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;

private:
    bool activeAt(int row) const;

    Table &profiles_;
    QString title_;
    bool withActive_;
    bool writing_ = false;
};

} // namespace cvb
