#include "ui/browser/TSourceList.h"

#include "ui_TSourceList.h"

#include "data/Table.h"
#include "ui/browser/BrowserRules.h"
#include "ui/browser/SourceGrid.h"
#include "ui/browser/TRemoteBrowser.h"
#include "ui/common/Dialogs.h"

#include <QHeaderView>
#include <QListWidget>
#include <QScopeGuard>

namespace cvb {

TSourceList::TSourceList(QWidget *parent)
    : QWidget(parent), ui_(std::make_unique<Ui::TSourceList>()), model_(new SourceTableModel(this))
{
    ui_->setupUi(this);
    ui_->SourceGrid->setModel(model_);
    ui_->SourceGrid->horizontalHeader()->setSectionResizeMode(SourceColumn, QHeaderView::Stretch);
    ui_->SourceGrid->horizontalHeader()->setSectionResizeMode(ModeColumn, QHeaderView::ResizeToContents);
    ui_->SourceGrid->verticalHeader()->hide();
    connect(ui_->SourceGrid->selectionModel(), &QItemSelectionModel::currentRowChanged, this,
            [this](const QModelIndex &current) { followGrid(current.row()); });
    connect(ui_->SourceGrid, &SourceGrid::dropped, this, &TSourceList::BrowserDrop);
    connect(ui_->DeleteButton, &QPushButton::clicked, this, &TSourceList::DeleteButtonClick);
    // A reset of the model (rows added, deleted, filtered) forgets the grid's current row.
    connect(model_, &QAbstractItemModel::modelReset, this, &TSourceList::followCursor);
}

TSourceList::~TSourceList()
{
    disconnect(cursorMoved_);
    model_->setTable(nullptr);
}

void TSourceList::setSources(Table *files)
{
    disconnect(cursorMoved_);
    files_ = files;
    model_->setTable(files);
    if (files)
        cursorMoved_ = connect(files, &Table::currentChanged, this, &TSourceList::followCursor);
    followCursor();
}

void TSourceList::acceptDropsFrom(TRemoteBrowser *browser)
{
    browser_ = browser;
    ui_->SourceGrid->acceptDropsFrom(browser ? browser->fileList() : nullptr);
}

void TSourceList::followCursor()
{
    if (following_ || !files_ || !files_->isOpen())
        return;
    following_ = true;
    const auto done = qScopeGuard([this] { following_ = false; });
    const int row = files_->position();
    QItemSelectionModel *selection = ui_->SourceGrid->selectionModel();
    if (row < 0)
        selection->clearCurrentIndex();
    else if (selection->currentIndex().row() != row)
        ui_->SourceGrid->setCurrentIndex(model_->index(row, SourceColumn));
}

void TSourceList::followGrid(int row)
{
    if (following_ || !files_ || !files_->isOpen() || row < 0 || row == files_->position())
        return;
    following_ = true;
    const auto done = qScopeGuard([this] { following_ = false; });
    // Leaving the row stores a mode changed on it.
    files_->moveTo(row);
}

void TSourceList::BrowserDrop()
{
    if (!browser_ || !files_)
        return;
    const std::optional<QString> entry = browser_->selectedEntry();
    if (!entry)
        return;
    const SourceRow row = droppedSource(profile_, browser_->pathText(), *entry);
    if (!fitsSourceField(row)) {
        dialogs().information(sourceTooLongMessage(row));
        return;
    }
    const QStringList alike = sourcesOfSameName(profileSources(), row.source);
    storeSource(*files_, row);
    // Two single files of one name cannot both lie directly in the backup folder: the backup
    // saves the later one elsewhere, and the user hears of it now.
    if (alike.isEmpty() || browser_->namesFolder(row.source).value_or(false))
        return;
    for (const QString &earlier : alike) {
        if (!browser_ || !browser_->namesFolder(earlier).value_or(false)) {
            dialogs().information(sameNameMessage(earlier, row.source));
            return;
        }
    }
}

QStringList TSourceList::profileSources() const
{
    QStringList sources;
    for (int row = 0; row < files_->recordCount(); ++row) {
        if (files_->stringAt(row, QStringLiteral("PROFILE")) == profile_)
            sources << files_->stringAt(row, QStringLiteral("SOURCE"));
    }
    return sources;
}

void TSourceList::DeleteButtonClick()
{
    if (!files_ || !files_->isOpen() || files_->isEmpty())
        return;
    files_->deleteRecord();
}

SourceGrid *TSourceList::grid() const
{
    return ui_->SourceGrid;
}

} // namespace cvb
