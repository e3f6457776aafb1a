// The backup window: exists for the duration of one backup. While it is shown it takes its
// queue entry off the queue and dials up when the connection settings ask for it; the queue
// monitor then hands it the backup folder and the report settings and starts its worker. A
// 1000 ms timer polls for the worker's end, then the window sends the report mail when the
// profile asks for one and closes itself.
#pragma once

#include "data/ConnectionSettings.h"
#include "scheduler/QueueMonitor.h"

#include <QPointer>
#include <QSet>
#include <QString>
#include <QStringList>
#include <QWidget>

#include <deque>
#include <functional>
#include <memory>

class QStatusBar;
class QTimer;
class QLabel;

namespace cvb {

class Table;
class TcvbFTP;
class TcvbNetDial;
class TFTP_MailSend;
class TFTP_BackupEventThread;

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

    // The program is ending: the running wait is interrupted, no further file or folder is
    // started, the backup logs that it was stopped and counts as failed, and the window closes
    // without a report mail as soon as its step has unwound. Returns at once.
    void stopBackup();
    bool isStopping() const { return m_stopRequested; }

    // The values that the queue monitor hands over after the showing step.
    void setBackupFolder(const QString &folder);
    void setReport(bool email, bool detailed, const QString &recipient);

    void StartWorker();

    // The backup window's log writer.
    void BackupLog(const QString &message);

    QString profileName() const { return m_profile; }
    bool BackupOk = false;
    bool BackupDone = false;

protected:
    void closeEvent(QCloseEvent *event) override;

private:
    struct FolderEntry
    {
        QString path;
        int baseLength = 0;
        int depth = 0; // levels below its source
    };

    void FormShow(const BackupRequest &request);
    void LogonStep();
    void TransferStep();
    void Timer1Timer();
    void FTPDirList(const QString &entry);
    void closeWindow();

    void downloadSource(const QString &source);
    // Where a file source goes, relative to the backup folder; empty when it has no place left.
    QString singleFilePlace(const QString &source, const QString &localName) const;
    void createParentLevels(const QString &place);
    void folderStep(const FolderEntry &entry);
    void listCurrentFolder();
    void copyListedName(const QString &folder, const FolderEntry &entry, const QString &name);
    void download(const QString &remoteFile, const QString &localFile);
    bool probe(const QString &remotePath);
    void logFailedName(const QString &exceptionMessage, const QString &name);
    void sendReport();

    BackupEnvironment m_environment;
    ConnectionSettings m_settings; // read from the connection record when the window opens
    QString m_profile;
    int m_queueRecNo = 0;
    bool m_closing = false;
    bool m_email = false;
    bool m_detailed = false;
    QString m_recipient;
    QString WhereToMacB;
    std::deque<FolderEntry> SubfolderList;
    // The folder the log-on landed in: sources typed without a leading "/" are below it.
    QString m_logOnFolder;
    bool m_depthLimitLogged = false;
    bool m_stopRequested = false;
    QStringList lFiles;
    // Places below the backup folder taken by the file sources of this run.
    QSet<QString> m_singleFilePlaces;

    TcvbFTP *FTP = nullptr;
    TcvbFTP *cvbFTP1 = nullptr;
    TcvbNetDial *cvbNetDial1 = nullptr;
    Table *Table_Files = nullptr;
    Table *Table_Log = nullptr;
    QTimer *Timer1 = nullptr;
    QStatusBar *StatusBar1 = nullptr;
    QPointer<TFTP_MailSend> m_mail;
    QObject *m_stepContext = nullptr;
    std::unique_ptr<TFTP_BackupEventThread> m_worker;
};

// Steps 7 and 8 of a queue monitor tick: creates the backup window for the request and, unless
// its showing step failed, hands it the folder and report settings and starts its worker. An
// error in the hand-over frees the window. Returns the window while it runs, else null.
TFTP_BackupThread *startBackupWindow(const BackupEnvironment &environment, const BackupRequest &request);

} // namespace cvb
