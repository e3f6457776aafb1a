// TFTP_Freestyle, "Live FTP Session": the user moves files by hand between the local disk and
// the web server. The remote browser on the left (its path box editable), the local pane on the
// right (drive selector, folder tree, file list); a local file dropped on the remote list is
// uploaded, a remote entry dropped on the local file list is downloaded, a folder with all its
// subfolders, breadth first. A child window inside the main window; it frees itself when closed.
//
// Downloads never write outside the local folder chosen, and never destroy a local file before
// its new copy is complete. A folder download goes at most kMaxFolderDepth levels down, and
// "Stop" ends a running download: what is complete stays, the file being fetched goes. After a
// download the component's transfer mode is again the one the mode buttons show.
//
// The component waits for the server while window messages go on: a request to close the window
// meanwhile stops what runs, and the window closes once the wait has unwound (never under it).
//
// Object names: ConnectButton, StopButton, ReturnButton, ModeGroup, BinaryButton, AsciiButton, RemoteBrowser
// (with its WebServerLabel, eRemotePath, lFiles, OpenButton, UpButton, lTrace), InstructionLabel,
// LocalLabel, DriveComboBox1, DirectoryListBox1, FileListBox1; the components cvbFTP1 and
// cvbNetDial1.
#pragma once

#include "ftp/FtpClient.h"

#include <QWidget>
#include <memory>

class QEventLoop;
class QFileSystemModel;
class QTimer;

namespace Ui {
class TFTP_Freestyle;
}

namespace cvb {

class MainWindowAccess;
class TcvbNetDial;
class TRemoteBrowser;

class TFTP_Freestyle : public QWidget
{
    Q_OBJECT
public:
    explicit TFTP_Freestyle(MainWindowAccess &main, QWidget *parent = nullptr);
    ~TFTP_Freestyle() override;

    // Handlers.
    void ConnectButtonClick();
    void StopButtonClick();
    void ReturnButtonClick();

    // A drop on the remote list / the local file list from `source`; false (nothing done) when
    // the drop does not come from the other pane's list.
    bool dropOnRemoteList(const QObject *source);
    bool dropOnLocalFiles(const QObject *source);

    // The local folder the file list shows; choosing one makes it the process's current folder.
    QString localFolder() const;
    void setLocalFolder(const QString &folder);
    // Selects `name` in the local file list (once the list has read it); false when it is not there.
    bool selectLocalFile(const QString &name);

    TRemoteBrowser &browser() const;
    // True while an upload or a download runs.
    bool transferring() const { return transferring_; }
    // True while something of this window waits for the server (or the dial-up service).
    bool busy() const;

protected:
    void closeEvent(QCloseEvent *event) override;

private:
    class SessionCopy;

    void upload();
    void download();
    // Downloads one remote file of the current remote folder into `localFile` in `mode`;
    // RemoteFailed when the component failed (the entry may be a folder). A local failure is a
    // trace line.
    enum class FileResult { Done, RemoteFailed, LocalFailed, Stopped };
    FileResult downloadFile(const QString &name, const QString &localFile, TFTPTransferModes mode);
    // The mode the buttons show.
    TFTPTransferModes chosenMode() const;
    // Marks a transfer as running and turns the panes off until the returned token goes; a
    // stoppable one turns "Stop" on meanwhile.
    std::shared_ptr<void> beginTransfer(bool stoppable);
    // A fixed pause that "Stop" cuts short.
    void pause(int ms);
    // Ends the running waits: the transfer stops, a browser step fails.
    void interruptWaits();
    // After a stop inside an exchange the server still owes its reply: the connection is dropped
    // (the next step logs on again) rather than read out of step.
    void dropStoppedConnection();
    void enablePanes(bool enabled);
    void fillDrives();
    void trace(const QString &line);

    std::unique_ptr<Ui::TFTP_Freestyle> ui_;
    MainWindowAccess &main_;
    TcvbNetDial *dial_;
    QFileSystemModel *folders_;
    QFileSystemModel *files_;
    QTimer *stopRepeat_; // repeats a stop's interrupt until the download has unwound
    bool transferring_ = false;
    bool stopRequested_ = false;
    bool interruptedExchange_ = false; // a stop ended a wait inside an exchange with the server
    bool returning_ = false;           // "Return To Main Menu" logs off and hangs up
    bool closeRequested_ = false;      // asked to close while busy: closes once the waits have unwound
    QEventLoop *pause_ = nullptr;      // the running fixed pause
};

} // namespace cvb
