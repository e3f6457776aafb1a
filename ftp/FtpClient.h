// TcvbFTP: the FTP client component. The caller sets properties and assigns Action; the
// assignment runs the whole exchange with the server, data transfer included, and returns when
// the final reply has come. Failures raise EcvbFTP; progress, trace lines, listing lines and
// received data come back through the events while the action runs.
#pragma once

#include "ftp/FtpCodes.h"
#include "ftp/FtpDataInterface.h"
#include "ftp/ListingParser.h"
#include "sftp/SftpSession.h"
#include "socket/IPPortMsg.h"

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <functional>
#include <memory>

namespace cvb {

enum TcvbFTPActions {
    ftpIdle = 0,
    ftpAbort = 1,
    ftpLogon = 2,
    ftpLogoff = 3,
    ftpDownload = 4,
    ftpUpload = 5,
    ftpDeleteFile = 6,
    ftpRenameFile = 7,
    ftpListDirectory = 8,
    ftpListDirectoryLong = 9,
    ftpMakeDirectory = 10,
    ftpRemoveDirectory = 11,
    // Used inside the component only.
    ftpTypeAscii = 12,
    ftpTypeBinary = 13,
    ftpChangeDirectory = 14,
    ftpRawCommand = 15,
    ftpListMachine = 16, // MLSD
};

enum TFTPTransferModes { tmDefault = 0, tmASCII = 1, tmBinary = 2 };

// Plain FTP; TLS after AUTH TLS on the control connection (required, never given up for plain);
// TLS from the first byte.
enum TFTPSecurity { ftpsNone = 0, ftpsExplicit = 1, ftpsImplicit = 2 };

class EcvbFTP : public EcvbComponent
{
public:
    using EcvbComponent::EcvbComponent;
};

using TDirListEvent = std::function<void(QObject *Sender, const QString &DirEntry)>;
using TTransferDataEvent =
    std::function<void(QObject *Sender, std::int64_t BytesTransferred, const QByteArray &Text)>;

class TcvbFTP : public CIPPortMsg
{
    Q_OBJECT
    friend class CDataInterface;
    friend class CListeningSocket;

public:
    explicit TcvbFTP(QObject *parent = nullptr);
    ~TcvbFTP() override;

    // Reading gives the action in progress (ftpIdle when none); setting runs an action.
    int Action() const { return m_currentAction; }
    void SetAction(int action) { RunAction(action); }

    // While connected, reading asks the server (PWD); setting changes directory (CWD, or CDUP
    // for "..").
    QString RemotePath();
    void SetRemotePath(const QString &path);

    QString User() const { return m_user; }
    void SetUser(const QString &user)
    {
        if (user != m_user)
            m_logOnBar = {};
        m_user = user;
    }
    QString Password() const { return m_password; }
    void SetPassword(const QString &password)
    {
        if (password != m_password)
            m_logOnBar = {};
        m_password = password;
    }
    QString LocalFile() const { return m_localFile; }
    void SetLocalFile(const QString &file) { m_localFile = file; }
    QString RemoteFile() const { return m_remoteFile; }
    void SetRemoteFile(const QString &file) { m_remoteFile = file; }
    QString AltFile() const { return m_altFile; }
    void SetAltFile(const QString &file) { m_altFile = file; }
    TFTPTransferModes TransferMode() const { return m_transferMode; }
    void SetTransferMode(int mode);
    bool Passive() const { return m_passive; }
    void SetPassive(bool passive) { m_passive = passive; }
    // Where the next download or upload begins (REST); wide enough for files beyond 2 GiB, which a
    // resumed download may need.
    std::int64_t StartByte() const { return m_startByte; }
    void SetStartByte(std::int64_t start) { m_startByte = start & 0x7FFFFFFFFFFFFFFF; }
    // The server's control port, 21 unless a server address names another.
    std::uint16_t ControlPort() const { return RemotePort(); }
    void SetControlPort(std::uint16_t port)
    {
        SetRemotePort(port);
        m_logOnBar = {};
    }
    TFTPSecurity Security() const { return m_security; }
    void SetSecurity(TFTPSecurity security)
    {
        m_security = security;
        m_logOnBar = {};
    }
    // The name the server's certificate must carry (the host as the user wrote it); the
    // server's address when empty.
    QString ServerName() { return m_serverName.isEmpty() ? RemoteHost() : m_serverName; }
    void SetServerName(const QString &name)
    {
        m_serverName = name;
        m_logOnBar = {};
    }
    // A SHA-256 fingerprint that is trusted for this server although the system's store does
    // not vouch for its certificate (any common spelling).
    QString TrustedFingerprint() const { return m_trustedFingerprint; }
    void SetTrustedFingerprint(const QString &fingerprint)
    {
        m_trustedFingerprint = fingerprint;
        m_logOnBar = {};
    }
    // True after a log-on failed to secure its connection (TLS refused, failed, timed out or
    // untrusted) or the server refused the account (530 to USER or PASS): until the next
    // ftpLogon, or a change of server, trust, user or password, an action that would log on by
    // itself fails at once with that log-on's error instead of connecting again. A refused
    // password is never sent again by itself: a host that counts failed log-ons would lock the
    // account.
    bool LogOnBarred() const { return m_logOnBar.code != 0; }
    // The certificate the server showed at the last TLS log-on (empty without one).
    TlsCertificateInfo PeerCertificate() const { return m_peerCertificate; }
    // The text that action 15 sends as it stands.
    void SetRawCommand(const QString &command) { m_rawCommand = command; }

    // SFTP instead of FTP, from the next log-on on (an "sftp://" server address): every action
    // goes to an SFTP session on the same host and port, with the same account. The server is
    // then shown as one that lists with MLSD and answers MLST (size, type and time to the second),
    // and the transfer mode has no meaning: files are copied as they are.
    bool Sftp() const { return m_sftp != nullptr; }
    void SetSftp(bool sftp);
    // True while logged on, over FTP or SFTP.
    bool Connected() const { return m_sftp ? m_sftp->Connected() : CcvbIPPort::Connected(); }
    // The host key the SFTP server showed at the last log-on (empty without one).
    SshHostKey HostKey() const { return m_sftp ? m_sftp->HostKey() : SshHostKey(); }

    void SetWinsockLoaded(bool load) override;

    // Sends a command and reads its whole reply: 0, or an error code with LastErrorText set.
    int FtpCommand(const QByteArray &command, const QByteArray &argument = {});
    // Every line of the last whole reply, the last one included.
    QList<QByteArray> ReplyLines() const { return m_replyLines; }

    // What the server offers, from its answer to FEAT: asked once a log-on, the first time this is
    // read while connected (a caller that never reads it never sends FEAT). A server that knows
    // no FEAT offers nothing. While offered, data connections are asked for with EPSV rather than
    // PASV.
    const ftp::ServerFeatures &Features();

    CDataInterface *DataInterface() const { return m_data.get(); }

    TPITrailEvent OnFirePITrail;
    TDirListEvent OnDirList;
    TTransferDataEvent OnTransfer;
    // The bytes of a download to a file, as written to it, for whoever hashes the file as it
    // arrives (OnTransfer tells only the count then).
    std::function<void(const QByteArray &Bytes)> OnFileBytes;
    TNotifyEvent OnStartTransfer;
    TNotifyEvent OnEndTransfer;

    std::exception_ptr CreateError(int code, const QString &text) override;

protected:
    void FireConnected(int status, const QString &description) override;
    void FireDisconnected(int status, const QString &description) override;
    int IdleHook() override;
    void ReplyLineHook(const QByteArray &line) override;

private:
    void RunAction(int action);
    int Perform(int action);
    int Logon();
    int LogonSteps();
    int Logoff();
    int ChangeFolder(const QString &folder);
    // Walks the folder changes of the lost connection again; a refusal fails the action.
    int ReturnToFolder(const QStringList &trail);
    void DropControlConnection();
    int Abort();
    int Transfer(int action);
    int SetUpDataConnection();
    // Asks for a passive data connection (EPSV or PASV) and opens it: 0, or an error code.
    int OpenPassiveData();
    void ForgetSession();
    int WaitForDataEnd();
    // TLS on the control connection, with the trust decision: 0 or an error code.
    int SecureControl();
    CTlsContext &TlsContext();
    void TearDownDataConnection();
    void Trace(int direction, const QString &message);
    static QByteArray Network(const QString &text) { return text.toUtf8(); }
    // The actions over SFTP, and the helpers that turn its results into this component's.
    int PerformSftp(int action);
    int SftpResult(int result);
    int SftpTransfer(int action);
    int SftpList(int action);
    int SftpFileFact(const QString &command, const QString &path);
    int SftpStatLines(const QString &path);

    std::unique_ptr<CDataInterface> m_data;
    std::unique_ptr<TcvbSFTP> m_sftp;
    int m_currentAction = ftpIdle;
    int m_abortedAction = ftpIdle; // the action that a running ftpAbort ends
    bool m_transferAborted = false;
    QString m_remotePath;
    // The folder changes since the last log-on, in order ("..", a name, or an absolute path that
    // starts the list afresh). A log-on that an action makes by itself after the connection was
    // lost walks them again, so that bare names never name the log-on folder's files instead.
    QStringList m_folderTrail;
    QString m_user;
    QString m_password;
    QString m_localFile;
    QString m_remoteFile;
    QString m_altFile;
    QString m_rawCommand;
    TFTPTransferModes m_transferMode = tmDefault;
    // The type the connection is in, as the last TYPE set it; tmDefault when not known (a new
    // log-on). TYPE is sent only to change it.
    TFTPTransferModes m_connectionType = tmDefault;
    QList<QByteArray> m_replyLines;
    ftp::ServerFeatures m_features;
    bool m_featuresAsked = false;
    bool m_epsvRefused = false; // offered, yet refused once: PASV from then on (this log-on)
    bool m_passive = false;
    std::int64_t m_startByte = 0;
    TFTPSecurity m_security = ftpsNone;
    QString m_serverName;
    QString m_trustedFingerprint;
    TlsCertificateInfo m_peerCertificate;
    std::unique_ptr<CTlsContext> m_tlsContext;
    bool m_protectData = false; // PROT P is in force: data connections carry TLS
    struct LogOnFailure
    {
        int code = 0;
        QString text;
        bool accountRefused = false; // 530, not TLS
    } m_logOnBar; // see LogOnBarred
    bool m_accountRefused = false; // the last USER or PASS was answered with 530
};

} // namespace cvb
