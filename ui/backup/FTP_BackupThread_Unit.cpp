#include "ui/backup/FTP_BackupThread_Unit.h"

#include "backup/BackupRun.h"
#include "backup/FTP_BackupEventThread_Unit.h"

#include <QCloseEvent>
#include <QGuiApplication>
#include <QLabel>
#include <QScreen>
#include <QStatusBar>
#include <QTimer>
#include <QVBoxLayout>

namespace cvb {

TFTP_BackupThread::TFTP_BackupThread(const BackupEnvironment &environment, const BackupRequest &request,
                                     QWidget *parent)
    : QWidget(parent, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint), m_environment(environment)
{
    setObjectName(QStringLiteral("FTP_BackupThread"));
    setAttribute(Qt::WA_DeleteOnClose);
    setWindowTitle(QStringLiteral("Corvale Backup Event Occuring"));

    auto *layout = new QVBoxLayout(this);
    auto *picture = new QLabel(QStringLiteral("Corvale Backup"), this);
    picture->setObjectName(QStringLiteral("GIFImage1"));
    picture->setAlignment(Qt::AlignCenter);
    layout->addWidget(picture);
    StatusBar1 = new QStatusBar(this);
    StatusBar1->setObjectName(QStringLiteral("StatusBar1"));
    StatusBar1->setSizeGripEnabled(false);
    layout->addWidget(StatusBar1);
    resize(420, 140);

    m_run = new BackupRun(*environment.queue, *environment.connection, this);
    connect(m_run, &BackupRun::logged, this, [this](const QString &message) {
        StatusBar1->showMessage(message);
        StatusBar1->repaint();
    });
    m_stepContext = new QObject(this);
    m_stepContext->setObjectName(QStringLiteral("StepContext"));

    Timer1 = new QTimer(this);
    Timer1->setObjectName(QStringLiteral("Timer1"));
    Timer1->setInterval(1000);
    connect(Timer1, &QTimer::timeout, this, &TFTP_BackupThread::Timer1Timer);
    Timer1->start();

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
    if (!m_run->begin(request))
        closeWindow();
}

void TFTP_BackupThread::setBackupFolder(const QString &folder)
{
    m_run->setBackupFolder(folder);
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
}

void TFTP_BackupThread::Timer1Timer()
{
    // A worker that ended early (an unexpected error) never sets BackupDone: the window must not
    // wait for it for ever.
    if (!m_run->BackupDone && (!m_worker || !m_worker->isFinished()))
        return;
    Timer1->stop();
    m_run->complete(m_worker ? m_worker->stepError() : QString());
    closeWindow();
}

void TFTP_BackupThread::stopBackup()
{
    if (m_run->isStopping() || m_closing)
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
        window->setBackupFolder(request.folder);
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
