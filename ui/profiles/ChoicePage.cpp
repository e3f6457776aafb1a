#include "ui/profiles/ChoicePage.h"

#include "data/Table.h"
#include "ui/profiles/ProfileGrid.h"

#include <QHeaderView>
#include <QTableView>

namespace cvb {

ChoicePage::ChoicePage(ProfileOperation operation, QTableView *grid, Table &profiles, QObject *parent)
    : QObject(parent), operation_(operation), profiles_(profiles),
      model_(new ProfileGridModel(profiles,
                                  operation == ProfileOperation::Delete ? QStringLiteral("Profile")
                                                                        : QStringLiteral("PROFILE"),
                                  operation == ProfileOperation::Activate, this))
{
    grid->setModel(model_);
    grid->verticalHeader()->hide();
    if (operation == ProfileOperation::Activate) {
        // The name takes the room; the box column keeps its own width.
        grid->horizontalHeader()->setSectionResizeMode(0, QHeaderView::Stretch);
    } else {
        grid->horizontalHeader()->setStretchLastSection(true);
    }
    connect(grid, &QTableView::doubleClicked, this, [this](const QModelIndex &index) {
        if (choose(index.row()))
            emit chosen();
    });
}

bool ChoicePage::choose(int row)
{
    if (row < 0 || row >= profiles_.recordCount())
        return false;
    profiles_.moveTo(row);
    return true;
}

void ChoicePage::storeChanges()
{
    if (profiles_.state() == Table::State::Edit)
        profiles_.post();
}

} // namespace cvb
