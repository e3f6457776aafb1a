// TMainWin, the main window: it is the program. It owns the seven shared table cursors, the two
// scheduler timers, the event log writer and the transfer-mode list, and offers the menu from
// which every other window is opened. Closing it frees it and ends the program; hiding it in the
// system tray keeps everything running.
//
// Object names of the controls (tests find them by these names):
//   MenuPanel, StatusBar1, GIFImage4, ASCIIExtensions, TrayIcon1, TrayMenu, Restore (tray entry),
//   VendorLogo1..VendorLogo3 (the vendor logo pictures), and the menu buttons
//   ConnectionButton     "Set Connection To Web Server"
//   ProfilesButton       "Build/Edit Backup Session Profile"
//   LogsButton           "View Backup History Logs"
//   LiveSessionButton    "Live Upload/Download To Web Server (FTP)"
//   InstantBackupButton  "Initiate Instant Profile Backup"
//   ScheduleButton       "View Web Backup Schedule"
//   BackgroundButton     "Run In Background"
//   QuitButton           "Quit And Exit Program"
// Timers: EventMonitor, QueueMonitor. Cursors: Table_Cnct, Table_Profiles, Table_Files, Table_Queue,
// Table_Log, Table_ProfilesLKUP, Table_FilesLKUP.
#pragma once

#include "backup/BackupProgress.h"
#include "backup/ReportText.h"
#include "scheduler/ScheduleMonitor.h"
#include "ui/common/MainWindowAccess.h"

#include <QMap>
#include <QPointer>
#include <QString>
#include <QStringList>
#include <QWidget>
#include <memory>

class QLabel;
class QListWidget;
class QMenu;
class QStatusBar;
class QSystemTrayIcon;
class QTimer;
class QToolButton;

namespace cvb {

class Table;
class TableScheduleBook;
class QueueMonitor;

// The vendor's web site, opened by the logo pictures (the report mail names the same address).
inline const QString VendorAddress = QLatin1String(kVendorWebAddress);

class TMainWin : public QWidget, public MainWindowAccess
{
    Q_OBJECT
public:
    // Opens the seven cursors on the tables of the alias folder (which must be set up already),
    // then runs the start-up step with both timers stopped.
    explicit TMainWin(QWidget *parent = nullptr);
    ~TMainWin() override;

    // The connection guard: shows its message and returns false when the connection settings
    // are incomplete.
    bool AllowAccess() override;
    void ShowMenuPanel() override;
    void HideMenuPanel() override;

    // Writes a log row with the current backup profile in front and mirrors the message in StatusBar1.
    void EventLog(const QString &message) override;
    void startQueuedBackupSoon() override;
    // Empties panel 0 of the status bar.
    void clearStatus();
    QString statusText() const;

    // The profile that the queue monitor started last; empty until then.
    QString currentBackupProfile() const { return currentBackupProfile_; }
    void setCurrentBackupProfile(const QString &profile) { currentBackupProfile_ = profile; }

    // The transfer-mode rule on the window's own extension list.
    QStringList asciiExtensions() const;
    bool IsAsciiExtension(const QString &name) const;

    Table &Table_Cnct() const override { return *tableCnct_; }
    Table &Table_Profiles() const override { return *tableProfiles_; }
    Table &Table_Files() const override { return *tableFiles_; }
    Table &Table_Queue() const override { return *tableQueue_; }
    Table &Table_Log() const override { return *tableLog_; }
    Table &Table_ProfilesLKUP() const override { return *tableProfilesLkup_; }
    Table &Table_FilesLKUP() const override { return *tableFilesLkup_; }
    QTimer *EventMonitor() const { return eventMonitor_; }
    QTimer *QueueMonitor() const { return queueMonitor_; }
    QSystemTrayIcon *TrayIcon1() const { return trayIcon_; }

    // Handlers, named after their control and event.
    // Opens the window of a menu button as its entry in the menu table says (app/MenuTable.h).
    void openMenuWindow(const QString &button);
    void BackgroundButtonClick();
    void QuitButtonClick();
    void RestoreClick();
    void VendorLogoClick();
    void EventMonitorTimer();
    void QueueMonitorTimer();

signals:
    // A backup window has closed: which profile it backed up and whether that succeeded.
    void backupClosed(const QString &profile, bool backupOk);
    // Just before: what the backup got done and, for a failed one, its first failure.
    void backupEnded(const cvb::BackupProgressSnapshot &progress, bool backupOk, const QString &firstFailure);

protected:
    void showEvent(QShowEvent *event) override;
    // Ending the program: running backups are stopped first, and the window closes (and frees
    // itself) once their windows have gone, never from inside one of their steps.
    void closeEvent(QCloseEvent *event) override;

private:
    Table *openCursor(const QString &name, const QString &fileName, const QString &index = {});
    QWidget *buildMenuPanel();
    QToolButton *addButton(const QString &name, const QString &caption,
                           void (TMainWin::*handler)() = nullptr);
    void buildTrayIcon();
    // The tray icon's tooltip: the running backups' progress and the last result of each profile.
    void TrayTimerTimer();
    void backupHasEnded(const BackupProgressSnapshot &progress, bool ok, const QString &firstFailure);
    void centreOnScreen();
    void startUp();
    void loadLogo();
    // Asks every running backup to stop; true while one of them has not closed yet.
    bool stopRunningBackups();

    Table *tableCnct_;
    Table *tableProfiles_;
    Table *tableFiles_;
    Table *tableQueue_;
    Table *tableLog_;
    Table *tableProfilesLkup_;
    Table *tableFilesLkup_;
    QTimer *eventMonitor_;
    QTimer *queueMonitor_;
    QWidget *menuPanel_ = nullptr;
    QStatusBar *statusBar_ = nullptr;
    QLabel *logo_ = nullptr;
    QListWidget *asciiExtensions_ = nullptr;
    QSystemTrayIcon *trayIcon_ = nullptr;
    QMenu *trayMenu_ = nullptr;
    QTimer *trayTimer_ = nullptr;
    QMap<QString, QString> lastResults_; // per profile: the summary of its last backup
    QString currentBackupProfile_;
    bool closeAfterBackups_ = false; // a close waits for the stopped backups' windows
    QList<QPointer<QWidget>> menuWindows_; // the windows opened from the menu that are still open
    ScheduleMonitor schedule_;
    std::unique_ptr<TableScheduleBook> monitorBook_; // the event monitor's view: Table_ProfilesLKUP
    std::unique_ptr<cvb::QueueMonitor> queueMonitorLogic_;
};

} // namespace cvb
