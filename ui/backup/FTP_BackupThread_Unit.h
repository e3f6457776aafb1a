// The backup window: exists for the duration of one backup. It shows what its backup (a
// BackupRun) reports: the profile, the file in hand with a gauge when its size is known, the
// files done and failed of those known, the bytes, the speed and the time so far (read a few
// times a second), and the latest log row in its status bar. Its Stop button asks once, then
// stops the backup, which then counts as failed. While it is shown the run takes its
// queue entry off the queue and dials up when the connection settings ask for it; the queue
// monitor then hands it the backup folder and the report settings and starts its worker. A
// 1000 ms timer polls for the worker's end, then the run sends the report mail when the profile
// asks for one and the window closes itself.
#pragma once

#include "backup/BackupProgress.h"
#include "scheduler/QueueMonitor.h"

#include <QString>
#include <QWidget>

#include <functional>
#include <memory>

class QLabel;
class QStatusBar;
class QTimer;

namespace Ui {
class FTP_BackupThread;
}

namespace cvb {

class BackupRun;
class Table;
class TFTP_BackupEventThread;

// The question of the Stop button; %1 is the profile.
inline const QString StopBackupQuestion = QStringLiteral("Stop the backup of profile %1?");

// What the main window lends a backup window.
struct BackupEnvironment
{
    Table *queue = nullptr;      // Table_Queue of the main window
    Table *connection = nullptr; // Table_Cnct: its current record holds the connection settings
    // The window that lends these: backup windows are its children (separate windows all the same),
    // so none outlives the cursors it works with.
    QWidget *owner = nullptr;
    // Told once, as a window closes, which profile it backed up and whether that succeeded.
    std::function<void(const QString &profile, bool backupOk)> backupClosed;
    // Told just before: the backup's last progress and, for a failed one, its first failure.
    std::function<void(const BackupProgressSnapshot &progress, bool backupOk, const QString &firstFailure)>
        backupEnded;
};

class TFTP_BackupThread : public QWidget
{
    Q_OBJECT
public:
    // Creating the window runs its showing step for the taken queue entry of `request`.
    TFTP_BackupThread(const BackupEnvironment &environment, const BackupRequest &request,
                      QWidget *parent = nullptr);
    ~TFTP_BackupThread() override;

    // True once the window has begun to close (the showing step may have failed).
    bool isClosing() const { return m_closing; }

    // The program is ending: the backup stops (see BackupRun::stop) and the window closes
    // without a report mail as soon as its step has unwound. Returns at once.
    void stopBackup();
    bool isStopping() const;

    // The values that the queue monitor hands over after the showing step.
    void setBackupFolder(const QString &folder, const SnapshotPlan &snapshot = {});
    void setReport(bool email, bool detailed, const QString &recipient);

    void StartWorker();

    QString profileName() const;
    BackupRun &run() { return *m_run; }

    // The Stop button: asks whether to stop; Yes stops the backup as stopBackup does, but the
    // report mail still goes.
    void StopButtonClick();
    // Shows the backup's progress (ProgressTimer, a few times a second).
    void ProgressTimerTimer();

protected:
    void closeEvent(QCloseEvent *event) override;

private:
    void FormShow(const BackupRequest &request);
    void Timer1Timer();
    void closeWindow();
    void growToShowAll();
    void showStatus(); // the newest row, in the status bar

    std::unique_ptr<Ui::FTP_BackupThread> ui_;
    BackupEnvironment m_environment;
    bool m_closing = false;
    bool m_asking = false; // the Stop question is open: the window does not close under it
    BackupRun *m_run = nullptr;
    QTimer *Timer1 = nullptr;
    QTimer *ProgressTimer = nullptr;
    QTimer *StatusTimer = nullptr; // shows the newest row of a burst
    QString m_status;              // the newest row
    QStatusBar *StatusBar1 = nullptr;
    QLabel *StatusText = nullptr; // panel 0 of StatusBar1
    QObject *m_stepContext = nullptr;
    std::unique_ptr<TFTP_BackupEventThread> m_worker;
};

// Steps 7 and 8 of a queue monitor tick: creates the backup window for the request and, unless
// its showing step failed, hands it the folder and report settings and starts its worker. An
// error in the hand-over frees the window. Returns the window while it runs, else null.
TFTP_BackupThread *startBackupWindow(const BackupEnvironment &environment, const BackupRequest &request);

} // namespace cvb
