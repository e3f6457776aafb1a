// What the windows opened from the main menu use of the main window (TMainWin implements it): the
// connection guard, the menu panel, the event log and the shared cursors. Header only, so that
// windows below the application layer can take a `MainWindowAccess &` without linking it.
#pragma once

#include <QString>

namespace cvb {

class Table;

class MainWindowAccess
{
public:
    virtual ~MainWindowAccess() = default;

    // The connection guard: shows its message and returns false when the settings are incomplete.
    virtual bool AllowAccess() = 0;
    virtual void ShowMenuPanel() = 0;
    virtual void HideMenuPanel() = 0;
    virtual void EventLog(const QString &message) = 0;
    // A profile has been queued by hand (an instant backup): the queue monitor takes it on the
    // next turn of the event loop instead of on its next tick; its timer keeps its interval.
    virtual void startQueuedBackupSoon() {}

    virtual Table &Table_Cnct() const = 0;
    virtual Table &Table_Profiles() const = 0;
    virtual Table &Table_Files() const = 0;
    virtual Table &Table_Queue() const = 0;
    virtual Table &Table_Log() const = 0;
    virtual Table &Table_ProfilesLKUP() const = 0;
    virtual Table &Table_FilesLKUP() const = 0;
};

} // namespace cvb
