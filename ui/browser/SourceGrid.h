// The source list's grid and what it shows: the rows of the sources cursor with the columns
// "Files To Backup" (SOURCE, read-only) and "Select Mode" (MODE, a drop-down of "Binary" and
// "ASCII" that also takes typed text). PROFILE is not shown. As with the program's other
// data-aware grids, a changed mode leaves the cursor in edit mode on its row and is stored when
// the grid moves to another row (or the cursor is posted otherwise).
#pragma once

#include "data/Table.h"

#include <QAbstractTableModel>
#include <QPointer>
#include <QStyledItemDelegate>
#include <QTableView>

namespace cvb {

inline const QString SourceColumnTitle = QStringLiteral("Files To Backup");
inline const QString ModeColumnTitle = QStringLiteral("Select Mode");
inline constexpr int SourceColumn = 0;
inline constexpr int ModeColumn = 1;
inline constexpr int ModeTextLimit = 20;

class SourceTableModel : public QAbstractTableModel
{
    Q_OBJECT
public:
    explicit SourceTableModel(QObject *parent = nullptr);

    // The cursor shown (nullptr: none); it must outlive the model or be set back to nullptr.
    void setTable(Table *files);
    Table *table() const { return files_; }

    int rowCount(const QModelIndex &parent = {}) const override;
    int columnCount(const QModelIndex &parent = {}) const override;
    QVariant data(const QModelIndex &index, int role = Qt::DisplayRole) const override;
    bool setData(const QModelIndex &index, const QVariant &value, int role = Qt::EditRole) override;
    Qt::ItemFlags flags(const QModelIndex &index) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;

private:
    QPointer<Table> files_;
    QMetaObject::Connection changed_;
    bool writing_ = false;
};

// The drop-down editor of the mode column.
class ModeDelegate : public QStyledItemDelegate
{
    Q_OBJECT
public:
    using QStyledItemDelegate::QStyledItemDelegate;
    QWidget *createEditor(QWidget *parent, const QStyleOptionViewItem &option,
                          const QModelIndex &index) const override;
    void setEditorData(QWidget *editor, const QModelIndex &index) const override;
    void setModelData(QWidget *editor, QAbstractItemModel *model, const QModelIndex &index) const override;
};

// The grid: takes drops only from the one widget it is told to accept them from.
class SourceGrid : public QTableView
{
    Q_OBJECT
public:
    explicit SourceGrid(QWidget *parent = nullptr);

    void acceptDropsFrom(QObject *source) { dropSource_ = source; }
    // Whether a drag that started at `source` may be dropped here.
    bool acceptsDropFrom(const QObject *source) const { return source && source == dropSource_; }
    // A drop that started at `source`: signals `dropped` when it is accepted; false otherwise.
    bool dropFrom(const QObject *source);

signals:
    void dropped();

protected:
    void dragEnterEvent(QDragEnterEvent *event) override;
    void dragMoveEvent(QDragMoveEvent *event) override;
    void dropEvent(QDropEvent *event) override;

private:
    QPointer<QObject> dropSource_;
};

} // namespace cvb
