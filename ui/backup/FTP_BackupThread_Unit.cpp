#include "ui/backup/FTP_BackupThread_Unit.h"

#include "backup/BackupRun.h"
#include "backup/FTP_BackupEventThread_Unit.h"
#include "ui/common/Dialogs.h"

#include "ui_FTP_BackupThread.h"

#include <QCloseEvent>
#include <QGuiApplication>
#include <QLabel>
#include <QPointer>
#include <QProgressBar>
#include <QPushButton>
#include <QScreen>
#include <QStatusBar>
#include <QTimer>
#include <QVBoxLayout>

namespace cvb {

namespace {

// A path that a label may wrap after any "/" (a zero-width space there): a deep path then
// takes more lines, never more width.
QString wrappablePath(const QString &path)
{
    QString text = path;
    text.replace(QLatin1Char('/'), QStringLiteral("/\u200b"));
    return text;
}

} // namespace

TFTP_BackupThread::TFTP_BackupThread(const BackupEnvironment &environment, const BackupRequest &request,
                                     QWidget *parent)
    : QWidget(parent, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint),
      ui_(std::make_unique<Ui::FTP_BackupThread>()), m_environment(environment)
{
    ui_->setupUi(this);
    setAttribute(Qt::WA_DeleteOnClose);
    StatusBar1 = new QStatusBar(this);
    StatusBar1->setObjectName(QStringLiteral("StatusBar1"));
    StatusBar1->setSizeGripEnabled(false);
    // Its one panel: a label that wraps, so that a long message is shown whole.
    StatusText = new QLabel(StatusBar1);
    StatusText->setObjectName(QStringLiteral("StatusText"));
    StatusText->setWordWrap(true);
    StatusBar1->addWidget(StatusText, 1);
    layout()->addWidget(StatusBar1);
    ui_->FileGauge->setEnabled(false);
    ui_->StopButton->setEnabled(false);
    connect(ui_->StopButton, &QPushButton::clicked, this, &TFTP_BackupThread::StopButtonClick);
    // Wide enough for the counts and a status line; deep paths take more lines.
    setFixedWidth(480);

    m_run = new BackupRun(*environment.queue, *environment.connection, this);
    // The newest row shows in the status bar. A backup of many small files writes hundreds of
    // rows a second, more than anyone reads: the bar takes the newest a few times a second, and
    // the first of a burst at once.
    StatusTimer = new QTimer(this);
    StatusTimer->setObjectName(QStringLiteral("StatusTimer"));
    StatusTimer->setSingleShot(true);
    StatusTimer->setInterval(100);
    connect(StatusTimer, &QTimer::timeout, this, &TFTP_BackupThread::showStatus);
    connect(m_run, &BackupRun::logged, this, [this](const QString &message) {
        m_status = message;
        if (!StatusTimer->isActive()) {
            showStatus();
            StatusTimer->start();
        }
    });
    ProgressTimer = new QTimer(this);
    ProgressTimer->setObjectName(QStringLiteral("ProgressTimer"));
    ProgressTimer->setInterval(250);
    connect(ProgressTimer, &QTimer::timeout, this, &TFTP_BackupThread::ProgressTimerTimer);
    m_stepContext = new QObject(this);
    m_stepContext->setObjectName(QStringLiteral("StepContext"));

    Timer1 = new QTimer(this);
    Timer1->setObjectName(QStringLiteral("Timer1"));
    Timer1->setInterval(1000);
    connect(Timer1, &QTimer::timeout, this, &TFTP_BackupThread::Timer1Timer);
    Timer1->start();

    adjustSize();
    if (const QScreen *screen = QGuiApplication::primaryScreen())
        move(screen->availableGeometry().center() - rect().center());
    show();
    FormShow(request);
}

TFTP_BackupThread::~TFTP_BackupThread()
{
    if (m_worker) {
        // A step still queued is thrown away with its context, which releases the
        // worker.
        m_worker->stop();
        delete m_stepContext;
        m_stepContext = nullptr;
        m_worker->wait();
    }
}

void TFTP_BackupThread::FormShow(const BackupRequest &request)
{
    ui_->ProfileLabel->setText(request.profile);
    if (!m_run->begin(request))
        closeWindow();
}

void TFTP_BackupThread::setBackupFolder(const QString &folder, const SnapshotPlan &snapshot)
{
    m_run->setBackupFolder(folder, snapshot);
}

void TFTP_BackupThread::setReport(bool email, bool detailed, const QString &recipient)
{
    m_run->setReport(email, detailed, recipient);
}

QString TFTP_BackupThread::profileName() const
{
    return m_run->profileName();
}

bool TFTP_BackupThread::isStopping() const
{
    return m_run->isStopping();
}

void TFTP_BackupThread::StartWorker()
{
    m_worker = std::make_unique<TFTP_BackupEventThread>(
        m_stepContext, [this] { m_run->LogonStep(); }, [this] { m_run->TransferStep(); });
    // The poll also runs once as soon as the worker has ended, so that a short backup does not
    // wait for the next tick to send its report and close.
    connect(
        m_worker.get(), &QThread::finished, this,
        [this] {
            if (Timer1->isActive())
                Timer1Timer();
        },
        Qt::QueuedConnection);
    m_worker->resume();
    ui_->StopButton->setEnabled(true);
    ProgressTimer->start();
}

void TFTP_BackupThread::ProgressTimerTimer()
{
    const BackupProgressSnapshot p = m_run->progress();
    ui_->FileLabel->setText(wrappablePath(p.currentFile));
    const bool sized = p.currentSize > 0 && !p.currentFile.isEmpty();
    ui_->FileGauge->setEnabled(sized);
    ui_->FileGauge->setValue(sized ? int(qMin<qint64>(100, p.currentBytes * 100 / p.currentSize)) : 0);
    ui_->FilesLabel->setText(filesText(p));
    ui_->BytesLabel->setText(sizeText(p.bytes));
    ui_->SpeedLabel->setText(sizeText(p.bytesPerSecond) + QStringLiteral("/s"));
    ui_->ElapsedLabel->setText(durationText(p.elapsedMs));
    growToShowAll();
}

void TFTP_BackupThread::showStatus()
{
    const QString text = wrappablePath(m_status);
    if (StatusText->text() == text)
        return;
    StatusText->setText(text);
    growToShowAll();
    StatusBar1->repaint();
}

void TFTP_BackupThread::growToShowAll()
{
    // A longer path takes more lines: the window grows to show it whole, and never shrinks back
    // while the backup runs.
    for (QLabel *wrapping : {ui_->FileLabel, StatusText}) {
        const int needed = wrapping->heightForWidth(wrapping->width());
        if (needed > wrapping->minimumHeight())
            wrapping->setMinimumHeight(needed);
    }
}

void TFTP_BackupThread::StopButtonClick()
{
    if (m_closing || m_asking || m_run->isStopping() || m_run->BackupDone)
        return;
    m_asking = true;
    const QPointer<TFTP_BackupThread> alive(this);
    const Answer answer = dialogs().warning(StopBackupQuestion.arg(m_run->profileName()), Buttons::YesNo);
    if (!alive)
        return;
    m_asking = false;
    // The backup may have ended while the question was open.
    if (answer != Answer::Yes || m_closing || m_run->isStopping() || m_run->BackupDone)
        return;
    ui_->StopButton->setEnabled(false);
    // A step not yet handed over is never run.
    if (m_worker)
        m_worker->stop();
    m_run->stop(BackupRun::StopReason::User);
}

void TFTP_BackupThread::Timer1Timer()
{
    // A worker that ended early (an unexpected error) never sets BackupDone: the window must not
    // wait for it for ever.
    if (!m_run->BackupDone && (!m_worker || !m_worker->isFinished()))
        return;
    // Not while the Stop question is open: the window would go from under it.
    if (m_asking)
        return;
    Timer1->stop();
    ui_->StopButton->setEnabled(false);
    m_run->complete(m_worker ? m_worker->stepError() : QString());
    closeWindow();
}

void TFTP_BackupThread::stopBackup()
{
    if (m_closing)
        return;
    // A step not yet handed over is never run.
    if (m_worker)
        m_worker->stop();
    m_run->stop();
}

void TFTP_BackupThread::closeWindow()
{
    if (m_closing)
        return;
    m_closing = true;
    Timer1->stop();
    ProgressTimer->stop();
    if (m_environment.backupEnded)
        m_environment.backupEnded(m_run->progress(), m_run->BackupOk, m_run->firstFailure());
    if (m_environment.backupClosed)
        m_environment.backupClosed(m_run->profileName(), m_run->BackupOk);
    close();
}

void TFTP_BackupThread::closeEvent(QCloseEvent *event)
{
    // The window offers no way to close it while its backup runs.
    if (m_closing)
        event->accept();
    else
        event->ignore();
}

TFTP_BackupThread *startBackupWindow(const BackupEnvironment &environment, const BackupRequest &request)
{
    auto *window = new TFTP_BackupThread(environment, request, environment.owner);
    if (window->isClosing())
        return nullptr;
    try {
        window->setBackupFolder(request.folder, request.snapshot);
        window->setReport(request.email, request.detailed, request.recipient);
        window->StartWorker();
    } catch (const std::exception &) {
        // A failed hand-over frees the window; nothing more is reported.
        delete window;
        return nullptr;
    }
    return window;
}

} // namespace cvb
