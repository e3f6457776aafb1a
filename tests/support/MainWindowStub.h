// What a window opened from the menu gets of the main window, for tests of that window alone:
// a fresh database folder with the main window's shared cursors, a connection guard that lets
// everyone in, and counters of the menu panel's calls. Header only; the test links cvb_data.
#pragma once

#include "data/Database.h"
#include "data/EventLogRow.h"
#include "data/Layouts.h"
#include "data/Table.h"
#include "ui/common/MainWindowAccess.h"

#include <QTemporaryDir>
#include <memory>

namespace cvb::test {

class MainWindowStub : public MainWindowAccess
{
public:
    // Takes the database folder `folder` (created with its tables) and opens the cursors.
    explicit MainWindowStub(const QString &folder)
        : lock(openDatabase(folder)), cnct(cursor("Table_Cnct", ConnectionTable)),
          profiles(cursor("Table_Profiles", ProfilesTable, ProfileIndex)),
          files(cursor("Table_Files", SourcesTable, ProfileIndex)), queue(cursor("Table_Queue", QueueTable)),
          log(cursor("Table_Log", LogTable)),
          profilesLkup(cursor("Table_ProfilesLKUP", ProfilesTable, ProfileIndex)),
          filesLkup(cursor("Table_FilesLKUP", SourcesTable, ProfileIndex))
    {
    }

    bool AllowAccess() override { return true; }
    void ShowMenuPanel() override { ++menuShown; }
    void HideMenuPanel() override { ++menuHidden; }
    void EventLog(const QString &message) override { writeLogRow(*log, QString(), message); }
    Table &Table_Cnct() const override { return *cnct; }
    Table &Table_Profiles() const override { return *profiles; }
    Table &Table_Files() const override { return *files; }
    Table &Table_Queue() const override { return *queue; }
    Table &Table_Log() const override { return *log; }
    Table &Table_ProfilesLKUP() const override { return *profilesLkup; }
    Table &Table_FilesLKUP() const override { return *filesLkup; }

    int menuShown = 0;
    int menuHidden = 0;

private:
    static std::unique_ptr<Table> cursor(const char *name, const QString &file, const QString &index = {})
    {
        auto table = std::make_unique<Table>(QString::fromLatin1(name), nullptr);
        table->open(file, index);
        return table;
    }

    std::unique_ptr<InstanceLock> lock;

public:
    std::unique_ptr<Table> cnct, profiles, files, queue, log, profilesLkup, filesLkup;
};

} // namespace cvb::test
