#include "backup/FTP_BackupThread_Unit.h"

#include "backup/BackupPaths.h"
#include "backup/FTP_BackupEventThread_Unit.h"
#include "backup/ReportText.h"
#include "data/Clock.h"
#include "data/ConnectionSettings.h"
#include "data/DateText.h"
#include "data/EventLogRow.h"
#include "data/Filter.h"
#include "data/Layouts.h"
#include "data/Pacing.h"
#include "data/Table.h"
#include "dialup/NetDial.h"
#include "ftp/FolderListing.h"
#include "ftp/FtpClient.h"
#include "ftp/FtpLogOn.h"
#include "ftp/PartFile.h"
#include "mail/MailSend.h"
#include "scheduler/BackupFolder.h"
#include "smtp/SMTP.h"

#include <QCloseEvent>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QGuiApplication>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QScreen>
#include <QStatusBar>
#include <QTimer>
#include <QVBoxLayout>

#include <stdexcept>

namespace cvb {

namespace {

const QString StoppedMessage = QStringLiteral("Backup stopped: the program is ending.");

QString messageOf(const std::exception &e)
{
    if (const auto *component = dynamic_cast<const EcvbComponent *>(&e))
        return component->Message();
    return QString::fromLocal8Bit(e.what());
}

} // namespace

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

    FTP = new TcvbFTP(this);
    FTP->setObjectName(QStringLiteral("FTP"));
    FTP->OnDirList = [this](QObject *, const QString &entry) { FTPDirList(entry); };
    cvbFTP1 = new TcvbFTP(this);
    cvbFTP1->setObjectName(QStringLiteral("cvbFTP1"));
    cvbNetDial1 = new TcvbNetDial(this);
    cvbNetDial1->setObjectName(QStringLiteral("cvbNetDial1"));

    Table_Files = new Table(QStringLiteral("Table_Files"), this);
    Table_Log = new Table(QStringLiteral("Table_Log"), this);
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
    if (m_mail)
        delete m_mail.data();
}

void TFTP_BackupThread::FormShow(const BackupRequest &request)
{
    m_profile = request.profile;
    m_queueRecNo = request.queueRecNo;
    try {
        Table_Files->open(SourcesTable, ProfileIndex);
        Table_Log->open(LogTable);
        Table_Files->setFilter(profileFilter(m_profile));
        Table_Files->setFiltered(true);

        m_settings = readConnectionSettings(*m_environment.connection);
        if (m_settings.dialsUp()) {
            BackupLog(QStringLiteral("Dialing ") + m_settings.dialUser);
            try {
                m_settings.setDialUpAccount(*cvbNetDial1);
                cvbNetDial1->SetAction(ntdConnect);
            } catch (const std::exception &) {
                // A failed dial is not reported here: the log-on that follows fails and
                // is logged unless another connection reaches the server.
            }
        }
        removeQueueEntry(*m_environment.queue, m_queueRecNo);

        m_mail = new TFTP_MailSend(nullptr);
        m_mail->tMessage->clear();
    } catch (const std::exception &) {
        try {
            BackupLog(QStringLiteral("Backup of profile ") + m_profile + QStringLiteral(" was unsuccessful"));
        } catch (const std::exception &) {
            // The log table itself failed; the window closes all the same.
        }
        BackupOk = false;
        closeWindow();
    }
}

void TFTP_BackupThread::setBackupFolder(const QString &folder)
{
    WhereToMacB = folder;
}

void TFTP_BackupThread::setReport(bool email, bool detailed, const QString &recipient)
{
    m_email = email;
    m_detailed = detailed;
    m_recipient = recipient;
}

void TFTP_BackupThread::StartWorker()
{
    m_worker = std::make_unique<TFTP_BackupEventThread>(
        m_stepContext, [this] { LogonStep(); }, [this] { TransferStep(); });
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

void TFTP_BackupThread::BackupLog(const QString &message)
{
    writeLogRow(*Table_Log, m_profile, message);
    if (m_email && m_detailed && m_mail) {
        const QDateTime now = Clock::now();
        m_mail->tMessage->appendPlainText(
            reportDetailLine(DateText::date(now.date()), DateText::time(now.time()), message));
    }
    StatusBar1->showMessage(message);
    StatusBar1->repaint();
}

void TFTP_BackupThread::LogonStep()
{
    BackupDone = false;
    BackupOk = true;
    m_logOnFolder.clear();
    m_depthLimitLogged = false;
    m_singleFilePlaces.clear();
    try {
        BackupLog(QStringLiteral("Loading Winsock"));
        FTP->SetWinsockLoaded(true);
        BackupLog(FTP->WinsockInfo() + FTP->WinsockStatus());
        const QString serverError = prepareLogOn(*FTP, m_settings);
        if (!serverError.isEmpty()) {
            BackupOk = false;
            BackupLog(QStringLiteral("EXCEPTION: ") + serverError);
            return;
        }
        FTP->SetAction(ftpLogon);
        cvbFTP1->SetWinsockLoaded(true);
        prepareLogOn(*cvbFTP1, m_settings);
        cvbFTP1->SetAction(ftpLogon);
        m_logOnFolder = FTP->RemotePath();
        BackupLog(QStringLiteral("Logging in to '") + m_logOnFolder);
        FTP->SetAction(ftpListDirectory);
    } catch (const EcvbFTP &e) {
        BackupOk = false;
        BackupLog(QStringLiteral("EXCEPTION: ") + e.Message());
    }
}

void TFTP_BackupThread::TransferStep()
{
    for (Table_Files->first(); !Table_Files->eof() && !m_stopRequested; Table_Files->next())
        downloadSource(Table_Files->asString(QStringLiteral("SOURCE")));

    while (!SubfolderList.empty() && !m_stopRequested) {
        paceWithEvents(1000);
        if (m_stopRequested)
            break;
        const FolderEntry entry = SubfolderList.front();
        SubfolderList.pop_front();
        folderStep(entry);
    }

    if (m_stopRequested) {
        // No log-off: a server that stalled the transfer would stall QUIT as well. The
        // connections close with their components.
        BackupOk = false;
        BackupLog(StoppedMessage);
        BackupDone = true;
        return;
    }

    FTP->SetAction(ftpLogoff);
    cvbFTP1->SetAction(ftpLogoff);
    if (m_settings.dialsUp())
        cvbNetDial1->SetAction(ntdDisconnect);
    BackupLog(QStringLiteral("Logged out of FTP server."));
    BackupLog(QStringLiteral("Backup Complete"));
    BackupDone = true;
}

void TFTP_BackupThread::downloadSource(const QString &typed)
{
    const QString source = resolveSource(typed, m_logOnFolder);
    const QString localName = sourceLocalName(source);
    // A source that names a folder by "/", "." or ".." has no file name to store:
    // it can only be copied as a folder, where the folder step checks where its
    // copy would go.
    if (classifyListedName(localName) == ListedName::Copy) {
        QString place;
        try {
            FTP->SetRemoteFile(source);
            // A backup is an exact copy: every file goes in binary, whatever the mode of its
            // source says.
            FTP->SetTransferMode(tmBinary);
            place = singleFilePlace(source, localName);
            if (place.isEmpty()) {
                logFailedName(QStringLiteral("The name ") + localName +
                                  QStringLiteral(" is taken by an earlier source and ") + source +
                                  QStringLiteral(" has no other place in the backup folder."),
                              typed);
                return;
            }
            createParentLevels(place);
            download(source, WhereToMacB + QLatin1Char('/') + place);
            m_singleFilePlaces.insert(place);
            if (place != localName)
                BackupLog(QStringLiteral("The name ") + localName + QStringLiteral(" is taken: ") + typed +
                          QStringLiteral(" is saved as ") + place);
            BackupLog(QStringLiteral("Finished downloading ") + typed);
            return;
        } catch (const std::exception &e) {
            if (m_stopRequested)
                return;
            // A name is copied as a folder only when it is one; a file that failed stays failed
            // (and keeps its place, so that a later source of its name never takes it).
            if (!probe(source)) {
                if (!place.isEmpty())
                    m_singleFilePlaces.insert(place);
                logFailedName(messageOf(e), typed);
                return;
            }
        }
    }
    SubfolderList.push_back({source, sourceBaseLength(source)});
}

void TFTP_BackupThread::folderStep(const FolderEntry &entry)
{
    const QString relative = RelativeLocalPath(entry.path, entry.baseLength);
    if (!staysInsideBackupFolder(relative)) {
        logFailedName(QStringLiteral("The folder ") + entry.path +
                          QStringLiteral(" would be copied outside the backup "
                                         "folder; nothing was written for it."),
                      entry.path);
        return;
    }
    try {
        FTP->SetRemotePath(entry.path);
        FTP->RemotePath(); // the server's answer shows in the trace
        lFiles.clear();
    } catch (const EcvbFTP &e) {
        if (m_stopRequested)
            return;
        // Every entry of the work list is a folder (its probe entered it): one that cannot be
        // entered now leaves everything below it uncopied.
        BackupOk = false;
        BackupLog(QStringLiteral("EXCEPTION: ") + e.Message());
        BackupLog(QStringLiteral("The folder ") + entry.path +
                  QStringLiteral(" could not be entered; nothing below it was copied."));
        return;
    }
    // The local folder is made once the remote one has been entered: a name that is no folder
    // never leaves an empty folder where its file belongs. One level; a folder that exists or
    // cannot be made is no error here.
    createFolderLevel(WhereToMacB + QLatin1Char('/') + relative);

    try {
        listCurrentFolder();
    } catch (const EcvbFTP &e) {
        if (m_stopRequested)
            return;
        logFailedName(e.Message(), entry.path);
        return;
    }

    // Paths below are formed from the path that was asked for, not from the server's answer to
    // PWD: the local path is cut from them by the source's length.
    const QStringList names = lFiles;
    for (const QString &name : names) {
        if (m_stopRequested)
            return;
        copyListedName(entry.path, entry, name);
    }
}

void TFTP_BackupThread::listCurrentFolder()
{
    paceWithEvents(1000);
    listFolderWithDotFiles(*FTP, [this] { lFiles.clear(); });
    paceWithEvents(1000);
}

void TFTP_BackupThread::copyListedName(const QString &folder, const FolderEntry &entry, const QString &name)
{
    switch (classifyListedName(name)) {
    case ListedName::Skip:
        return;
    case ListedName::Refuse:
        logFailedName(QStringLiteral("The name ") + name +
                          QStringLiteral(" would leave the backup folder; nothing was written for it."),
                      name);
        return;
    case ListedName::Copy:
        break;
    }
    const QString localFile = WhereToMacB + QLatin1Char('/') +
                              RelativeLocalPath(entry.path, entry.baseLength) + QLatin1Char('/') + name;
    try {
        FTP->SetTransferMode(tmBinary);
        FTP->SetRemoteFile(name);
        download(name, localFile);
        paceWithEvents(500);
        BackupLog(QStringLiteral("Finished downloading ") + localFile);
    } catch (const std::exception &e) {
        if (m_stopRequested)
            return;
        const QString path = folder.endsWith(QLatin1Char('/')) ? folder + name : folder + QLatin1Char('/') + name;
        if (!probe(path)) {
            logFailedName(messageOf(e), name);
            return;
        }
        if (entry.depth >= kMaxFolderDepth) {
            // One row for the whole backup: a link back up (www -> .) meets the limit in
            // every branch.
            if (!m_depthLimitLogged) {
                m_depthLimitLogged = true;
                BackupOk = false;
                BackupLog(QStringLiteral("EXCEPTION: Folders more than %1 levels below their source were not "
                                         "copied (a link to a folder above?), from ")
                              .arg(kMaxFolderDepth) +
                          path);
            }
            return;
        }
        SubfolderList.push_back({path, entry.baseLength, entry.depth + 1});
    }
}

QString TFTP_BackupThread::singleFilePlace(const QString &source, const QString &localName) const
{
    // The first source of a name keeps its place directly in the backup folder; a later one goes
    // below it under its remote path, so that neither overwrites the other.
    if (!m_singleFilePlaces.contains(localName))
        return localName;
    const QString place = remotePathPlace(source);
    return m_singleFilePlaces.contains(place) ? QString() : place;
}

void TFTP_BackupThread::createParentLevels(const QString &place)
{
    // One level at a time, each private as the folder step makes them.
    QString folder = WhereToMacB;
    const QStringList levels = place.split(QLatin1Char('/'));
    for (qsizetype i = 0; i + 1 < levels.size(); ++i) {
        folder += QLatin1Char('/') + levels[i];
        createFolderLevel(folder);
    }
}

void TFTP_BackupThread::download(const QString &remoteFile, const QString &localFile)
{
    // A failed download never destroys what an earlier backup left.
    downloadReplacing(*FTP, remoteFile, localFile);
}

bool TFTP_BackupThread::probe(const QString &remotePath)
{
    try {
        cvbFTP1->SetRemotePath(remotePath);
        cvbFTP1->SetRemoteFile(QString());
        cvbFTP1->SetAction(ftpListDirectory);
        return true;
    } catch (const EcvbFTP &) {
        return false;
    }
}

void TFTP_BackupThread::logFailedName(const QString &exceptionMessage, const QString &name)
{
    BackupLog(QStringLiteral("EXCEPTION: ") + exceptionMessage);
    BackupLog(QStringLiteral("Download of file : ") + name +
              QStringLiteral(" may not have been successful!"));
    BackupOk = false;
}

void TFTP_BackupThread::FTPDirList(const QString &entry)
{
    lFiles << entry;
}

void TFTP_BackupThread::Timer1Timer()
{
    if (!BackupDone) {
        // A worker that ended early (an unexpected error) never sets BackupDone:
        // its backup failed, and the window must not wait for it for ever.
        if (!m_worker || !m_worker->isFinished())
            return;
        BackupOk = false;
        try {
            BackupLog(m_stopRequested ? StoppedMessage : QStringLiteral("EXCEPTION: ") + m_worker->stepError());
        } catch (const std::exception &) {
            // The log table failed too; the report and the closing follow regardless.
        }
    }
    Timer1->stop();
    // A stopped backup sends no report: the program is ending, and a mail server could hold it.
    if (m_email && !m_stopRequested) {
        try {
            sendReport();
        } catch (const std::exception &e) {
            try {
                BackupLog(QStringLiteral("EXCEPTION: ") + messageOf(e));
            } catch (const std::exception &) {
                // The log table failed too; the window closes regardless.
            }
        }
    }
    closeWindow();
}

void TFTP_BackupThread::sendReport()
{
    const QDateTime now = Clock::now();
    const QString summary =
        reportSummaryLine(DateText::date(now.date()), DateText::time(now.time()), BackupOk);
    for (const QString &line : reportClosingLines(summary, BackupOk))
        m_mail->tMessage->appendPlainText(line);
    m_mail->tTo->setText(m_recipient);
    m_mail->tFrom->setText(m_settings.returnAddress);
    m_mail->tSMTPSrv->setText(m_settings.smtpServer);
    m_mail->tSubject->setText(reportSubject(m_profile));
    m_mail->Button1Click();
}

void TFTP_BackupThread::stopBackup()
{
    if (m_stopRequested || m_closing)
        return;
    m_stopRequested = true;
    // A step not yet handed over is never run.
    if (m_worker)
        m_worker->stop();
    FTP->Interrupt();
    cvbFTP1->Interrupt();
    if (m_mail)
        m_mail->SMTP1->Interrupt();
}

void TFTP_BackupThread::closeWindow()
{
    if (m_closing)
        return;
    m_closing = true;
    Timer1->stop();
    if (m_mail) {
        m_mail->close();
        m_mail = nullptr;
    }
    if (m_environment.backupClosed)
        m_environment.backupClosed(m_profile, BackupOk);
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
