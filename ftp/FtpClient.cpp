#include "ftp/FtpClient.h"

#include <stdexcept>

namespace cvb {

using ftp::ReplyKind;

TcvbFTP::TcvbFTP(QObject *parent) : CIPPortMsg(parent), m_data(std::make_unique<CDataInterface>(this))
{
    SetRemotePort(21);
    SetEOL("\r\n");
    SetEolAnyChar(true);
}

TcvbFTP::~TcvbFTP()
{
    BeginTearDown();
}

std::exception_ptr TcvbFTP::CreateError(int code, const QString &text)
{
    return std::make_exception_ptr(EcvbFTP(code, text));
}

void TcvbFTP::SetWinsockLoaded(bool load)
{
    m_data->SetWinsockLoaded(load);
    CIPPortMsg::SetWinsockLoaded(load);
}

void TcvbFTP::Trace(int direction, const QString &message)
{
    if (OnFirePITrail)
        OnFirePITrail(this, direction, message);
}

QString TcvbFTP::RemotePath()
{
    if (m_sftp) {
        if (m_sftp->Connected())
            m_remotePath = m_sftp->Folder();
        return m_remotePath;
    }
    if (Connected() && FtpCommand("PWD") == 0)
        m_remotePath = QString::fromUtf8(ftp::parsePwdReply(ReplyLine()));
    return m_remotePath;
}

void TcvbFTP::SetRemotePath(const QString &path)
{
    if (m_currentAction != ftpIdle) {
        ReportBusy(kFtpBusy);
        return;
    }
    m_remotePath = path;
    if (Connected()) {
        RunAction(ftpChangeDirectory);
    } else {
        // Entered when the next action logs on by itself, before that action runs.
        if (path.startsWith(QLatin1Char('/')))
            m_folderTrail.clear();
        m_folderTrail.append(path);
    }
}

void TcvbFTP::SetTransferMode(int mode)
{
    if (m_currentAction != ftpIdle) {
        ReportBusy(kFtpBusy);
        return;
    }
    if (Connected() && (mode == tmDefault || mode != m_connectionType)) {
        if (mode == tmASCII)
            RunAction(ftpTypeAscii);
        else if (mode == tmBinary)
            RunAction(ftpTypeBinary);
        else if (mode != tmDefault)
            throw std::invalid_argument("Invalid Transfermode value");
    }
    if (mode >= tmDefault && mode <= tmBinary)
        m_transferMode = TFTPTransferModes(mode);
}

int TcvbFTP::FtpCommand(const QByteArray &command, const QByteArray &argument)
{
    if (!command.isEmpty())
        Trace(0, QString::fromUtf8(ftp::traceText(command, argument)));
    TReply reply;
    m_replyLines.clear();
    int result = Exchange(command, argument, "\r\n", ftp::ReplyEnd(), reply);
    for (; result == 0; result = ReadReply(ftp::ReplyEnd(), reply)) {
        m_replyLines = reply.Lines;
        const QByteArray line = reply.Last();
        switch (ftp::classifyReply(line)) {
        case ReplyKind::Preliminary:
            // The server is ready for the data connection's handshake now.
            m_data->PreliminaryReply();
            break;
        case ReplyKind::Continuation: // ends no reply
            break;
        case ReplyKind::Success:
            return 0;
        case ReplyKind::Failure:
            // The aborted transfer's 426 comes first; the reply to ABOR itself follows.
            if (command == "ABOR" && line.startsWith("426"))
                break;
            SetLastError(kFtpReplyRefused, QString::fromUtf8(line));
            return kFtpReplyRefused;
        }
    }
    return result;
}

void TcvbFTP::ReplyLineHook(const QByteArray &line)
{
    // Every line is traced, continuation lines included.
    Trace(1, QString::fromUtf8(line));
}

void TcvbFTP::RunAction(int action)
{
    SetLastError(0, {});
    if (m_currentAction != ftpIdle && action != ftpIdle && action != ftpAbort) {
        ReportBusy(kFtpBusy);
        return;
    }
    if (action < ftpIdle || action > ftpListMachine)
        throw std::invalid_argument("Invalid Action Value");

    int result = 0;
    bool interruptedLogon = false;
    if (!Connected() && action != ftpIdle && action != ftpLogon && action != ftpLogoff) {
        if (m_logOnBar.code != 0) {
            Trace(2, m_logOnBar.accountRefused
                         ? QStringLiteral("Not connecting: the server refused the account at the last log-on.")
                         : QStringLiteral("Not connecting: the last log-on could not secure the connection."));
            SetLastError(m_logOnBar.code, m_logOnBar.text);
            result = m_logOnBar.code;
        } else {
            const QStringList trail = m_folderTrail;
            result = WithoutRaising(*this, [&] { RunAction(ftpLogon); });
            interruptedLogon = result == kInterrupted;
            if (result == 0)
                result = ReturnToFolder(trail);
        }
    }
    if (!interruptedLogon) {
        // ftpIdle and ftpAbort may run inside another action's wait: that action is still in
        // progress when they end.
        if (result == 0) {
            struct Restore
            {
                int &current;
                const int outer;
                ~Restore() { current = outer; }
            } restore{m_currentAction, m_currentAction};
            m_abortedAction = action == ftpAbort ? m_currentAction : ftpIdle;
            m_currentAction = action;
            result = Perform(action);
        }
        if (result != 0) {
            const bool timedOut = result == kInterrupted && LastErrorCode() == kTimedOut;
            TearDownDataConnection();
            if (result == kInterrupted && !timedOut)
                SetLastError(result, QStringLiteral("Interrupted"));
            // A reply still owed (after the idle limit, or the greeting and log-on replies of
            // an interrupted log-on) would be taken for the reply to the next command. The
            // connection is closed instead; the next action logs on afresh.
            if (timedOut || (result == kInterrupted && action == ftpLogon))
                DropControlConnection();
        }
    }
    if (result != 0)
        ReportError(result, LastErrorText().isEmpty() ? DescribeError(result) : LastErrorText());
}

int TcvbFTP::Perform(int action)
{
    // A folder change keeps its trail as over FTP; ChangeFolder goes to the SFTP session.
    if (m_sftp && action != ftpChangeDirectory)
        return PerformSftp(action);
    switch (action) {
    case ftpIdle:
        Interrupt();
        return 0;
    case ftpAbort:
        return Abort();
    case ftpLogon:
        return Logon();
    case ftpLogoff:
        return Logoff();
    case ftpDownload:
    case ftpUpload:
    case ftpListDirectory:
    case ftpListDirectoryLong:
    case ftpListMachine:
        return Transfer(action);
    case ftpDeleteFile:
        return FtpCommand("DELE", Network(m_remoteFile));
    case ftpRenameFile: {
        const int result = FtpCommand("RNFR", Network(m_remoteFile));
        return result != 0 ? result : FtpCommand("RNTO", Network(m_altFile));
    }
    case ftpMakeDirectory:
        return FtpCommand("MKD", Network(m_remoteFile));
    case ftpRemoveDirectory:
        return FtpCommand("RMD", Network(m_remoteFile));
    case ftpTypeAscii:
    case ftpTypeBinary: {
        const bool ascii = action == ftpTypeAscii;
        m_connectionType = tmDefault;
        const int result = FtpCommand("TYPE", ascii ? "A" : "I");
        if (result == 0)
            m_transferMode = m_connectionType = ascii ? tmASCII : tmBinary;
        return result;
    }
    case ftpChangeDirectory: {
        const int result = ChangeFolder(m_remotePath);
        if (result == 0) {
            if (m_remotePath.startsWith(QLatin1Char('/')))
                m_folderTrail.clear();
            m_folderTrail.append(m_remotePath);
        }
        return result;
    }
    case ftpRawCommand:
        return FtpCommand(Network(m_rawCommand));
    }
    return 0;
}

void TcvbFTP::ForgetSession()
{
    // A new log-on starts a new session: its type and what the server offers are asked afresh.
    m_connectionType = tmDefault;
    m_features = {};
    m_featuresAsked = false;
    m_epsvRefused = false;
}

const ftp::ServerFeatures &TcvbFTP::Features()
{
    if (m_sftp) {
        // What the SFTP actions give: listings with types, sizes and exact times, and MLST.
        m_features = {};
        m_features.mlsd = true;
        m_features.mlstFacts = {QStringLiteral("type"), QStringLiteral("size"), QStringLiteral("modify")};
        m_features.restStream = true; // a download may start at any byte
        m_features.utf8 = true;
        return m_features;
    }
    if (!m_featuresAsked && Connected() && m_currentAction == ftpIdle) {
        m_featuresAsked = true;
        // A refusal (500, 502) means a server from before FEAT: it offers nothing beyond the
        // basic commands. Only a lost connection or an interrupted wait is an error here.
        // The caller's own raw command stays as it was set.
        const QString rawCommand = m_rawCommand;
        m_rawCommand = QStringLiteral("FEAT");
        const int result = WithoutRaising(*this, [&] { RunAction(ftpRawCommand); });
        m_rawCommand = rawCommand;
        if (result == 0)
            m_features = ftp::parseFeatures(m_replyLines);
        else if (result != kFtpReplyRefused)
            m_featuresAsked = false;
    }
    return m_features;
}

int TcvbFTP::Logon()
{
    m_logOnBar = {};
    m_accountRefused = false;
    ForgetSession();
    const int result = LogonSteps();
    // A server that cannot give this client a secure connection will not give it one to the
    // next action either: each would cost another handshake (up to its limit) and another row.
    if (result == kFtpTlsRefused || (result >= kTlsHandshakeFailed && result <= kTlsPlainTextInjected))
        m_logOnBar = {result, LastErrorText(), false};
    else if ((result == kFtpReplyRefused && m_accountRefused) || result == kSshAuthRefused)
        m_logOnBar = {result, LastErrorText(), true};
    else if (result == kSshHostKeyUnknown || result == kSshHostKeyChanged)
        m_logOnBar = {result, LastErrorText(), false};
    return result;
}

int TcvbFTP::LogonSteps()
{
    if (m_sftp) {
        m_sftp->host = ServerName();
        m_sftp->port = ControlPort();
        m_sftp->user = m_user;
        m_sftp->password = m_password;
        m_sftp->trustedFingerprint = m_trustedFingerprint;
        const int result = SftpResult(m_sftp->LogOn());
        if (result == 0)
            m_folderTrail.clear();
        return result;
    }
    if (!Connected()) {
        Trace(2, QStringLiteral("Connecting to FTP server."));
        m_protectData = false;
        m_peerCertificate = {};
        int result = ConnectAndWait();
        if (result == 0 && m_security == ftpsImplicit)
            result = SecureControl();
        if (result == 0)
            result = FtpCommand({}); // the greeting
        if (result == 0 && m_security == ftpsExplicit) {
            result = FtpCommand("AUTH", "TLS");
            if (result == kFtpReplyRefused || (result == 0 && !ReplyLine().startsWith("234"))) {
                SetLastError(kFtpTlsRefused,
                             QStringLiteral("The server refused encryption (AUTH TLS: %1); the log-on was "
                                            "given up and the password not sent.")
                                 .arg(QString::fromUtf8(ReplyLine().trimmed())));
                DropControlConnection();
                return kFtpTlsRefused;
            }
            if (result == 0)
                result = SecureControl();
        }
        if (result == 0 && m_security != ftpsNone) {
            result = FtpCommand("PBSZ", "0");
            if (result == 0)
                result = FtpCommand("PROT", "P");
            m_protectData = result == 0;
        }
        if (result != 0)
            return result;
    }
    // A connection that should carry TLS and does not never sees the account.
    if (m_security != ftpsNone && TlsStatus() != TlsState::Up) {
        SetLastError(kFtpTlsRefused,
                     QStringLiteral("The connection is not encrypted; the password was not sent."));
        DropControlConnection();
        return kFtpTlsRefused;
    }
    if (!m_user.isEmpty()) {
        const int result = FtpCommand("USER", Network(m_user));
        if (result != 0) {
            m_accountRefused = ReplyLine().startsWith("530");
            return result;
        }
    }
    const int result = FtpCommand("PASS", Network(m_password));
    if (result != 0) {
        m_accountRefused = ReplyLine().startsWith("530");
        return result;
    }
    m_folderTrail.clear();
    m_currentAction = ftpIdle;
    if (m_transferMode == tmDefault)
        return 0;
    return WithoutRaising(*this, [&] { SetTransferMode(m_transferMode); });
}

int TcvbFTP::ChangeFolder(const QString &folder)
{
    if (m_sftp)
        return SftpResult(m_sftp->ChangeFolder(folder));
    return folder == QLatin1String("..") ? FtpCommand("CDUP") : FtpCommand("CWD", Network(folder));
}

int TcvbFTP::ReturnToFolder(const QStringList &trail)
{
    for (const QString &folder : trail) {
        const int result = ChangeFolder(folder);
        if (result != 0) {
            SetLastError(result,
                         QStringLiteral("Logged on again after the connection was lost, but could "
                                        "not return to the folder ") +
                             trail.join(QLatin1Char('/')).replace(QStringLiteral("//"), QStringLiteral("/")) +
                             QStringLiteral(": ") + LastErrorText());
            return result;
        }
        m_folderTrail.append(folder);
    }
    return 0;
}

CTlsContext &TcvbFTP::TlsContext()
{
    if (!m_tlsContext)
        m_tlsContext = std::make_unique<CTlsContext>();
    return *m_tlsContext;
}

int TcvbFTP::SecureControl()
{
    Trace(2, QStringLiteral("Starting TLS."));
    CTlsContext &context = TlsContext();
    int result = context.Ok() ? StartTlsOnCleanLine(context, ServerName())
                              : (SetLastError(kTlsFailed, context.Error()), kTlsFailed);
    if (result == 0) {
        m_peerCertificate = TlsChannel()->PeerCertificate();
        const QString distrust =
            tlsDistrust(m_peerCertificate, m_trustedFingerprint, ServerName(), ControlPort());
        if (!distrust.isEmpty()) {
            result = kTlsUntrusted;
            SetLastError(result, distrust);
        } else {
            Trace(2,
                  QStringLiteral("TLS established: %1, cipher %2%3.")
                      .arg(TlsChannel()->Protocol(), TlsChannel()->Cipher(),
                           m_peerCertificate.verified ? QString() : QStringLiteral(", pinned certificate")));
        }
    }
    if (result != 0)
        DropControlConnection();
    return result;
}

int TcvbFTP::Logoff()
{
    if (!Connected())
        return 0;
    const int result = FtpCommand("QUIT");
    if (result != 0)
        Trace(2, QStringLiteral("Forcing disconnection from FTP server."));
    DropControlConnection();
    return result;
}

void TcvbFTP::DropControlConnection()
{
    const int code = LastErrorCode();
    const QString text = LastErrorText();
    WithoutRaising(*this, [&] { SetConnected(false); });
    SetLastError(code, text);
}

int TcvbFTP::Abort()
{
    // Urgent data cannot travel inside TLS: there the ABOR command goes alone, after a reset of
    // the data connection, which makes a server that reads commands only between transfers
    // (it waits for urgent data) fail its transfer and read the ABOR.
    if (TlsStatus() != TlsState::Off) {
        if (m_abortedAction != ftpIdle) {
            m_transferAborted = true;
            m_data->CloseListening();
            m_data->ResetConnection();
        }
        return FtpCommand("ABOR");
    }
    const int one = 1;
    Ws().setsockopt(Socket(), ws::SOL_SOCKET_, ws::SO_OOBINLINE_, reinterpret_cast<const char *>(&one),
                    sizeof one);
    // Telnet's interrupt process and data mark, as urgent data.
    static const char synch[] = {'\xFF', '\xF4', '\xFF', '\xF2'};
    const int sent = SendBytes(synch, sizeof synch, MSG_OOB);
    if (sent != 0)
        return sent;
    // Run from an event handler inside a transfer, the abort reads the replies that the
    // transfer waits for: the transfer then ends as interrupted.
    if (m_abortedAction != ftpIdle)
        m_transferAborted = true;
    return FtpCommand("ABOR");
}

int TcvbFTP::Transfer(int action)
{
    if (action == ftpUpload) {
        if (m_localFile.isEmpty()) {
            SetLastError(kFtpNoUploadFile, QStringLiteral("Please specify a local file for upload."));
            return kFtpNoUploadFile;
        }
        CTransferFile check;
        if (check.openRead(m_localFile) != 0) {
            SetLastError(kFtpNoUploadFile, QStringLiteral("Error reading from local file."));
            return kFtpNoUploadFile;
        }
    }
    switch (action) {
    case ftpDownload:
        m_data->SetMode(m_localFile.isEmpty() ? CDataInterface::DownloadToEvents
                                              : CDataInterface::DownloadToFile);
        break;
    case ftpUpload:
        m_data->SetMode(CDataInterface::UploadFromFile);
        break;
    default:
        m_data->SetMode(CDataInterface::Listing);
    }
    int result = SetUpDataConnection();
    if (result == 0 && m_startByte > 0 && (action == ftpDownload || action == ftpUpload))
        result = FtpCommand("REST", QByteArray::number(m_startByte));
    if (result != 0)
        return result;
    static const char *const commands[] = {"RETR", "STOR", nullptr, nullptr, "NLST", "LIST"};
    m_data->CommandSent();
    m_transferAborted = false;
    result = FtpCommand(action == ftpListMachine ? "MLSD" : commands[action - ftpDownload], Network(m_remoteFile));
    // A server may send its final reply before the last data has arrived: the transfer is over
    // when the data connection has closed as well.
    if (result == 0)
        result = WaitForDataEnd();
    if (result == 0 && m_transferAborted) {
        SetLastError(kInterrupted, QStringLiteral("Interrupted"));
        return kInterrupted;
    }
    // The server's 226 says it has sent everything; the transfer succeeded only when the local
    // file took it all as well.
    if (m_data->LocalError() != 0) {
        SetLastError(m_data->LocalError(), m_data->LocalErrorText());
        return m_data->LocalError();
    }
    // ... and only when the data connection delivered it whole.
    if (result == 0 && m_data->ReceiveError() != 0) {
        SetLastError(m_data->ReceiveError(), m_data->ReceiveErrorText());
        return m_data->ReceiveError();
    }
    return result;
}

int TcvbFTP::SetUpDataConnection()
{
    // What is left of an earlier transfer goes first, so that its end is not taken for the
    // end of this one.
    TearDownDataConnection();
    m_data->BeginTransfer();
    m_data->HoldForTls(m_protectData);
    if (!m_passive) {
        QByteArray argument;
        int result = m_data->Listen(0, Socket());
        if (result == 0)
            result = m_data->PortArgument(Socket(), &argument);
        if (result != 0) {
            SetLastError(result, DescribeError(result));
            return result;
        }
        return FtpCommand("PORT", argument);
    }
    return OpenPassiveData();
}

int TcvbFTP::OpenPassiveData()
{
    std::uint16_t port = 0;
    if (m_featuresAsked && m_features.epsv && !m_epsvRefused) {
        const int result = FtpCommand("EPSV");
        if (result == 0)
            port = ftp::parseEpsvReply(ReplyLine());
        else if (result != kFtpReplyRefused)
            return result;
        if (port == 0) {
            // Refused, or answered in a form that names no port: PASV from now on.
            m_epsvRefused = true;
            SetLastError(0, {});
        }
    }
    if (port == 0) {
        const int result = FtpCommand("PASV");
        if (result != 0)
            return result;
        const QByteArray line = ReplyLine();
        const ftp::PasvReply reply = ftp::parsePasvReply(line);
        if (!line.startsWith("227") || !reply.ok) {
            FireError(kFtpReplyRefused, QStringLiteral("Unexpected server reply."));
            return 0;
        }
        port = reply.port;
    }
    // The data connection goes to the server of the control connection: the address in the
    // reply may be a private one behind NAT, or one a hostile server chose.
    const int failed = WithoutRaising(*m_data, [&] {
        m_data->SetRemoteHost(RemoteHost());
        m_data->SetRemotePort(port);
        m_data->SetConnected(true);
    });
    if (failed != 0)
        FireError(failed, m_data->LastErrorText());
    return 0;
}

int TcvbFTP::WaitForDataEnd()
{
    return WaitUntil([this] { return m_data->TransferEnded() || m_transferAborted; });
}

void TcvbFTP::TearDownDataConnection()
{
    m_data->CloseListening();
    if (m_data->Socket() != kInvalidSocket)
        WithoutRaising(*m_data, [&] { m_data->SetConnected(false); });
}

int TcvbFTP::IdleHook()
{
    return m_data->Pump();
}

void TcvbFTP::FireConnected(int status, const QString &description)
{
    CIPPortMsg::FireConnected(status, description);
    if (status != 0)
        FireError(kFtpConnectionEvent, QStringLiteral("Failed to connect: ") + DescribeError(status));
    else
        Trace(2, QStringLiteral("Connected."));
}

void TcvbFTP::FireDisconnected(int status, const QString &description)
{
    CIPPortMsg::FireDisconnected(status, description);
    if (status != 0)
        FireError(kFtpConnectionEvent, QStringLiteral("Disconnected: ") + DescribeError(status));
    else
        Trace(2, QStringLiteral("Disconnected."));
}

} // namespace cvb
