#include "ui/browser/TRemoteBrowser.h"

#include "ui_TRemoteBrowser.h"

#include "data/ConnectionSettings.h"
#include "dialup/NetDial.h"
#include "ftp/FolderListing.h"
#include "ftp/FtpClient.h"
#include "ui/browser/BrowserRules.h"
#include "ui/common/Dialogs.h"
#include "ui/common/FtpTrace.h"
#include "ui/common/TraceList.h"
#include "ui/common/WaitCursor.h"

#include <QScopeGuard>

namespace cvb {

TRemoteBrowser::TRemoteBrowser(QWidget *parent)
    : QWidget(parent), ui_(std::make_unique<Ui::TRemoteBrowser>()), ftp_(new TcvbFTP(this))
{
    ui_->setupUi(this);
    ftp_->setObjectName(QStringLiteral("cvbFTP1"));
    installTrace();
    ftp_->OnDirList = [this](QObject *, const QString &entry) {
        // The folder itself and its parent come with "-a" from some servers; going up has its button.
        if (!isSelfOrParentEntry(entry))
            ui_->lFiles->addItem(entry);
    };

    connect(ui_->OpenButton, &QPushButton::clicked, this, &TRemoteBrowser::OpenButtonClick);
    connect(ui_->UpButton, &QPushButton::clicked, this, &TRemoteBrowser::UpButtonClick);
    connect(ui_->lFiles, &QListWidget::itemActivated, this, &TRemoteBrowser::OpenButtonClick);
}

TRemoteBrowser::~TRemoteBrowser()
{
    // The component outlives this body (it is a child): nothing it reports may reach the lists.
    untraceFtpEvents(*ftp_);
    ftp_->OnDirList = nullptr;
    if (dial_)
        dial_->OnStatus = nullptr;
}

void TRemoteBrowser::installTrace()
{
    FtpTraceOptions options;
    options.ignoredErrorCodes = ignoredErrorCodes_;
    traceFtpEvents(
        *ftp_, [this](const QString &line) { addTrace(line); }, options);
}

void TRemoteBrowser::setDialer(TcvbNetDial *dial)
{
    if (dial_ && dial_ != dial)
        dial_->OnStatus = nullptr;
    dial_ = dial;
    if (!dial)
        return;
    // The dial-up component may outlive the browser.
    traceDialUpStatus(*dial, [self = QPointer<TRemoteBrowser>(this)](const QString &line) {
        if (self)
            self->addTrace(line);
    });
}

void TRemoteBrowser::setIgnoredErrorCodes(const QSet<int> &codes)
{
    ignoredErrorCodes_ = codes;
    installTrace();
}

template <typename Step> void TRemoteBrowser::exclusive(Step &&step)
{
    // The component waits for the server inside a step while window messages go on: a second
    // click must not start another exchange on the same connection.
    if (busy_)
        return;
    busy_ = true;
    interrupted_ = false;
    ui_->OpenButton->setEnabled(false);
    ui_->UpButton->setEnabled(false);
    const auto done = qScopeGuard([this] {
        busy_ = false;
        ui_->OpenButton->setEnabled(true);
        ui_->UpButton->setEnabled(true);
        emit idle();
    });
    step();
}

void TRemoteBrowser::interrupt()
{
    if (!busy_)
        return;
    interrupted_ = true;
    ftp_->Interrupt();
    if (dial_ && dial_->Action() == ntdConnect) {
        try {
            dial_->SetAction(ntdDisconnect);
        } catch (const std::exception &) {
            // The dial ends either way; its status lines say how.
        }
    }
}

bool TRemoteBrowser::whenIdle(QObject *context, const std::function<void()> &then)
{
    if (!busy_)
        return false;
    // Queued: `then` may release this browser, which it must not do inside the step's frames.
    connect(this, &TRemoteBrowser::idle, context, then,
            static_cast<Qt::ConnectionType>(Qt::QueuedConnection | Qt::SingleShotConnection));
    interrupt();
    return true;
}

void TRemoteBrowser::connectAndList(const ConnectionSettings &settings)
{
    QString failure;
    exclusive([&] {
        WaitCursor wait;
        if (ftp_->Connected()) {
            try {
                ftp_->SetAction(ftpLogoff);
            } catch (const EcvbFTP &) {
                // The old session is dropped either way; the log-on below says what matters.
            }
        }
        ui_->lTrace->clear();
        clearEntries();
        if (dial_ && settings.dialsUp()) {
            try {
                settings.setDialUpAccount(*dial_);
                dial_->SetAction(ntdConnect);
            } catch (const std::exception &) {
                // A failed dial shows in the component's status lines; the log-on tells the rest.
            }
        }
        if (interrupted_)
            return;
        try {
            loadWinsockAndLogOn(*ftp_, settings, [this](const QString &line) { addTrace(line); });
            ui_->eRemotePath->setText(ftp_->RemotePath());
            if (!interrupted_)
                listCurrentFolder();
        } catch (const EcvbFTP &e) {
            addTrace(QStringLiteral("EXCEPTION: ") + e.Message());
            // Who interrupted the step knows why it ended.
            if (!interrupted_)
                failure = e.Message();
        }
    });
    // The box comes with the normal cursor back.
    if (!failure.isEmpty())
        dialogs().information(failure);
}

void TRemoteBrowser::connectAndList(const Table &connection)
{
    connectAndList(readConnectionSettings(connection));
}

void TRemoteBrowser::OpenButtonClick()
{
    const std::optional<QString> entry = selectedEntry();
    if (!entry)
        return;
    exclusive([&] { changeFolder(joinRemotePath(pathText(), *entry)); });
}

void TRemoteBrowser::UpButtonClick()
{
    exclusive([&] { changeFolder(parentRemotePath(ftp_->RemotePath())); });
}

std::optional<bool> TRemoteBrowser::namesFolder(const QString &remotePath)
{
    if (busy_ || !ftp_->Connected())
        return std::nullopt;
    std::optional<bool> folder;
    exclusive([&] {
        const QString shown = ftp_->RemotePath();
        try {
            ftp_->SetRemotePath(remotePath);
        } catch (const EcvbFTP &) {
            // Refused: a file (the error event has traced the reply).
            if (!interrupted_)
                folder = false;
            return;
        }
        folder = true;
        try {
            ftp_->SetRemotePath(shown);
        } catch (const EcvbFTP &e) {
            addTrace(QStringLiteral("ERR:") + e.Message());
        }
    });
    return folder;
}

void TRemoteBrowser::changeFolder(const QString &path)
{
    try {
        ftp_->SetRemotePath(path);
        ui_->eRemotePath->setText(ftp_->RemotePath());
        clearEntries();
    } catch (const EcvbFTP &e) {
        addTrace(QStringLiteral("ERR:") + e.Message());
        clearEntries();
    }
    if (interrupted_)
        return;
    // Listed in both cases: after a refused change the list shows the unchanged folder again.
    try {
        listCurrentFolder();
    } catch (const EcvbFTP &e) {
        if (!interrupted_)
            throw;
        addTrace(QStringLiteral("ERR:") + e.Message());
    }
}

void TRemoteBrowser::listCurrentFolder()
{
    listFolderWithDotFiles(*ftp_, [this] { clearEntries(); });
    emit listingChanged();
}

void TRemoteBrowser::clearEntries()
{
    ui_->lFiles->clear();
    emit listingChanged();
}

QString TRemoteBrowser::pathText() const
{
    return ui_->eRemotePath->text();
}

std::optional<QString> TRemoteBrowser::selectedEntry() const
{
    const QList<QListWidgetItem *> selected = ui_->lFiles->selectedItems();
    if (selected.isEmpty())
        return std::nullopt;
    return selected.first()->text();
}

QStringList TRemoteBrowser::entries() const
{
    QStringList names;
    for (int i = 0; i < ui_->lFiles->count(); ++i)
        names << ui_->lFiles->item(i)->text();
    return names;
}

void TRemoteBrowser::setPathEditable(bool editable)
{
    ui_->eRemotePath->setReadOnly(!editable);
}

void TRemoteBrowser::addTrace(const QString &line)
{
    addTraceLine(ui_->lTrace, line);
}

QListWidget *TRemoteBrowser::fileList() const
{
    return ui_->lFiles;
}

QListWidget *TRemoteBrowser::traceList() const
{
    return ui_->lTrace;
}

QLineEdit *TRemoteBrowser::pathBox() const
{
    return ui_->eRemotePath;
}

} // namespace cvb
