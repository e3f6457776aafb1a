// TcvbSFTP: one SFTP session over SSH (libssh, non-blocking). It speaks the file protocol
// (version 3, the one OpenSSH serves) on the "sftp" subsystem channel and keeps the current
// folder on the client side. Its waits are the waits of the component that hosts it: they sleep
// on the socket, serve the thread's events, end at the host's idle limit and at its Interrupt().
// Local files are the host's business: downloads hand their bytes to a sink, uploads take them
// from a source. Every operation returns 0 or an error code with its text in ErrorText().
#pragma once

#include <QByteArray>
#include <QDateTime>
#include <QList>
#include <QString>

#include <cstdint>
#include <functional>
#include <map>
#include <memory>

class QSocketNotifier;
struct ssh_session_struct;
struct ssh_channel_struct;

namespace cvb {

class CIPPortMsg;

// The connection could not be made, or SSH failed on it (the text says how).
inline constexpr int kSshFailed = 340;
// The server's host key is not pinned for it in known-servers: nobody has said it is trusted.
inline constexpr int kSshHostKeyUnknown = 341;
// The server shows another host key than the one pinned for it.
inline constexpr int kSshHostKeyChanged = 342;
// The server accepted neither the password nor any of the user's keys.
inline constexpr int kSshAuthRefused = 343;

// A name of a folder listing, or what is known of one path.
struct SftpEntry
{
    enum class Type { Unknown, File, Folder, Link };
    QString name;
    Type type = Type::Unknown;
    qint64 size = -1;
    QDateTime modified; // UTC, to the second; invalid when not known
    QString longName;   // the server's "ls -l" line for it (listings only)
};

// The server's host key as a person compares it: its type and its SHA-256 fingerprint in the
// form OpenSSH prints ("SHA256:" and base64).
struct SshHostKey
{
    QString type;
    QString fingerprint;
    bool isEmpty() const { return fingerprint.isEmpty(); }
};

class TcvbSFTP
{
public:
    // Server refusals (no such file, permission denied, ...) come back with `refusedCode`, the
    // host's code for a refused command.
    TcvbSFTP(CIPPortMsg &host, int refusedCode);
    ~TcvbSFTP();
    TcvbSFTP(const TcvbSFTP &) = delete;
    TcvbSFTP &operator=(const TcvbSFTP &) = delete;

    QString host;
    int port = 22;
    QString user;
    QString password;           // empty: the keys of the SSH agent and of ~/.ssh
    QString trustedFingerprint; // the pinned host key, any spelling; empty when none

    // Direction 0 a request, 1 what the server said, 2 information (as the protocol traces).
    std::function<void(int direction, const QString &message)> trace;

    // Connects, checks the host key, authenticates and opens the file channel; the current
    // folder is the one the server starts the session in.
    int LogOn();
    // Closes the session (nothing is waited for when the connection is gone).
    void LogOff();
    bool Connected() const { return m_channel != nullptr; }
    SshHostKey HostKey() const { return m_hostKey; }

    QString Folder() const { return m_folder; }
    // Makes `folder` (absolute, relative, or "..") current when it is a folder of the server.
    int ChangeFolder(const QString &folder);
    // `path` relative to the current folder, or as it stands when absolute.
    QString Resolve(const QString &path) const;

    int List(const QString &folder, QList<SftpEntry> &entries);
    // What `path` is (a link is followed).
    int Stat(const QString &path, SftpEntry &entry);
    // Downloads from byte `start` on; `sink` takes each piece in order and returns 0 or an error
    // code (with `sinkError` its text), which ends the download. `progress` gets the running
    // count of bytes.
    using Sink = std::function<int(const char *data, qint64 length, QString *sinkError)>;
    int Download(const QString &path, qint64 start, const Sink &sink,
                 const std::function<void(qint64)> &progress);
    // Uploads what `source` gives (a piece into the buffer, its length, 0 at the end, < 0 for an
    // error with its text), replacing the remote file.
    using Source = std::function<qint64(char *buffer, qint64 capacity, QString *sourceError)>;
    int Upload(const QString &path, const Source &source, const std::function<void(qint64)> &progress);
    int MakeFolder(const QString &path);
    int RemoveFolder(const QString &path);
    int Remove(const QString &path);
    int Rename(const QString &from, const QString &to);

    int ErrorCode() const { return m_errorCode; }
    QString ErrorText() const { return m_errorText; }
    // The status the server answered the last refused request with (2 no such file, 3 permission
    // denied, 4 failure, 8 unsupported, ...); 0 when the last error was no refusal.
    int RefusalStatus() const { return m_refusalStatus; }

private:
    struct Reply
    {
        std::uint8_t type = 0;
        QByteArray body; // after the request id
    };

    int Fail(int code, const QString &text);
    // The server's refusal with its status: the host's refused code.
    int Refuse(std::uint32_t status, const QString &text);
    int SshFailure(const QString &what);
    // Waits, as a wait of the host, until `step` returns true or the session failed; `step`
    // is called on every pass.
    int Wait(const std::function<bool()> &step);
    void Watch(bool on);
    // Moves bytes: what is queued goes to the channel, what came is cut into replies. False
    // when the channel failed.
    bool Pump();
    std::uint32_t Send(std::uint8_t type, const QByteArray &payload);
    int Await(std::uint32_t id, Reply &reply);
    bool Answered(std::uint32_t id) const { return m_replies.count(id) != 0; }
    Reply Take(std::uint32_t id);
    // A STATUS reply: 0 for OK, else the refusal.
    int StatusOf(const Reply &reply, const QString &path);
    int Expect(const Reply &reply, std::uint8_t type, const QString &path);
    int Simple(std::uint8_t type, const QByteArray &payload, const QString &path);
    int OpenHandle(std::uint8_t type, const QByteArray &payload, const QString &path, QByteArray &handle);
    void CloseHandle(const QByteArray &handle);
    // Reads and drops the replies still owed to the requests `owed`, closes the transfer's
    // handle and ends it with `result` and the error it had (the session's when it was lost).
    int EndTransfer(const QList<std::uint32_t> &owed, const QByteArray &handle, int result);
    int CheckHostKey();
    int Authenticate();
    int RealPath(const QString &path, QString &real);
    void Drop();

    CIPPortMsg &m_host;
    int m_refusedCode;
    ssh_session_struct *m_session = nullptr;
    ssh_channel_struct *m_channel = nullptr;
    std::unique_ptr<QSocketNotifier> m_readWatch;
    std::unique_ptr<QSocketNotifier> m_writeWatch;
    bool m_failed = false;
    QByteArray m_out;
    QByteArray m_in;
    std::map<std::uint32_t, Reply> m_replies;
    std::uint32_t m_nextId = 1;
    QString m_folder;
    SshHostKey m_hostKey;
    int m_errorCode = 0;
    QString m_errorText;
    int m_refusalStatus = 0;
};

} // namespace cvb
