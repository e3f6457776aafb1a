// The actions of TcvbFTP when it speaks SFTP: the same action shape, carried out by its SFTP
// session. Listings come as MLSD lines and MLST answers, the forms in which this component
// hands typed entries to its callers; local files are written and read as for FTP.
#include "ftp/FtpClient.h"
#include "ftp/TransferFile.h"

#include <QScopeGuard>

namespace cvb {

namespace {

// The facts of one entry as an MLSD line gives them ("type=file;size=12;modify=...; name").
QString factsOf(const SftpEntry &entry, const QString &name)
{
    const QString type = entry.type == SftpEntry::Type::Folder ? QStringLiteral("dir")
                         : entry.type == SftpEntry::Type::File ? QStringLiteral("file")
                                                               : QStringLiteral("unknown");
    QString facts = QStringLiteral("type=") + type + QLatin1Char(';');
    if (entry.size >= 0)
        facts += QStringLiteral("size=%1;").arg(entry.size);
    if (entry.modified.isValid())
        facts += QStringLiteral("modify=") +
                 entry.modified.toUTC().toString(QStringLiteral("yyyyMMddHHmmss")) + QLatin1Char(';');
    return facts + QLatin1Char(' ') + name;
}

} // namespace

void TcvbFTP::SetSftp(bool sftp)
{
    if (sftp == Sftp())
        return;
    m_logOnBar = {};
    if (!sftp) {
        m_sftp.reset();
        return;
    }
    m_sftp = std::make_unique<TcvbSFTP>(*this, kFtpReplyRefused);
    m_sftp->trace = [this](int direction, const QString &message) { Trace(direction, message); };
}

int TcvbFTP::SftpResult(int result)
{
    // An ended wait has left its own code and text (interrupted, or timed out).
    if (result == 0 || result == kInterrupted)
        return result;
    // A refusal reads as an FTP server's would: callers tell a missing file (550) from a
    // command the server does not know (502) by the reply code at its start.
    const int status = m_sftp->RefusalStatus();
    const QString text = m_sftp->ErrorText();
    SetLastError(result, status == 0 ? text : QStringLiteral("%1 %2").arg(status == 8 ? 502 : 550).arg(text));
    return result;
}

int TcvbFTP::PerformSftp(int action)
{
    switch (action) {
    case ftpIdle:
    case ftpAbort:
        // Ends the running transfer's wait; its session closes with it.
        Interrupt();
        return 0;
    case ftpLogon:
        return Logon();
    case ftpLogoff:
        m_sftp->LogOff();
        return 0;
    case ftpDownload:
    case ftpUpload:
        return SftpTransfer(action);
    case ftpListDirectory:
    case ftpListDirectoryLong:
    case ftpListMachine:
        return SftpList(action);
    case ftpDeleteFile:
        return SftpResult(m_sftp->Remove(m_remoteFile));
    case ftpRenameFile:
        return SftpResult(m_sftp->Rename(m_remoteFile, m_altFile));
    case ftpMakeDirectory:
        return SftpResult(m_sftp->MakeFolder(m_remoteFile));
    case ftpRemoveDirectory:
        return SftpResult(m_sftp->RemoveFolder(m_remoteFile));
    case ftpTypeAscii:
    case ftpTypeBinary:
        // Files travel as they are: the mode is kept for the caller and changes nothing.
        m_transferMode = action == ftpTypeAscii ? tmASCII : tmBinary;
        return 0;
    case ftpRawCommand:
        if (m_rawCommand.startsWith(QLatin1String("MLST "), Qt::CaseInsensitive))
            return SftpStatLines(m_rawCommand.mid(5));
        if (m_rawCommand.startsWith(QLatin1String("SIZE "), Qt::CaseInsensitive) ||
            m_rawCommand.startsWith(QLatin1String("MDTM "), Qt::CaseInsensitive))
            return SftpFileFact(m_rawCommand.left(4).toUpper(), m_rawCommand.mid(5));
        SetLastError(kFtpReplyRefused, QStringLiteral("502 Not available over SFTP: ") + m_rawCommand);
        return kFtpReplyRefused;
    }
    return 0;
}

int TcvbFTP::SftpStatLines(const QString &path)
{
    SftpEntry entry;
    const int result = SftpResult(m_sftp->Stat(path, entry));
    if (result != 0)
        return result;
    m_replyLines = {"250-Listing " + Network(path), ' ' + Network(factsOf(entry, path)), "250 End"};
    return 0;
}

int TcvbFTP::SftpFileFact(const QString &command, const QString &path)
{
    // Answered as an FTP server answers SIZE and MDTM: 213 with the size or the time (UTC), 550
    // for what is no file.
    SftpEntry entry;
    const int result = SftpResult(m_sftp->Stat(path, entry));
    if (result != 0)
        return result;
    const bool size = command == QLatin1String("SIZE");
    if (entry.type != SftpEntry::Type::File || (size ? entry.size < 0 : !entry.modified.isValid())) {
        SetLastError(kFtpReplyRefused, QStringLiteral("550 ") + path + QStringLiteral(": not a plain file"));
        return kFtpReplyRefused;
    }
    m_replyLines = {"213 " + (size ? QByteArray::number(entry.size)
                                   : entry.modified.toUTC().toString(QStringLiteral("yyyyMMddHHmmss")).toLatin1())};
    return 0;
}

int TcvbFTP::SftpList(int action)
{
    // "-a" asks an FTP server for the names that begin with "."; SFTP lists them always.
    const QString folder = m_remoteFile == QLatin1String("-a") ? QString() : m_remoteFile;
    QList<SftpEntry> entries;
    SftpEntry named;
    int result = folder.isEmpty() ? 0 : SftpResult(m_sftp->Stat(folder, named));
    if (result != 0)
        return result;
    if (!folder.isEmpty() && named.type != SftpEntry::Type::Folder) {
        // A file lists itself under the name it was asked for, as NLST and LIST do.
        named.name = folder;
        entries << named;
    } else {
        result = SftpResult(m_sftp->List(folder.isEmpty() ? QStringLiteral(".") : folder, entries));
    }
    if (result != 0 || !OnDirList)
        return result;
    for (const SftpEntry &entry : std::as_const(entries)) {
        if (action == ftpListDirectory)
            OnDirList(this, entry.name);
        else if (action == ftpListDirectoryLong)
            OnDirList(this, entry.longName.isEmpty() ? entry.name : entry.longName);
        else
            OnDirList(this, factsOf(entry, entry.name));
    }
    return 0;
}

int TcvbFTP::SftpTransfer(int action)
{
    CTransferFile file;
    const bool toEvents = action == ftpDownload && m_localFile.isEmpty();
    if (action == ftpUpload) {
        if (m_localFile.isEmpty() || file.openRead(m_localFile) != 0) {
            SetLastError(kFtpNoUploadFile, m_localFile.isEmpty()
                                               ? QStringLiteral("Please specify a local file for upload.")
                                               : QStringLiteral("Error reading from local file."));
            return kFtpNoUploadFile;
        }
    } else if (!toEvents && (m_startByte > 0 ? file.openResume(m_localFile, m_startByte)
                                             : file.openWrite(m_localFile)) != 0) {
        SetLastError(kFtpDownloadFileFailed, QStringLiteral("Error opening local file"));
        return kFtpDownloadFileFailed;
    }
    if (OnStartTransfer)
        OnStartTransfer(this);
    const auto ended = qScopeGuard([this] {
        if (OnEndTransfer)
            OnEndTransfer(this);
    });
    const auto progress = [this](qint64 bytes) {
        if (OnTransfer)
            OnTransfer(this, bytes, {});
    };
    int result = 0;
    if (action == ftpUpload) {
        const qint64 size = file.size();
        qint64 sent = 0;
        result = m_sftp->Upload(
            m_remoteFile,
            [&](char *buffer, qint64 capacity, QString *error) -> qint64 {
                const qint64 piece = std::min(capacity, size - sent);
                if (piece <= 0)
                    return 0;
                if (file.read(buffer, piece) != 0) {
                    *error = QStringLiteral("Error reading from local file.");
                    return -kFtpUploadFileFailed;
                }
                sent += piece;
                return piece;
            },
            progress);
        return SftpResult(result);
    }
    qint64 delivered = 0;
    result = m_sftp->Download(
        m_remoteFile, m_startByte,
        [&](const char *data, qint64 length, QString *error) {
            if (toEvents) {
                delivered += length;
                if (OnTransfer)
                    OnTransfer(this, delivered, QByteArray(data, length));
                return 0;
            }
            if (file.write(data, length) == 0) {
                if (OnFileBytes)
                    OnFileBytes(QByteArray::fromRawData(data, int(length)));
                return 0;
            }
            *error = QStringLiteral("Error writing to local file");
            return kFtpDownloadFileFailed;
        },
        toEvents ? std::function<void(qint64)>() : progress);
    // The download succeeded only when the local file took all of it, flushed to disk.
    if (result == 0 && !toEvents && file.close() != 0) {
        SetLastError(kFtpDownloadFileFailed, QStringLiteral("Error writing to local file"));
        return kFtpDownloadFileFailed;
    }
    return SftpResult(result);
}

} // namespace cvb
