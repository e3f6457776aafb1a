#include "ui/browser/SourceGrid.h"

#include "data/Table.h"
#include "data/TransferMode.h"

#include <QComboBox>
#include <QDropEvent>
#include <QLineEdit>
#include <QScopeGuard>

namespace cvb {

namespace {

QString fieldOf(int column)
{
    return column == SourceColumn ? QStringLiteral("SOURCE") : QStringLiteral("MODE");
}

} // namespace

SourceTableModel::SourceTableModel(QObject *parent) : QAbstractTableModel(parent)
{
}

void SourceTableModel::setTable(Table *files)
{
    beginResetModel();
    disconnect(changed_);
    files_ = files;
    if (files)
        // Rows come and go through drops, deletes, filters and other cursors' posts.
        changed_ = connect(files, &Table::dataChanged, this, [this] {
            if (writing_)
                return;
            beginResetModel();
            endResetModel();
        });
    endResetModel();
}

int SourceTableModel::rowCount(const QModelIndex &parent) const
{
    return parent.isValid() || !files_ || !files_->isOpen() ? 0 : files_->recordCount();
}

int SourceTableModel::columnCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : 2;
}

QVariant SourceTableModel::data(const QModelIndex &index, int role) const
{
    if ((role != Qt::DisplayRole && role != Qt::EditRole) || !index.isValid() || index.row() >= rowCount())
        return {};
    const QString field = fieldOf(index.column());
    // The row being edited shows what was chosen, not yet what is stored.
    if (files_->state() == Table::State::Edit && files_->position() == index.row())
        return files_->asString(field);
    return files_->stringAt(index.row(), field);
}

bool SourceTableModel::setData(const QModelIndex &index, const QVariant &value, int role)
{
    if (role != Qt::EditRole || !index.isValid() || index.column() != ModeColumn || index.row() >= rowCount())
        return false;
    const QString mode = value.toString().left(ModeTextLimit);
    if (mode == data(index).toString())
        return false;
    {
        writing_ = true;
        const auto done = qScopeGuard([this] { writing_ = false; });
        // Moving posts a change pending on another row first.
        if (files_->position() != index.row())
            files_->moveTo(index.row());
        files_->edit();
        files_->setString(QStringLiteral("MODE"), mode);
    }
    emit dataChanged(index, index);
    return true;
}

Qt::ItemFlags SourceTableModel::flags(const QModelIndex &index) const
{
    Qt::ItemFlags f = QAbstractTableModel::flags(index);
    if (index.isValid() && index.column() == ModeColumn)
        f |= Qt::ItemIsEditable;
    return f;
}

QVariant SourceTableModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (role != Qt::DisplayRole || orientation != Qt::Horizontal || section < 0 || section >= columnCount())
        return QAbstractTableModel::headerData(section, orientation, role);
    return section == SourceColumn ? SourceColumnTitle : ModeColumnTitle;
}

QWidget *ModeDelegate::createEditor(QWidget *parent, const QStyleOptionViewItem &, const QModelIndex &) const
{
    auto *box = new QComboBox(parent);
    box->setObjectName(QStringLiteral("ModeBox"));
    box->setEditable(true);
    box->setInsertPolicy(QComboBox::NoInsert);
    box->addItems({transferModeText(TransferMode::Binary), transferModeText(TransferMode::Ascii)});
    box->lineEdit()->setMaxLength(ModeTextLimit);
    // A choice from the list counts at once; typed text when the cell is left.
    auto *self = const_cast<ModeDelegate *>(this); // signals are not const
    connect(box, &QComboBox::activated, self, [self, box] { emit self->commitData(box); });
    return box;
}

void ModeDelegate::setEditorData(QWidget *editor, const QModelIndex &index) const
{
    static_cast<QComboBox *>(editor)->setCurrentText(index.data(Qt::EditRole).toString());
}

void ModeDelegate::setModelData(QWidget *editor, QAbstractItemModel *model, const QModelIndex &index) const
{
    model->setData(index, static_cast<QComboBox *>(editor)->currentText(), Qt::EditRole);
}

SourceGrid::SourceGrid(QWidget *parent) : QTableView(parent)
{
    setAcceptDrops(true);
    setDragDropMode(QAbstractItemView::DropOnly);
    setSelectionBehavior(QAbstractItemView::SelectRows);
    setSelectionMode(QAbstractItemView::SingleSelection);
    setItemDelegateForColumn(ModeColumn, new ModeDelegate(this));
    setEditTriggers(QAbstractItemView::AllEditTriggers);
}

bool SourceGrid::dropFrom(const QObject *source)
{
    if (!acceptsDropFrom(source))
        return false;
    emit dropped();
    return true;
}

void SourceGrid::dragEnterEvent(QDragEnterEvent *event)
{
    if (acceptsDropFrom(event->source()))
        event->acceptProposedAction();
    else
        event->ignore();
}

void SourceGrid::dragMoveEvent(QDragMoveEvent *event)
{
    if (acceptsDropFrom(event->source()))
        event->acceptProposedAction();
    else
        event->ignore();
}

void SourceGrid::dropEvent(QDropEvent *event)
{
    if (dropFrom(event->source()))
        event->acceptProposedAction();
    else
        event->ignore();
}

} // namespace cvb
