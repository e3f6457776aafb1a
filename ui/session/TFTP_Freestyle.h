// TFTP_Freestyle, "Live FTP Session": the user moves files by hand between the local disk and
// the web server. The remote browser on the left (its path box editable), the local pane on the
// right (drive selector, folder tree, file list); a local file dropped on the remote list is
// uploaded, a remote entry dropped on the local file list is downloaded, a folder with all its
// subfolders, breadth first. A child window inside the main window; it frees itself when closed.
//
// Downloads never write outside the local folder chosen, and never destroy a local file before
// its new copy is complete.
//
// Object names: ConnectButton, ReturnButton, ModeGroup, BinaryButton, AsciiButton, RemoteBrowser
// (with its WebServerLabel, eRemotePath, lFiles, OpenButton, UpButton, lTrace), InstructionLabel,
// LocalLabel, DriveComboBox1, DirectoryListBox1, FileListBox1; the components cvbFTP1 and
// cvbNetDial1.
#pragma once

#include <QWidget>
#include <memory>

class QFileSystemModel;

namespace Ui {
class TFTP_Freestyle;
}

namespace cvb {

class FolderDownload;
class MainWindowAccess;
class TcvbFTP;
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

protected:
    void closeEvent(QCloseEvent *event) override;

private:
    void upload();
    void download();
    // Downloads one remote file of the current remote folder into `localFile`; false when the
    // component failed (the entry may be a folder). A local failure is a trace line.
    enum class FileResult { Done, RemoteFailed, LocalFailed };
    FileResult downloadFile(const QString &name, const QString &localFile);
    void downloadFolder(FolderDownload &work);
    // Marks a transfer as running and turns the panes off until the returned token goes.
    std::shared_ptr<void> beginTransfer();
    void enablePanes(bool enabled);
    void fillDrives();
    void trace(const QString &line);

    std::unique_ptr<Ui::TFTP_Freestyle> ui_;
    MainWindowAccess &main_;
    TcvbNetDial *dial_;
    QFileSystemModel *folders_;
    QFileSystemModel *files_;
    bool transferring_ = false;
};

} // namespace cvb
