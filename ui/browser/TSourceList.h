// TSourceList: the source half of the profile wizard's source page. It shows the sources
// cursor in a grid (see SourceGrid.h), stores a remote entry dropped from the browser's `lFiles`
// as a new row of the profile at once, and deletes the grid's current row on "Delete Selected
// File From List" without asking. A dropped single file whose name another single file of the
// profile has is stored too, with a note on where the backup will save it.
//
// The caller hands it the cursor (the main window's shared `Table_Files`, restricted to the
// profile by the caller's filter) and the profile's name; the grid's current row and the
// cursor's current record follow each other.
//
// Object names: BackupListLabel, SourceGrid (its mode editor: ModeBox), DeleteButton.
#pragma once

#include "data/Table.h"
#include "ui/browser/TRemoteBrowser.h"

#include <QPointer>
#include <QWidget>
#include <memory>

namespace Ui {
class TSourceList;
}

namespace cvb {

class SourceGrid;
class SourceTableModel;

class TSourceList : public QWidget
{
    Q_OBJECT
public:
    explicit TSourceList(QWidget *parent = nullptr);
    ~TSourceList() override;

    // The cursor shown and written (nullptr: none). It must outlive the widget or be set back.
    void setSources(Table *files);
    // PROFILE of the rows that drops add.
    void setProfile(const QString &profile) { profile_ = profile; }
    QString profile() const { return profile_; }
    // Drops are taken only from this browser's remote list.
    void acceptDropsFrom(TRemoteBrowser *browser);

    // A drop from the accepted browser: stores the entry selected there; nothing without one.
    void BrowserDrop();
    void DeleteButtonClick();

    SourceGrid *grid() const;

private:
    void followCursor();
    // SOURCE of the rows of the cursor that belong to the profile.
    QStringList profileSources() const;
    void followGrid(int row);

    std::unique_ptr<Ui::TSourceList> ui_;
    SourceTableModel *model_;
    QPointer<Table> files_;
    QPointer<TRemoteBrowser> browser_;
    QString profile_;
    QMetaObject::Connection cursorMoved_;
    bool following_ = false;
};

} // namespace cvb
