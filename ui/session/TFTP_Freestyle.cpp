#include "ui/session/TFTP_Freestyle.h"

#include "ui_TFTP_Freestyle.h"

#include "component/Component.h"
#include "data/ConnectionSettings.h"
#include "data/Pacing.h"
#include "data/TransferMode.h"
#include "dialup/NetDial.h"
#include "ftp/FolderListing.h"
#include "ftp/FtpClient.h"
#include "ftp/PartFile.h"
#include "remote/TreeCopy.h"
#include "ui/browser/BrowserRules.h"
#include "ui/browser/TRemoteBrowser.h"
#include "ui/common/Dialogs.h"
#include "ui/common/MainWindowAccess.h"
#include "ui/session/SessionRules.h"

#include <QCloseEvent>
#include <QDir>
#include <QDragMoveEvent>
#include <QEventLoop>
#include <QFileSystemModel>
#include <QLineEdit>
#include <QListWidget>
#include <QScopeGuard>
#include <QStorageInfo>
#include <QTimer>
#include <functional>

namespace cvb {

namespace {

// Takes the drags and drops of an item view's viewport: only drags that start in `source` are
// accepted, and a drop calls `dropped`.
class DropFilter : public QObject
{
public:
    DropFilter(QAbstractItemView *target, const QObject *source, std::function<void(const QObject *)> dropped)
        : QObject(target), source_(source), dropped_(std::move(dropped))
    {
        target->setAcceptDrops(true);
        target->viewport()->setAcceptDrops(true);
        target->viewport()->installEventFilter(this);
    }

protected:
    bool eventFilter(QObject *, QEvent *event) override
    {
        switch (event->type()) {
        case QEvent::DragEnter:
        case QEvent::DragMove: {
            auto *drag = static_cast<QDragMoveEvent *>(event);
            if (drag->source() == source_)
                drag->acceptProposedAction();
            else
                drag->ignore();
            return true;
        }
        case QEvent::Drop: {
            auto *drop = static_cast<QDropEvent *>(event);
            drop->acceptProposedAction();
            dropped_(drop->source());
            return true;
        }
        default:
            return false;
        }
    }

private:
    const QObject *source_;
    std::function<void(const QObject *)> dropped_;
};

TFTPTransferModes modeFor(const QString &name)
{
    return transferModeFor(name) == TransferMode::Binary ? tmBinary : tmASCII;
}

} // namespace

// How the live session copies a dropped folder: each file in the mode of its name, a name that
// cannot be fetched taken to be a folder, every step a trace line, pauses that "Stop" cuts short.
class TFTP_Freestyle::SessionCopy : public TreeCopy::Hooks
{
public:
    explicit SessionCopy(TFTP_Freestyle &window) : m_window(window) {}

    bool stopped() const override { return m_window.stopRequested_; }

    FolderEntries listCurrentFolder() override
    {
        QListWidget *list = m_window.browser().fileList();
        list->clear();
        listFolderWithDotFiles(m_window.browser().component(), [list] { list->clear(); });
        return untypedEntries(m_window.browser().entries());
    }

    void folderEntered(const TreeCopy::Folder &, const QString &serverPath) override
    {
        m_window.browser().pathBox()->setText(serverPath);
    }

    bool makeLocalFolder(const QString &localFolder) override
    {
        QDir().mkdir(localFolder);
        if (QFileInfo(localFolder).isDir())
            return true;
        m_window.trace(QStringLiteral("ERR:A file is in the way of the folder ") + localFolder);
        return false;
    }

    TreeCopy::FileResult copyFile(const FileTransfers::Job &job, FileTransfers::Outcome *) override
    {
        switch (m_window.downloadFile(job.name, job.localFile, modeFor(job.name))) {
        case FileResult::Done:
            return TreeCopy::FileResult::Copied;
        case FileResult::RemoteFailed:
            return TreeCopy::FileResult::RemoteFailed;
        case FileResult::LocalFailed:
        case FileResult::Stopped:
            break;
        }
        return TreeCopy::FileResult::LocalFailed;
    }

    bool isFolder(const QString &) override { return true; }
    void fileCopied(const QString &) override { m_window.trace(QStringLiteral("finished download")); }
    void nameFailed(const QString &, const QString &) override {}
    void nameRefused(const QString &name) override { m_window.trace(refusedNameLine(name)); }
    void folderFailed(const TreeCopy::Folder &, const QString &error) override
    {
        m_window.trace(QStringLiteral("ERR:") + error);
    }
    void listingFailed(const TreeCopy::Folder &folder, const QString &error) override
    {
        folderFailed(folder, error);
    }
    void depthLimitReached(const QString &remotePath) override
    {
        m_window.trace(QStringLiteral("ERR:Folders more than %1 levels below the dropped folder were not "
                                      "copied (a link to a folder above?), from %2")
                           .arg(kMaxFolderDepth)
                           .arg(remotePath));
    }
    void pause(int ms) override { m_window.pause(ms); }

private:
    TFTP_Freestyle &m_window;
};

TFTP_Freestyle::TFTP_Freestyle(MainWindowAccess &main, QWidget *parent)
    : QWidget(parent), ui_(std::make_unique<Ui::TFTP_Freestyle>()), main_(main), dial_(new TcvbNetDial(this)),
      folders_(new QFileSystemModel(this)), files_(new QFileSystemModel(this)), stopRepeat_(new QTimer(this))
{
    ui_->setupUi(this);
    setObjectName(QStringLiteral("FTP_Freestyle"));
    setAttribute(Qt::WA_DeleteOnClose);
    setAutoFillBackground(true);
    dial_->setObjectName(QStringLiteral("cvbNetDial1"));

    TRemoteBrowser &remote = browser();
    remote.setDialer(dial_);
    remote.setPathEditable(true);
    // Code 141 is an error reply of the server; the failed step says what it meant.
    remote.setIgnoredErrorCodes({141});
    remote.component().SetTransferMode(tmASCII);

    folders_->setFilter(QDir::AllDirs | QDir::NoDotAndDotDot | QDir::Drives);
    folders_->setRootPath(QString());
    ui_->DirectoryListBox1->setModel(folders_);
    for (int column = 1; column < folders_->columnCount(); ++column)
        ui_->DirectoryListBox1->hideColumn(column);
    files_->setFilter(QDir::Files | QDir::Hidden | QDir::System);
    ui_->FileListBox1->setModel(files_);

    fillDrives();
    setLocalFolder(QDir::currentPath());

    connect(ui_->ConnectButton, &QPushButton::clicked, this, &TFTP_Freestyle::ConnectButtonClick);
    connect(ui_->StopButton, &QPushButton::clicked, this, &TFTP_Freestyle::StopButtonClick);
    ui_->StopButton->setEnabled(false);
    stopRepeat_->setInterval(50);
    connect(stopRepeat_, &QTimer::timeout, this, [this] {
        if (stopRequested_ && transferring_)
            interruptWaits();
    });
    connect(ui_->ReturnButton, &QPushButton::clicked, this, &TFTP_Freestyle::ReturnButtonClick);
    connect(ui_->BinaryButton, &QRadioButton::clicked, this,
            [this] { browser().component().SetTransferMode(tmBinary); });
    connect(ui_->AsciiButton, &QRadioButton::clicked, this,
            [this] { browser().component().SetTransferMode(tmASCII); });
    connect(ui_->DriveComboBox1, &QComboBox::activated, this, [this](int index) {
        const QString root = ui_->DriveComboBox1->itemText(index);
        ui_->DirectoryListBox1->setRootIndex(folders_->index(root));
        setLocalFolder(root);
    });
    // The tree reads folders as they are needed: the chosen one shows once its parents are read.
    connect(folders_, &QFileSystemModel::directoryLoaded, this,
            [this] { ui_->DirectoryListBox1->scrollTo(ui_->DirectoryListBox1->currentIndex()); });
    connect(ui_->DirectoryListBox1->selectionModel(), &QItemSelectionModel::currentChanged, this,
            [this](const QModelIndex &current) {
                if (current.isValid())
                    setLocalFolder(folders_->filePath(current));
            });

    new DropFilter(remote.fileList(), ui_->FileListBox1,
                   [this](const QObject *source) { dropOnRemoteList(source); });
    new DropFilter(ui_->FileListBox1, remote.fileList(),
                   [this](const QObject *source) { dropOnLocalFiles(source); });
}

TFTP_Freestyle::~TFTP_Freestyle() = default;

TRemoteBrowser &TFTP_Freestyle::browser() const
{
    return *ui_->RemoteBrowser;
}

void TFTP_Freestyle::fillDrives()
{
    QStringList roots;
    for (const QStorageInfo &volume : QStorageInfo::mountedVolumes()) {
        if (volume.isValid() && volume.isReady() && !roots.contains(volume.rootPath()))
            roots << volume.rootPath();
    }
    roots.sort();
    roots.removeAll(QDir::rootPath());
    roots.prepend(QDir::rootPath());
    ui_->DriveComboBox1->addItems(roots);
    const int current = ui_->DriveComboBox1->findText(QStorageInfo(QDir::currentPath()).rootPath());
    ui_->DriveComboBox1->setCurrentIndex(current < 0 ? 0 : current);
    ui_->DirectoryListBox1->setRootIndex(folders_->index(ui_->DriveComboBox1->currentText()));
}

QString TFTP_Freestyle::localFolder() const
{
    return files_->rootPath();
}

void TFTP_Freestyle::setLocalFolder(const QString &folder)
{
    const QString path = QDir(folder).absolutePath();
    if (path == localFolder())
        return;
    // Plain file names given to the FTP component refer to the folder the user looks at.
    QDir::setCurrent(path);
    ui_->FileListBox1->setRootIndex(files_->setRootPath(path));
    const QModelIndex inTree = folders_->index(path);
    if (ui_->DirectoryListBox1->currentIndex() != inTree) {
        const QSignalBlocker quiet(ui_->DirectoryListBox1->selectionModel());
        ui_->DirectoryListBox1->setCurrentIndex(inTree);
    }
    ui_->DirectoryListBox1->scrollTo(inTree);
}

bool TFTP_Freestyle::selectLocalFile(const QString &name)
{
    const QModelIndex index = files_->index(QDir(localFolder()).filePath(name));
    if (!index.isValid() || index.parent() != ui_->FileListBox1->rootIndex())
        return false;
    ui_->FileListBox1->setCurrentIndex(index);
    return true;
}

bool TFTP_Freestyle::busy() const
{
    return transferring_ || returning_ || browser().busy() || browser().component().Action() != ftpIdle ||
           dial_->Action() != ntdIdle;
}

void TFTP_Freestyle::ConnectButtonClick()
{
    if (busy())
        return;
    browser().connectAndList(main_.Table_Cnct());
}

void TFTP_Freestyle::StopButtonClick()
{
    if (!transferring_ || stopRequested_)
        return;
    stopRequested_ = true;
    interruptWaits();
    // An interrupt ends the waits that run when it comes; one that ends in the same pass for
    // another reason (its reply arrived) takes it along, and the next wait of the exchange would
    // run on. The stop is repeated until the download has unwound.
    stopRepeat_->start();
}

void TFTP_Freestyle::interruptWaits()
{
    if (pause_)
        pause_->quit();
    // A browser step (connect, open, up) ends as after a failure, without a message box; a dial
    // in progress is hung up.
    if (browser().busy()) {
        browser().interrupt();
        return;
    }
    TcvbFTP &ftp = browser().component();
    if (ftp.Action() != ftpIdle) {
        interruptedExchange_ = true;
        ftp.Interrupt();
    }
}

void TFTP_Freestyle::ReturnButtonClick()
{
    if (busy())
        return;
    {
        returning_ = true;
        ui_->ReturnButton->setEnabled(false);
        const auto done = qScopeGuard([this] {
            returning_ = false;
            ui_->ReturnButton->setEnabled(true);
        });
        try {
            browser().component().SetAction(ftpLogoff);
        } catch (const std::exception &) {
            // Closing goes on: a session the server dropped needs no log-off.
        }
        if (readConnectionSettings(main_.Table_Cnct()).dialsUp()) {
            try {
                dial_->SetAction(ntdDisconnect);
            } catch (const std::exception &) {
                // Nothing to hang up, or it failed: the window closes either way.
            }
        }
    }
    close();
}

void TFTP_Freestyle::closeEvent(QCloseEvent *event)
{
    // A component of this window waits for the server further down the stack: releasing the
    // window now would free it under its own wait. What runs is stopped instead, and the close
    // is asked for again until the waits have unwound.
    if (busy()) {
        event->ignore();
        closeRequested_ = true;
        if (transferring_)
            StopButtonClick();
        else
            interruptWaits();
        QTimer::singleShot(50, this, [this] {
            if (closeRequested_)
                close();
        });
        return;
    }
    closeRequested_ = false;
    QWidget::closeEvent(event);
    main_.ShowMenuPanel();
}

bool TFTP_Freestyle::dropOnRemoteList(const QObject *source)
{
    if (source != ui_->FileListBox1 || busy())
        return false;
    upload();
    return true;
}

bool TFTP_Freestyle::dropOnLocalFiles(const QObject *source)
{
    if (source != browser().fileList() || busy())
        return false;
    download();
    return true;
}

void TFTP_Freestyle::upload()
{
    const QModelIndex selected = ui_->FileListBox1->currentIndex();
    const QFileInfo file = files_->fileInfo(selected);
    if (!selected.isValid() || !file.isFile())
        return;
    const auto done = beginTransfer(false);
    TcvbFTP &ftp = browser().component();
    try {
        ftp.SetRemoteFile(file.fileName());
        ftp.SetLocalFile(file.absoluteFilePath());
        ftp.SetAction(ftpUpload);
    } catch (const std::exception &e) {
        // Asked to close meanwhile: the user wants the window gone, not a message.
        if (!closeRequested_)
            dialogs().error(messageOf(e));
        return;
    }
    trace(QStringLiteral("finished upload"));
    try {
        // The server lists just the uploaded file; its name joins the list as it stands.
        ftp.SetRemoteFile(file.fileName());
        ftp.SetAction(ftpListDirectory);
    } catch (const EcvbFTP &e) {
        trace(QStringLiteral("ERR:") + e.Message());
    }
}

TFTP_Freestyle::FileResult TFTP_Freestyle::downloadFile(const QString &name, const QString &localFile,
                                                        TFTPTransferModes mode)
{
    if (stopRequested_)
        return FileResult::Stopped;
    // The temporary copy goes with the failure, a stopped transfer's included.
    try {
        browser().component().SetTransferMode(mode);
        downloadReplacing(browser().component(), name, localFile);
        return FileResult::Done;
    } catch (const LocalFileError &e) {
        trace(QStringLiteral("ERR:") + QString::fromLocal8Bit(e.what()));
        return FileResult::LocalFailed;
    } catch (const std::exception &) {
        // A stopped transfer says nothing about what the entry is.
        return stopRequested_ ? FileResult::Stopped : FileResult::RemoteFailed;
    }
}

TFTPTransferModes TFTP_Freestyle::chosenMode() const
{
    return ui_->BinaryButton->isChecked() ? tmBinary : tmASCII;
}

void TFTP_Freestyle::download()
{
    const std::optional<QString> entry = browser().selectedEntry();
    if (!entry)
        return;
    const auto done = beginTransfer(true);
    TcvbFTP &ftp = browser().component();
    const auto restoreMode = qScopeGuard([&] {
        stopRepeat_->stop();
        if (stopRequested_) {
            trace(QStringLiteral("Download stopped: the files copied so far are kept."));
            dropStoppedConnection();
        }
        // A folder's files took the modes of their names; the next transfer takes the mode
        // that the buttons show, as the user expects.
        try {
            ftp.SetTransferMode(chosenMode());
        } catch (const EcvbFTP &e) {
            trace(QStringLiteral("ERR:") + e.Message());
        }
    });
    SessionCopy hooks(*this);
    TreeCopyOptions options;
    options.namesBelowServerPath = true; // the path box shows the server's answer
    options.localFolderFirst = true;
    TreeCopy copy(ftp, hooks, localFolder(), options);
    bool refused = false;
    const std::optional<QString> target = localPlace(localFolder(), *entry, &refused);
    if (!target) {
        if (refused)
            trace(refusedNameLine(*entry));
        return;
    }
    switch (downloadFile(*entry, *target, chosenMode())) {
    case FileResult::Done:
        trace(QStringLiteral("finished download"));
        break;
    case FileResult::RemoteFailed:
        // What cannot be fetched as a file is taken to be a folder.
        copy.queue(remoteChild(browser().pathText(), *entry), *entry);
        break;
    case FileResult::LocalFailed:
    case FileResult::Stopped:
        break;
    }
    copy.run();
}

void TFTP_Freestyle::dropStoppedConnection()
{
    if (!interruptedExchange_)
        return;
    interruptedExchange_ = false;
    try {
        browser().component().SetConnected(false);
    } catch (const std::exception &) {
        // The connection is gone either way.
    }
}

void TFTP_Freestyle::pause(int ms)
{
    if (stopRequested_ || pacedMs(ms) <= 0)
        return;
    QEventLoop loop;
    pause_ = &loop;
    const auto done = qScopeGuard([this] { pause_ = nullptr; });
    QTimer::singleShot(pacedMs(ms), &loop, &QEventLoop::quit);
    loop.exec();
}

std::shared_ptr<void> TFTP_Freestyle::beginTransfer(bool stoppable)
{
    transferring_ = true;
    stopRequested_ = false;
    interruptedExchange_ = false;
    enablePanes(false);
    ui_->StopButton->setEnabled(stoppable);
    return std::shared_ptr<void>(nullptr, [this](void *) {
        stopRepeat_->stop();
        ui_->StopButton->setEnabled(false);
        enablePanes(true);
        transferring_ = false;
        stopRequested_ = false;
    });
}

void TFTP_Freestyle::enablePanes(bool enabled)
{
    // During a transfer no second exchange may start on the same connection.
    const QList<QWidget *> controls{browser().fileList(),
                                    browser().pathBox(),
                                    browser().findChild<QWidget *>(QStringLiteral("OpenButton")),
                                    browser().findChild<QWidget *>(QStringLiteral("UpButton")),
                                    ui_->DirectoryListBox1,
                                    ui_->FileListBox1,
                                    ui_->DriveComboBox1,
                                    ui_->ConnectButton,
                                    ui_->ReturnButton};
    for (QWidget *control : controls)
        control->setEnabled(enabled);
}

void TFTP_Freestyle::trace(const QString &line)
{
    browser().addTrace(line);
}

} // namespace cvb
