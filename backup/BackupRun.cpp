#include "backup/BackupRun.h"

#include "backup/BackupPaths.h"
#include "backup/ReportText.h"
#include "backup/SnapshotRun.h"
#include "component/Component.h"
#include "data/Clock.h"
#include "data/DateText.h"
#include "data/EventLogRow.h"
#include "data/Filter.h"
#include "data/FullLog.h"
#include "data/Layouts.h"
#include "data/Pacing.h"
#include "data/ServerAddress.h"
#include "data/Settings.h"
#include "data/Table.h"
#include "dialup/NetDial.h"
#include "ftp/FolderListing.h"
#include "ftp/FtpClient.h"
#include "ftp/PartFile.h"
#include "mail/MailComposer.h"
#include "mail/MailSender.h"
#include "mail/NetCode.h"
#include "remote/FileFetch.h"
#include "remote/LogOn.h"
#include "remote/TransferPool.h"
#include "remote/TreeCopy.h"
#include "scheduler/BackupFolder.h"
#include "smtp/SMTP.h"

#include <QDir>
#include <QFileInfo>

#include <stdexcept>

namespace cvb {

namespace {

const QString StoppedMessage = QStringLiteral("Backup stopped: the program is ending.");
const QString UserStoppedMessage = QStringLiteral("Backup stopped by the user.");

} // namespace

// How the backup's folder sources are copied: every file in binary, a name that cannot be fetched
// probed on the second connection, every step a log row.
class BackupRun::FolderHooks : public TreeCopy::Hooks
{
public:
    explicit FolderHooks(BackupRun &run) : m_run(run) {}

    bool stopped() const override { return m_run.m_stopRequested; }

    FolderEntries listCurrentFolder() override
    {
        return listFolderEntries(*m_run.FTP, Clock::now().toUTC());
    }

    bool makeLocalFolder(const QString &localFolder) override
    {
        // One level; a folder that exists or cannot be made is no error here (its downloads
        // fail one by one).
        createFolderLevel(localFolder);
        return true;
    }

    TreeCopy::FileResult copyFile(const FileTransfers::Job &job, FileTransfers::Outcome *details) override
    {
        m_run.fetchingOnMain(job.remotePath);
        FetchRequest request;
        request.remotePath = job.remotePath;
        request.localFile = job.localFile;
        request.listed = {job.size, job.modified};
        request.mayBeFolder = job.mayBeFolder;
        const FetchResult fetched = m_run.fetchOnMain(request);
        details->error = fetched.error;
        details->notes = fetched.notes;
        details->received = fetched.received;
        details->record = fetched.record;
        switch (fetched.kind) {
        case FetchResult::Copied:
            return TreeCopy::FileResult::Copied;
        case FetchResult::Vanished:
            return TreeCopy::FileResult::Vanished;
        case FetchResult::LocalFailed:
        case FetchResult::RemoteFailed:
            break;
        }
        // A file that cannot be written is a failure like one the server refused (and a name that
        // may be a folder is probed all the same).
        return TreeCopy::FileResult::RemoteFailed;
    }

    bool takeOverListed(const FileTransfers::Job &job, FileTransfers::Outcome *details) override
    {
        // Only what the listing told exactly: a file whose facts must be asked goes to a
        // connection, which asks them.
        const Snapshot *snapshot = m_run.m_snapshot ? m_run.m_snapshot->snapshot() : nullptr;
        if (!snapshot || job.mayBeFolder || job.size < 0 || !job.modified.isValid())
            return false;
        const std::optional<ManifestEntry> taken = snapshot->takeOver(job.localFile, job.size, job.modified);
        if (!taken)
            return false;
        details->record = FileRecord::takenOver(*taken);
        return true;
    }

    bool isFolder(const QString &remotePath) override { return m_run.probe(remotePath); }

    bool hasVanished(const QString &remotePath) override { return vanishedFromServer(*m_run.FTP, remotePath); }

    void note(const QString &text) override { m_run.BackupLog(text); }

    bool retryFolder(const TreeCopy::Folder &folder, int attempt, const EcvbComponent &e) override
    {
        return m_run.mayTryAgain(folder.remotePath, attempt, e.Code(), e.Message());
    }

    void nameVanished(const QString &remotePath, const QString &) override
    {
        m_run.m_progress.notAFile();
        m_run.m_progress.fileVanished();
        m_run.m_vanished << remotePath;
        m_run.BackupLog(QStringLiteral("Vanished during the backup: ") + remotePath);
    }

    void fileListed(const QString &remotePath, qint64 size) override
    {
        m_run.m_progress.fileKnown();
        // For the gauge, should the main connection fetch it.
        if (size >= 0)
            m_run.m_listedSizes.insert(remotePath, size);
    }

    void fileCopied(const QString &localFile) override
    {
        m_run.m_progress.fileDone();
        m_run.BackupLog(QStringLiteral("Finished downloading ") + localFile);
    }

    void fileRecorded(const QString &localFile, const FileRecord &record) override
    {
        m_run.fileInPlace(localFile, localFile, record);
    }

    void bytesReceived(qint64 bytes) override { m_run.m_networkBytes += bytes; }

    void nameFailed(const QString &name, const QString &error) override
    {
        m_run.m_progress.fileFailed();
        m_run.logFailedName(error, name);
    }

    void nameRefused(const QString &name) override
    {
        m_run.m_progress.fileFailed();
        if (name == ManifestFileName)
            m_run.logFailedName(
                QStringLiteral("The name ") + name +
                    QStringLiteral(" is the backup's own manifest; the site's file was not copied."),
                name);
        else
            m_run.logFailedName(
                QStringLiteral("The name ") + name +
                    QStringLiteral(" would leave the backup folder; nothing was written for it."),
                name);
    }

    void folderFailed(const TreeCopy::Folder &folder, const QString &error) override
    {
        m_run.BackupOk = false;
        m_run.BackupLog(QStringLiteral("EXCEPTION: ") + error);
        m_run.BackupLog(QStringLiteral("The folder ") + folder.remotePath +
                        QStringLiteral(" could not be entered; nothing below it was copied."));
    }

    void listingFailed(const TreeCopy::Folder &folder, const QString &error) override
    {
        m_run.logFailedName(error, folder.remotePath);
    }

    void pause(int ms) override { paceWithEvents(m_run.pauseMs(ms)); }

    void depthLimitReached(const QString &remotePath) override
    {
        m_run.BackupOk = false;
        m_run.BackupLog(QStringLiteral("EXCEPTION: Folders more than %1 levels below their source were not "
                                       "copied (a link to a folder above?), from ")
                            .arg(kMaxFolderDepth) +
                        remotePath);
    }

private:
    BackupRun &m_run;
};

BackupRun::BackupRun(Table &queue, Table &connection, QObject *parent)
    : QObject(parent), m_queue(queue), m_connection(connection)
{
    setObjectName(QStringLiteral("BackupRun"));
    FTP = new TcvbFTP(this);
    FTP->setObjectName(QStringLiteral("FTP"));
    FTP->OnDirList = [this](QObject *, const QString &entry) { lFiles << entry; };
    FTP->OnTransfer = [this](QObject *, std::int64_t bytes, const QByteArray &) {
        if (bytes <= m_mainBytes)
            return;
        m_progress.received(bytes - m_mainBytes);
        m_mainBytes = bytes;
        m_progress.fileInHand(m_mainFile, m_mainSize, bytes);
    };
    cvbFTP1 = new TcvbFTP(this);
    cvbFTP1->setObjectName(QStringLiteral("cvbFTP1"));
    cvbNetDial1 = new TcvbNetDial(this);
    cvbNetDial1->setObjectName(QStringLiteral("cvbNetDial1"));
    SMTP1 = new TcvbSMTP(this);
    SMTP1->setObjectName(QStringLiteral("SMTP1"));
    NetCode1 = new TcvbNetCode(this);
    NetCode1->setObjectName(QStringLiteral("NetCode1"));
    Table_Files = new Table(QStringLiteral("Table_Files"), this);
    Table_Log = new Table(QStringLiteral("Table_Log"), this);
    m_logFlush.setSingleShot(true);
    m_logFlush.setInterval(kLogFlushMs);
    connect(&m_logFlush, &QTimer::timeout, this, [this] {
        try {
            writeHeldRows();
        } catch (const std::exception &) {
            // Tried again with the next rows; a lasting failure shows at the end of the run.
        }
    });
}

BackupRun::~BackupRun()
{
    // Rows told after the end of the run are not lost with it.
    try {
        writeHeldRows();
    } catch (const std::exception &) {
        // The log table failed; the rows were shown.
    }
}

bool BackupRun::begin(const BackupRequest &request)
{
    m_profile = request.profile;
    try {
        Table_Files->open(SourcesTable, ProfileIndex);
        Table_Log->open(LogTable);
        // A backup writes many rows in a row (one for every file): they go to the table a few
        // times a second, each batch with one sync, rather than with two syncs each.
        Table_Log->setHoldingInserts(true);
        Table_Files->setFilter(profileFilter(m_profile));
        Table_Files->setFiltered(true);

        m_settings = readConnectionSettings(m_connection);
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
        removeQueueEntry(m_queue, request.queueRecNo);
        m_reportLines.clear();
        return true;
    } catch (const std::exception &) {
        try {
            BackupLog(QStringLiteral("Backup of profile ") + m_profile + QStringLiteral(" was unsuccessful"));
        } catch (const std::exception &) {
            // The log table itself failed; the run ends all the same.
        }
        BackupOk = false;
        return false;
    }
}

void BackupRun::setReport(bool email, bool detailed, const QString &recipient)
{
    m_email = email;
    m_detailed = detailed;
    m_recipient = recipient;
}

void BackupRun::BackupLog(const QString &message)
{
    // After a stop, what fails is its consequence: the stop is the failure to name.
    if (m_firstFailure.isEmpty() &&
        (m_stopRequested ? message == stoppedMessage() : message.startsWith(QLatin1String("EXCEPTION: "))))
        m_firstFailure = message;
    // The table's row and the full log's line tell the same moment.
    const QDateTime now = Clock::now();
    writeLogRow(*Table_Log, m_profile, message, now);
    const QString line = reportDetailLine(DateText::date(now.date()), DateText::time(now.time()), message);
    m_heldFullLog << line;
    if (m_email && m_detailed)
        m_reportLines << line;
    if (Table_Log->heldCount() >= kHeldRowsAtMost || !m_logFlush.isActive())
        flushLog();
    emit logged(message);
}

void BackupRun::flushLog()
{
    m_logFlush.stop();
    writeHeldRows();
    // The next rows wait a moment for the ones after them.
    m_logFlush.start();
}

void BackupRun::writeHeldRows()
{
    const QString fullLogError = appendFullLogLines(m_profile, m_heldFullLog);
    m_heldFullLog.clear();
    if (!fullLogError.isEmpty() && !m_fullLogFailed) {
        // Said once a backup; the rows of the table go on.
        m_fullLogFailed = true;
        writeLogRow(*Table_Log, m_profile, fullLogError);
    }
    Table_Log->flushHeld();
}

void BackupRun::LogonStep()
{
    BackupDone = false;
    BackupOk = true;
    m_logOnFolder.clear();
    m_singleFilePlaces.clear();
    m_probeOnMain = false;
    m_progress.start(m_profile);
    m_vanished.clear();
    m_networkBytes = 0;
    m_retryPolicy = RetryPolicy::fromSettings();
    // Before anything is fetched, on every connection.
    m_snapshot.reset();
    if (ProgramSettings().fetchOnlyChanged()) {
        m_snapshot = std::make_unique<SnapshotRun>(WhereToMacB, m_snapshotPlan, m_profile, m_settings.server);
        if (!m_snapshot->baseFolder().isEmpty())
            BackupLog(QStringLiteral("Files unchanged since the backup in ") + m_snapshot->baseFolder() +
                      QStringLiteral(" are taken from there."));
    }
    const auto log = [this](const QString &line) { BackupLog(line); };
    try {
        logOnWithRetries(log);
        // The probe connection logs on when it is first asked something: where the listings
        // tell files from folders it never is, and a connection the server counts is saved.
        cvbFTP1->SetWinsockLoaded(true);
        prepareLogOn(*cvbFTP1, m_settings);
        startTransferConnections();
        m_logOnFolder = FTP->RemotePath();
        BackupLog(QStringLiteral("Logging in to '") + m_logOnFolder);
        FTP->SetAction(ftpListDirectory);
    } catch (const EcvbFTP &e) {
        BackupOk = false;
        BackupLog(QStringLiteral("EXCEPTION: ") + e.Message());
    }
}

void BackupRun::logOnWithRetries(const std::function<void(const QString &)> &log)
{
    for (int attempt = 1;; ++attempt) {
        try {
            if (attempt == 1)
                loadWinsockAndLogOn(*FTP, m_settings, log);
            else
                FTP->SetAction(ftpLogon);
            return;
        } catch (const EcvbFTP &e) {
            // A refused account (530) is never tried again: a host that counts failed log-ons
            // would lock it.
            if (!mayTryAgain(QStringLiteral("the log-on"), attempt, e.Code(), e.Message()))
                throw;
        }
    }
}

bool BackupRun::mayTryAgain(const QString &what, int attempt, int code, const QString &error)
{
    if (m_stopRequested || attempt >= m_retryPolicy.tries || !isTransientFailure(code, error))
        return false;
    const int ms = m_retryPolicy.backOffMs(attempt + 1);
    BackupLog(retryNote(what, attempt + 1, m_retryPolicy.tries, ms, error));
    waitUnlessStopped(ms, [this] { return m_stopRequested; });
    return !m_stopRequested;
}

FetchResult BackupRun::fetchOnMain(const FetchRequest &request)
{
    FetchContext context;
    context.policy = m_retryPolicy;
    context.parts = &m_parts;
    context.snapshot = m_snapshot ? m_snapshot->snapshot() : nullptr;
    context.stopped = [this] { return m_stopRequested; };
    return fetchFile(*FTP, request, context);
}

BackupRun::Result BackupRun::result() const
{
    if (!BackupOk)
        return Result::Failed;
    return m_vanished.isEmpty() ? Result::Complete : Result::CompleteExceptVanished;
}

QString BackupRun::resultRow() const
{
    switch (result()) {
    case Result::Complete:
        return QStringLiteral("Result: complete");
    case Result::CompleteExceptVanished:
        return QStringLiteral("Result: complete except %1 files that vanished during the run").arg(m_vanished.size());
    case Result::Failed:
        break;
    }
    return QStringLiteral("Result: failed");
}

void BackupRun::TransferStep()
{
    // Temporary files of earlier runs: those that can go on are kept for their files, the rest go.
    m_parts = sweepPartFiles(WhereToMacB);
    // A profile that writes a new folder each time finds what a failed run left in its own
    // folder (one without a manifest: complete backups keep no parts).
    if (m_snapshotPlan.ownFolder) {
        const QString here = QDir::cleanPath(WhereToMacB);
        for (const QString &folder : std::as_const(m_snapshotPlan.baseFolders)) {
            if (QDir::cleanPath(folder) == here || QFileInfo::exists(QDir(folder).filePath(ManifestFileName)))
                continue;
            const ResumableParts earlier = sweepPartFiles(folder, WhereToMacB);
            for (auto it = earlier.cbegin(); it != earlier.cend(); ++it)
                if (!m_parts.contains(it.key()))
                    m_parts.insert(it.key(), it.value());
        }
    }
    FolderHooks hooks(*this);
    TreeCopyOptions options;
    options.manifestAtTop = m_snapshot != nullptr;
    TreeCopy copy(*FTP, hooks, WhereToMacB, options);
    copy.setTransfers(m_pool.get());
    for (Table_Files->first(); !Table_Files->eof() && !m_stopRequested; Table_Files->next())
        downloadSource(Table_Files->asString(QStringLiteral("SOURCE")), copy);
    copy.run();
    endTransferConnections();

    if (m_stopRequested) {
        // No log-off: a server that stalled the transfer would stall QUIT as well. The
        // connections close with their components.
        BackupOk = false;
        BackupLog(stoppedMessage());
        BackupDone = true;
        return;
    }

    if (m_snapshot)
        finishSnapshot();
    FTP->SetAction(ftpLogoff);
    cvbFTP1->SetAction(ftpLogoff);
    if (m_settings.dialsUp())
        cvbNetDial1->SetAction(ntdDisconnect);
    BackupLog(QStringLiteral("Logged out of FTP server."));
    BackupLog(QStringLiteral("Backup Complete"));
    // Nothing left to finish: what earlier runs left and this one did not need goes.
    if (BackupOk)
        removeParts(m_parts);
    BackupDone = true;
}

void BackupRun::downloadSource(const QString &typed, TreeCopy &copy)
{
    const QString source = resolveSource(typed, m_logOnFolder);
    const QString localName = sourceLocalName(source);
    // A source that names a folder by "/", "." or ".." has no file name to store: it can only
    // be copied as a folder, where the copy checks where it would go. A source the server says
    // is a folder is not tried as a file.
    if (classifyListedName(localName) == ListedName::Copy && entryTypeOf(*FTP, source) != ftp::EntryType::Folder) {
        QString place;
        bool known = false; // counted as a file of the backup
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
            fetchingOnMain(source);
            m_progress.fileKnown();
            known = true;
            FetchRequest request;
            request.remotePath = source;
            request.localFile = WhereToMacB + QLatin1Char('/') + place;
            const FetchResult fetched = fetchOnMain(request);
            m_networkBytes += fetched.received;
            for (const QString &note : fetched.notes)
                BackupLog(note);
            if (fetched.kind != FetchResult::Copied)
                throw std::runtime_error(fetched.error.toStdString());
            m_singleFilePlaces.insert(place);
            if (place != localName)
                BackupLog(QStringLiteral("The name ") + localName + QStringLiteral(" is taken: ") + typed +
                          QStringLiteral(" is saved as ") + place);
            fileInPlace(request.localFile, typed, fetched.record);
            if (!fetched.record.unchanged) {
                m_progress.fileDone();
                BackupLog(QStringLiteral("Finished downloading ") + typed);
            }
            return;
        } catch (const std::exception &e) {
            if (m_stopRequested)
                return;
            // A name is copied as a folder only when it is one; a file that failed stays failed
            // (and keeps its place, so that a later source of its name never takes it).
            if (!probe(source)) {
                if (!place.isEmpty())
                    m_singleFilePlaces.insert(place);
                m_progress.fileFailed();
                logFailedName(messageOf(e), typed);
                return;
            }
            if (known)
                m_progress.notAFile();
        }
    }
    if (!copy.queue(source, RelativeLocalPath(source, sourceBaseLength(source))))
        logFailedName(
            QStringLiteral("The folder ") + source +
                QStringLiteral(" would be copied outside the backup folder; nothing was written for it."),
            source);
}

QString BackupRun::singleFilePlace(const QString &source, const QString &localName) const
{
    // The first source of a name keeps its place directly in the backup folder; a later one goes
    // below it under its remote path, so that neither overwrites the other. The manifest's name
    // is taken from the start.
    if (!m_singleFilePlaces.contains(localName) && !(m_snapshot && localName == ManifestFileName))
        return localName;
    const QString place = remotePathPlace(source);
    return m_singleFilePlaces.contains(place) ? QString() : place;
}

void BackupRun::createParentLevels(const QString &place)
{
    // One level at a time, each private as the folder copy makes them.
    QString folder = WhereToMacB;
    const QStringList levels = place.split(QLatin1Char('/'));
    for (qsizetype i = 0; i + 1 < levels.size(); ++i) {
        folder += QLatin1Char('/') + levels[i];
        createFolderLevel(folder);
    }
}

namespace {

// True when `ftp` enters `remotePath` and lists it.
bool entersFolder(TcvbFTP &ftp, const QString &remotePath)
{
    try {
        ftp.SetRemotePath(remotePath);
        ftp.SetRemoteFile(QString());
        ftp.SetAction(ftpListDirectory);
        return true;
    } catch (const EcvbFTP &) {
        return false;
    }
}

} // namespace

bool BackupRun::probe(const QString &remotePath)
{
    // The probe connection logs on only when first needed, after the transfer connections: a
    // server that takes no more connections turns it away. The main connection is free meanwhile
    // and asks instead (every later step names its folder in full).
    if (!m_probeOnMain && !cvbFTP1->Connected() &&
        WithoutRaising(*cvbFTP1, [this] { cvbFTP1->SetAction(ftpLogon); }) != 0)
        m_probeOnMain = true;
    return entersFolder(m_probeOnMain ? *FTP : *cvbFTP1, remotePath);
}

void BackupRun::logFailedName(const QString &exceptionMessage, const QString &name)
{
    BackupLog(QStringLiteral("EXCEPTION: ") + exceptionMessage);
    BackupLog(QStringLiteral("Download of file : ") + name +
              QStringLiteral(" may not have been successful!"));
    BackupOk = false;
}

void BackupRun::complete(const QString &workerError)
{
    if (!BackupDone) {
        // A worker that ended early (an unexpected error) never sets BackupDone: its backup
        // failed.
        BackupOk = false;
        try {
            BackupLog(m_stopRequested ? stoppedMessage() : QStringLiteral("EXCEPTION: ") + workerError);
        } catch (const std::exception &) {
            // The log table failed too; the report follows regardless.
        }
    }
    try {
        BackupLog(resultRow());
    } catch (const std::exception &) {
        // The log table failed; the report follows regardless.
    }
    if (m_stopRequested && m_stopReason == StopReason::User && m_settings.dialsUp()) {
        // The program goes on: the line that this backup dialled is not left open.
        try {
            cvbNetDial1->SetAction(ntdDisconnect);
        } catch (const std::exception &e) {
            BackupLog(QStringLiteral("EXCEPTION: ") + messageOf(e));
        }
    }
    if (m_email && !m_programEnding) {
        try {
            sendReport();
        } catch (const std::exception &e) {
            try {
                BackupLog(QStringLiteral("EXCEPTION: ") + messageOf(e));
            } catch (const std::exception &) {
                // The log table failed too; the run ends regardless.
            }
        }
    }
    // Every row is in the table when the run is over.
    m_logFlush.stop();
    try {
        writeHeldRows();
    } catch (const std::exception &) {
        // The log table failed; the rows were shown and are in the full log.
    }
}

void BackupRun::sendReport()
{
    const QDateTime now = Clock::now();
    const QString summary =
        reportSummaryLine(DateText::date(now.date()), DateText::time(now.time()), BackupOk, int(m_vanished.size()));
    MailFields fields;
    fields.to = m_recipient;
    fields.from = m_settings.returnAddress;
    fields.subject = reportSubject(m_profile);
    fields.text = m_reportLines;
    // A detailed report has the row already.
    if (m_stopRequested && !m_detailed)
        fields.text << reportDetailLine(DateText::date(now.date()), DateText::time(now.time()),
                                        UserStoppedMessage);
    fields.text += reportClosingLines(summary, BackupOk);
    sendMail(*SMTP1, *NetCode1, m_settings.smtpServer, fields);
}

void BackupRun::startTransferConnections()
{
    ProgramSettings settings;
    m_pauses = settings.pauses();
    int connections = settings.connections();
    const ServerAddress server = readServerAddress(m_settings.server, kFtpPort);
    const QString serverKey = server.host + QLatin1Char(':') + QString::number(server.port);
    const int limit = settings.connectionLimit(serverKey);
    if (limit > 0)
        connections = qMin(connections, limit);
    m_connectionsAsked = connections;
    m_pool = std::make_unique<TransferPool>(m_settings, connections, pauseMs(500), m_retryPolicy, &m_parts);
    m_pool->setSnapshot(m_snapshot ? m_snapshot->snapshot() : nullptr);
    m_pool->onBytes = [this](const FileTransfers::Job &job, qint64 more, qint64 bytesSoFar) {
        m_listedSizes.remove(job.remotePath);
        m_progress.received(more);
        m_progress.fileInHand(job.remotePath, job.size, bytesSoFar);
    };
    m_pool->onGivenUp = [this](int connection, const QString &why) {
        BackupLog(QStringLiteral("Transfer connection %1 was not accepted (%2); the backup goes on with "
                                 "the others.")
                      .arg(connection)
                      .arg(why));
    };
    m_pool->start();
}

void BackupRun::fileInPlace(const QString &localFile, const QString &shown, const FileRecord &record)
{
    if (!m_snapshot || !record.recorded)
        return;
    m_snapshot->recorded(localFile, record);
    if (record.unchanged) {
        m_progress.fileDone();
        BackupLog(QStringLiteral("Unchanged ") + shown);
    }
}

void BackupRun::finishSnapshot()
{
    // A failed backup leaves no manifest: its folder is never the base of a later one.
    if (BackupOk) {
        QStringList rows;
        const bool agrees = m_snapshot->finish(&rows);
        for (const QString &row : std::as_const(rows))
            BackupLog(row);
        if (!agrees)
            BackupOk = false;
    }
    const BackupProgressSnapshot progress = m_progress.snapshot();
    BackupLog(QStringLiteral("Files downloaded: %1, unchanged: %2, failed: %3.")
                  .arg(m_snapshot->downloaded())
                  .arg(m_snapshot->unchanged())
                  .arg(progress.filesFailed));
    BackupLog(QStringLiteral("Bytes over the network: %1.").arg(m_networkBytes));
}

void BackupRun::endTransferConnections()
{
    if (!m_pool)
        return;
    if (m_stopRequested)
        m_pool->stop();
    m_pool->finish();
    const bool limitMet = m_pool->limitMet();
    const int accepted = m_pool->loggedOn();
    m_pool.reset();
    if (!limitMet || accepted <= 0 || accepted >= m_connectionsAsked)
        return;
    const ServerAddress server = readServerAddress(m_settings.server, kFtpPort);
    ProgramSettings settings;
    settings.setConnectionLimit(server.host + QLatin1Char(':') + QString::number(server.port), accepted);
    const QString error = settings.save();
    BackupLog(error.isEmpty() ? QStringLiteral("The server took %1 transfer connections at once; later "
                                               "backups ask for no more.")
                                    .arg(accepted)
                              : error);
}

int BackupRun::pauseMs(int ms) const
{
    return chosenPauseMs(ms, m_pauses);
}

BackupProgressSnapshot BackupRun::progress()
{
    BackupProgressSnapshot snapshot = m_progress.snapshot();
    snapshot.profile = m_profile; // also before the log-on, which starts the counts
    return snapshot;
}

void BackupRun::fetchingOnMain(const QString &remotePath)
{
    m_mainFile = remotePath;
    m_mainBytes = 0;
    m_mainSize = m_listedSizes.contains(remotePath) ? m_listedSizes.take(remotePath) : -1;
    m_progress.fileInHand(remotePath, m_mainSize, 0);
}

QString BackupRun::stoppedMessage() const
{
    return m_stopReason == StopReason::User ? UserStoppedMessage : StoppedMessage;
}

void BackupRun::stop(StopReason reason)
{
    if (reason == StopReason::ProgramEnding && !m_programEnding) {
        m_programEnding = true;
        SMTP1->Interrupt();
    }
    if (m_stopRequested)
        return;
    m_stopRequested = true;
    m_stopReason = reason;
    if (m_pool)
        m_pool->stop();
    FTP->Interrupt();
    cvbFTP1->Interrupt();
}

} // namespace cvb
