// A choice page of the profile wizard: a grid of the profiles for one operation. Editing
// (TabSheet6, EditGrid) and deleting (TabSheet7, DeleteGrid) choose on the shared profiles
// cursor; activating (TabSheet8, ActivationGrid, with the ACTIVE box of each profile) and the
// instant backup (TabSheet9, InstantGrid) on the wizard's own cursor Table1. A double-click on a
// profile makes it the cursor's current record and tells the wizard.
#pragma once

#include "ui/profiles/ProfilePage.h"

class QTableView;

namespace cvb {

class ProfileGridModel;

class ChoicePage : public QObject
{
    Q_OBJECT
public:
    // `operation` is one of Edit, Delete, Activate and InstantBackup; `profiles` the cursor its
    // grid shows.
    ChoicePage(ProfileOperation operation, QTableView *grid, Table &profiles, QObject *parent = nullptr);

    ProfileOperation operation() const { return operation_; }
    // Makes the profile of grid row `row` current; false, and nothing done, for a row that is
    // not there.
    bool choose(int row);
    // Stores a ticked box the cursor still holds unposted (the activation page's "Done").
    void storeChanges();

signals:
    // A double-click chose the cursor's current profile.
    void chosen();

private:
    ProfileOperation operation_;
    Table &profiles_;
    ProfileGridModel *model_;
};

} // namespace cvb
