#include "sftp/SftpSession.h"

#include "socket/IPPortMsg.h"
#include "socket/Tls.h"

#include <QDir>
#include <QSocketNotifier>
#include <QtEndian>

#include <libssh/libssh.h>

namespace cvb {

namespace {

// The packets of the file protocol, version 3.
enum : std::uint8_t {
    FXP_INIT = 1,
    FXP_VERSION = 2,
    FXP_OPEN = 3,
    FXP_CLOSE = 4,
    FXP_READ = 5,
    FXP_WRITE = 6,
    FXP_OPENDIR = 11,
    FXP_READDIR = 12,
    FXP_REMOVE = 13,
    FXP_MKDIR = 14,
    FXP_RMDIR = 15,
    FXP_REALPATH = 16,
    FXP_STAT = 17,
    FXP_RENAME = 18,
    FXP_STATUS = 101,
    FXP_HANDLE = 102,
    FXP_DATA = 103,
    FXP_NAME = 104,
    FXP_ATTRS = 105,
};
enum : std::uint32_t {
    ATTR_SIZE = 1,
    ATTR_UIDGID = 2,
    ATTR_PERMISSIONS = 4,
    ATTR_ACMODTIME = 8,
    ATTR_EXTENDED = 0x80000000
};
enum : std::uint32_t { FXF_READ = 1, FXF_WRITE = 2, FXF_CREAT = 8, FXF_TRUNC = 0x10 };
enum : std::uint32_t { FX_OK = 0, FX_EOF = 1, FX_FAILURE = 4 };

// The server takes requests of up to 256 KiB; pieces of 32 KiB, many at a time, keep a slow
// link full without holding much in memory.
constexpr std::uint32_t kPiece = 32 * 1024;
constexpr int kPiecesInFlight = 32;
// A reply larger than this is no reply of this protocol.
constexpr std::uint32_t kMaxPacket = 1024 * 1024;

void putU32(QByteArray &out, std::uint32_t value)
{
    char bytes[4];
    qToBigEndian(value, bytes);
    out.append(bytes, 4);
}

void putU64(QByteArray &out, std::uint64_t value)
{
    char bytes[8];
    qToBigEndian(value, bytes);
    out.append(bytes, 8);
}

void putString(QByteArray &out, const QByteArray &text)
{
    putU32(out, static_cast<std::uint32_t>(text.size()));
    out.append(text);
}

QByteArray pathBytes(const QString &path)
{
    return path.toUtf8();
}

// Reads the fields of a reply in order; a reply cut short leaves `ok` false.
struct Reader
{
    const QByteArray &data;
    qsizetype at = 0;
    bool ok = true;

    bool has(qsizetype n)
    {
        if (data.size() - at < n)
            ok = false;
        return ok;
    }
    template <typename T> T number()
    {
        if (!has(sizeof(T)))
            return 0;
        const auto value = qFromBigEndian<T>(data.constData() + at);
        at += sizeof(T);
        return value;
    }
    std::uint32_t u32() { return number<std::uint32_t>(); }
    std::uint64_t u64() { return number<std::uint64_t>(); }
    QByteArray string()
    {
        const std::uint32_t length = u32();
        if (!has(length))
            return {};
        const QByteArray value = data.mid(at, length);
        at += length;
        return value;
    }
    // The attributes of a name: size, type (from the permission bits) and modification time.
    void attributes(SftpEntry &entry)
    {
        const std::uint32_t flags = u32();
        if (flags & ATTR_SIZE)
            entry.size = static_cast<qint64>(u64());
        if (flags & ATTR_UIDGID)
            u64();
        if (flags & ATTR_PERMISSIONS) {
            const std::uint32_t format = u32() & 0170000;
            entry.type = format == 0040000   ? SftpEntry::Type::Folder
                         : format == 0100000 ? SftpEntry::Type::File
                         : format == 0120000 ? SftpEntry::Type::Link
                                             : SftpEntry::Type::Unknown;
        }
        if (flags & ATTR_ACMODTIME) {
            u32(); // access time
            entry.modified = QDateTime::fromSecsSinceEpoch(u32(), Qt::UTC);
        }
        if (flags & ATTR_EXTENDED) {
            for (std::uint32_t n = u32(); ok && n > 0; --n) {
                string();
                string();
            }
        }
    }
};

QString lastSshError(ssh_session session)
{
    return QString::fromUtf8(ssh_get_error(session));
}

} // namespace

TcvbSFTP::TcvbSFTP(CIPPortMsg &host, int refusedCode) : m_host(host), m_refusedCode(refusedCode)
{
}

TcvbSFTP::~TcvbSFTP()
{
    Drop();
}

int TcvbSFTP::Fail(int code, const QString &text)
{
    m_refusalStatus = 0;
    m_errorCode = code;
    m_errorText = text;
    return code;
}

int TcvbSFTP::Refuse(std::uint32_t status, const QString &text)
{
    Fail(m_refusedCode, text);
    m_refusalStatus = static_cast<int>(status);
    return m_refusedCode;
}

int TcvbSFTP::SshFailure(const QString &what)
{
    const QString text = what + QStringLiteral(": ") + lastSshError(m_session);
    Drop();
    return Fail(kSshFailed, text);
}

void TcvbSFTP::Watch(bool on)
{
    if (!m_session)
        return;
    const socket_t fd = ssh_get_fd(m_session);
    if (on && fd != SSH_INVALID_SOCKET && !m_readWatch) {
        m_readWatch = std::make_unique<QSocketNotifier>(fd, QSocketNotifier::Read);
        m_writeWatch = std::make_unique<QSocketNotifier>(fd, QSocketNotifier::Write);
        for (QSocketNotifier *watch : {m_readWatch.get(), m_writeWatch.get()})
            QObject::connect(watch, &QSocketNotifier::activated, watch,
                             [this] { m_host.SocketNotify()->NoteActivity(); });
    }
    // Readiness outside a wait is left for the next one: the notifier is level-triggered and
    // would wake the thread for nothing until then.
    if (m_readWatch)
        m_readWatch->setEnabled(on);
    if (m_writeWatch)
        m_writeWatch->setEnabled(on && (ssh_get_poll_flags(m_session) & SSH_WRITE_PENDING));
}

int TcvbSFTP::Wait(const std::function<bool()> &step)
{
    const int result = m_host.WaitUntil([&] {
        const bool done = m_failed || step();
        Watch(!done);
        return done;
    });
    Watch(false);
    if (result != 0) {
        // Requests are still owed their replies and libssh is in the middle of an exchange:
        // the session cannot be used again. The next action logs on afresh.
        const QString text = m_host.LastErrorText();
        Drop();
        return Fail(result, text);
    }
    if (m_failed) {
        Drop();
        return m_errorCode;
    }
    return 0;
}

std::uint32_t TcvbSFTP::Send(std::uint8_t type, const QByteArray &payload)
{
    const std::uint32_t id = m_nextId++;
    putU32(m_out, static_cast<std::uint32_t>(payload.size() + 5));
    m_out.append(static_cast<char>(type));
    putU32(m_out, id);
    m_out.append(payload);
    return id;
}

bool TcvbSFTP::Pump()
{
    if (m_failed || !m_channel)
        return false;
    if (!m_out.isEmpty()) {
        const int written =
            ssh_channel_write(m_channel, m_out.constData(), static_cast<std::uint32_t>(m_out.size()));
        if (written < 0) {
            m_failed = true;
            Fail(kSshFailed, QStringLiteral("The SSH connection failed: ") + lastSshError(m_session));
            return false;
        }
        m_out.remove(0, written);
        m_host.SocketNotify()->NoteActivity();
    }
    if (ssh_get_poll_flags(m_session) & SSH_WRITE_PENDING)
        ssh_blocking_flush(m_session, 0);
    char buffer[64 * 1024];
    for (;;) {
        const int got = ssh_channel_read_nonblocking(m_channel, buffer, sizeof buffer, 0);
        if (got > 0) {
            m_in.append(buffer, got);
            continue;
        }
        if (got < 0 || ssh_channel_is_eof(m_channel) || ssh_channel_is_closed(m_channel)) {
            m_failed = true;
            Fail(kSshFailed,
                 QStringLiteral("The server closed the SFTP connection. ") + lastSshError(m_session));
            return false;
        }
        break;
    }
    // Whole packets: length, type, request id, the rest.
    while (m_in.size() >= 4) {
        const auto length = qFromBigEndian<std::uint32_t>(m_in.constData());
        if (length < 5 || length > kMaxPacket) {
            m_failed = true;
            Fail(kSshFailed, QStringLiteral("The server sent a malformed SFTP packet."));
            return false;
        }
        if (static_cast<std::uint64_t>(m_in.size()) < length + 4ULL)
            break;
        Reply reply;
        reply.type = static_cast<std::uint8_t>(m_in.at(4));
        const auto id = qFromBigEndian<std::uint32_t>(m_in.constData() + 5);
        // VERSION carries the version where the others carry their request id.
        reply.body = reply.type == FXP_VERSION ? m_in.mid(5, length - 1) : m_in.mid(9, length - 5);
        m_replies[reply.type == FXP_VERSION ? 0 : id] = reply;
        m_in.remove(0, length + 4);
    }
    return true;
}

int TcvbSFTP::Await(std::uint32_t id, Reply &reply)
{
    const int result = Wait([&] { return !Pump() || Answered(id); });
    if (result != 0)
        return result;
    reply = Take(id);
    return 0;
}

TcvbSFTP::Reply TcvbSFTP::Take(std::uint32_t id)
{
    const auto it = m_replies.find(id);
    Reply reply = it->second;
    m_replies.erase(it);
    return reply;
}

int TcvbSFTP::StatusOf(const Reply &reply, const QString &path)
{
    Reader in{reply.body};
    const std::uint32_t code = in.u32();
    if (code == FX_OK)
        return 0;
    const QString message = QString::fromUtf8(in.string());
    if (trace)
        trace(1, QStringLiteral("%1 (%2)").arg(message).arg(code));
    return Refuse(code, path.isEmpty() ? message : message + QStringLiteral(": ") + path);
}

int TcvbSFTP::Expect(const Reply &reply, std::uint8_t type, const QString &path)
{
    if (reply.type == type)
        return 0;
    if (reply.type == FXP_STATUS) {
        const int status = StatusOf(reply, path);
        if (status != 0)
            return status;
    }
    return Fail(kSshFailed,
                QStringLiteral("The server gave an SFTP reply of an unexpected kind (%1).").arg(reply.type));
}

int TcvbSFTP::Simple(std::uint8_t type, const QByteArray &payload, const QString &path)
{
    Reply reply;
    const int result = Await(Send(type, payload), reply);
    if (result != 0)
        return result;
    return Expect(reply, FXP_STATUS, path) != 0 ? m_errorCode : StatusOf(reply, path);
}

int TcvbSFTP::OpenHandle(std::uint8_t type, const QByteArray &payload, const QString &path,
                         QByteArray &handle)
{
    Reply reply;
    int result = Await(Send(type, payload), reply);
    if (result == 0)
        result = Expect(reply, FXP_HANDLE, path);
    if (result == 0)
        handle = Reader{reply.body}.string();
    return result;
}

void TcvbSFTP::CloseHandle(const QByteArray &handle)
{
    QByteArray payload;
    putString(payload, handle);
    Reply reply;
    // A handle that cannot be closed is the server's loss only; a failed wait has been
    // reported by the action that ends here.
    if (Connected())
        Await(Send(FXP_CLOSE, payload), reply);
}

QString TcvbSFTP::Resolve(const QString &path) const
{
    if (path.startsWith(QLatin1Char('/')))
        return QDir::cleanPath(path);
    return QDir::cleanPath(m_folder + QLatin1Char('/') + path);
}

int TcvbSFTP::RealPath(const QString &path, QString &real)
{
    QByteArray payload;
    putString(payload, pathBytes(path));
    Reply reply;
    int result = Await(Send(FXP_REALPATH, payload), reply);
    if (result == 0)
        result = Expect(reply, FXP_NAME, path);
    if (result != 0)
        return result;
    Reader in{reply.body};
    in.u32(); // count, one
    real = QString::fromUtf8(in.string());
    return in.ok ? 0 : Fail(kSshFailed, QStringLiteral("The server's answer to REALPATH was cut short."));
}

int TcvbSFTP::LogOn()
{
    Drop();
    m_failed = false;
    m_errorCode = 0;
    m_errorText.clear();
    m_session = ssh_new();
    if (!m_session)
        return Fail(kSshFailed, QStringLiteral("Could not start an SSH session."));
    const QByteArray hostName = host.toUtf8();
    const QByteArray userName = user.toUtf8();
    // The keys are looked for in the ~/.ssh of $HOME; the OpenSSH configuration and
    // known_hosts files are not read: trust lives in known-servers.
    const QByteArray sshDir = QFile::encodeName(QDir::homePath() + QStringLiteral("/.ssh"));
    unsigned int sshPort = static_cast<unsigned int>(port);
    const int no = 0;
    ssh_options_set(m_session, SSH_OPTIONS_HOST, hostName.constData());
    ssh_options_set(m_session, SSH_OPTIONS_PORT, &sshPort);
    if (!userName.isEmpty())
        ssh_options_set(m_session, SSH_OPTIONS_USER, userName.constData());
    ssh_options_set(m_session, SSH_OPTIONS_SSH_DIR, sshDir.constData());
    ssh_options_set(m_session, SSH_OPTIONS_PROCESS_CONFIG, &no);
    ssh_set_blocking(m_session, 0);
    if (trace)
        trace(2, QStringLiteral("Connecting to SSH server."));
    int step = SSH_AGAIN;
    int result = Wait([&] { return (step = ssh_connect(m_session)) != SSH_AGAIN; });
    if (result != 0)
        return result;
    if (step != SSH_OK)
        return SshFailure(QStringLiteral("Could not connect to %1:%2").arg(host).arg(port));
    if (trace)
        trace(2, QStringLiteral("Connected. Key exchange %1, cipher %2, MAC %3.")
                     .arg(QString::fromLatin1(ssh_get_kex_algo(m_session)),
                          QString::fromLatin1(ssh_get_cipher_out(m_session)),
                          QString::fromLatin1(ssh_get_hmac_out(m_session))));
    result = CheckHostKey();
    if (result == 0)
        result = Authenticate();
    if (result != 0)
        return result;
    m_channel = ssh_channel_new(m_session);
    if (!m_channel)
        return SshFailure(QStringLiteral("Could not open a channel"));
    result = Wait([&] { return (step = ssh_channel_open_session(m_channel)) != SSH_AGAIN; });
    if (result == 0 && step != SSH_OK)
        return SshFailure(QStringLiteral("The server refused a channel"));
    if (result == 0)
        result = Wait([&] { return (step = ssh_channel_request_subsystem(m_channel, "sftp")) != SSH_AGAIN; });
    if (result == 0 && step != SSH_OK)
        return SshFailure(QStringLiteral("The server offers no SFTP"));
    if (result != 0)
        return result;
    QByteArray version;
    putU32(version, 3);
    m_out.clear();
    m_in.clear();
    m_replies.clear();
    // INIT carries the version where requests carry their id.
    putU32(m_out, 5);
    m_out.append(static_cast<char>(FXP_INIT));
    m_out.append(version);
    result = Wait([&] { return !Pump() || Answered(0); });
    if (result != 0)
        return result;
    if (Take(0).type != FXP_VERSION)
        return Fail(kSshFailed, QStringLiteral("The server did not start SFTP."));
    result = RealPath(QStringLiteral("."), m_folder);
    if (result == 0 && trace)
        trace(2,
              QStringLiteral("SFTP session started in %1. The transfer mode has no meaning over SFTP: files "
                             "are copied as they are.")
                  .arg(m_folder));
    return result;
}

int TcvbSFTP::CheckHostKey()
{
    ssh_key key = nullptr;
    if (ssh_get_server_publickey(m_session, &key) != SSH_OK)
        return SshFailure(QStringLiteral("The server showed no host key"));
    unsigned char *hash = nullptr;
    size_t length = 0;
    const int hashed = ssh_get_publickey_hash(key, SSH_PUBLICKEY_HASH_SHA256, &hash, &length);
    m_hostKey.type = QString::fromLatin1(ssh_key_type_to_char(ssh_key_type(key)));
    ssh_key_free(key);
    if (hashed != SSH_OK)
        return SshFailure(QStringLiteral("The host key could not be read"));
    char *fingerprint = ssh_get_fingerprint_hash(SSH_PUBLICKEY_HASH_SHA256, hash, length);
    m_hostKey.fingerprint = QString::fromLatin1(fingerprint);
    ssh_string_free_char(fingerprint);
    ssh_clean_pubkey_hash(&hash);
    const QString server = host + QLatin1Char(':') + QString::number(port);
    const QString pinned = normalizeFingerprint(trustedFingerprint);
    if (!pinned.isEmpty() && pinned == normalizeFingerprint(m_hostKey.fingerprint)) {
        if (trace)
            trace(2, QStringLiteral("Host key %1 %2 is the one pinned for %3.")
                         .arg(m_hostKey.type, m_hostKey.fingerprint, server));
        return 0;
    }
    const SshHostKey shown = m_hostKey;
    Drop();
    m_hostKey = shown;
    if (pinned.isEmpty())
        return Fail(
            kSshHostKeyUnknown,
            QStringLiteral("The host key of %1 is not known (%2 %3); trust it in the connection test.")
                .arg(server, shown.type, shown.fingerprint));
    return Fail(
        kSshHostKeyChanged,
        QStringLiteral("The host key of %1 has CHANGED: %2 is pinned, the server shows %3. Someone may be "
                       "listening in; connect only when the host's owner confirms the new key.")
            .arg(server, shortFingerprint(trustedFingerprint), shown.fingerprint));
}

int TcvbSFTP::Authenticate()
{
    int step = SSH_AUTH_AGAIN;
    int result = Wait([&] { return (step = ssh_userauth_none(m_session, nullptr)) != SSH_AUTH_AGAIN; });
    if (result != 0 || step == SSH_AUTH_SUCCESS)
        return result;
    if (step == SSH_AUTH_ERROR)
        return SshFailure(QStringLiteral("Authentication failed"));
    const int methods = ssh_userauth_list(m_session, nullptr);
    if (!password.isEmpty() && (methods & SSH_AUTH_METHOD_PASSWORD)) {
        if (trace)
            trace(0, QStringLiteral("Authenticating as %1 with a password (********).").arg(user));
        const QByteArray secret = password.toUtf8();
        result = Wait([&] {
            return (step = ssh_userauth_password(m_session, nullptr, secret.constData())) != SSH_AUTH_AGAIN;
        });
    } else if (!password.isEmpty() && (methods & SSH_AUTH_METHOD_INTERACTIVE)) {
        // A server that asks through keyboard-interactive: the password answers its one
        // question.
        if (trace)
            trace(0, QStringLiteral("Authenticating as %1 with a password (********), keyboard-interactive.")
                         .arg(user));
        const QByteArray secret = password.toUtf8();
        result = Wait([&] {
            step = ssh_userauth_kbdint(m_session, nullptr, nullptr);
            if (step == SSH_AUTH_INFO) {
                for (int i = 0; i < ssh_userauth_kbdint_getnprompts(m_session); ++i)
                    ssh_userauth_kbdint_setanswer(m_session, static_cast<unsigned>(i), secret.constData());
                step = SSH_AUTH_AGAIN;
            }
            return step != SSH_AUTH_AGAIN;
        });
    } else if (password.isEmpty() && (methods & SSH_AUTH_METHOD_PUBLICKEY)) {
        if (trace)
            trace(0, QStringLiteral("Authenticating as %1 with the keys of the SSH agent and of ~/.ssh.")
                         .arg(user));
        result = Wait([&] {
            return (step = ssh_userauth_publickey_auto(m_session, nullptr, nullptr)) != SSH_AUTH_AGAIN;
        });
    } else {
        Drop();
        return Fail(kSshAuthRefused,
                    password.isEmpty()
                        ? QStringLiteral("The server takes no public key of %1; enter a password.").arg(user)
                        : QStringLiteral("The server takes no password of %1.").arg(user));
    }
    if (result != 0)
        return result;
    if (step == SSH_AUTH_SUCCESS) {
        if (trace)
            trace(1, QStringLiteral("Authenticated."));
        return 0;
    }
    if (step == SSH_AUTH_ERROR)
        return SshFailure(QStringLiteral("Authentication failed"));
    Drop();
    return Fail(kSshAuthRefused, password.isEmpty()
                                     ? QStringLiteral("The server refused every key of %1.").arg(user)
                                     : QStringLiteral("The server refused the password of %1.").arg(user));
}

void TcvbSFTP::LogOff()
{
    if (Connected() && trace)
        trace(2, QStringLiteral("Closing the SFTP session."));
    Drop();
}

void TcvbSFTP::Drop()
{
    m_readWatch.reset();
    m_writeWatch.reset();
    if (m_channel) {
        ssh_channel_free(m_channel);
        m_channel = nullptr;
    }
    if (m_session) {
        // Sends the farewell if it can; a server that takes nothing more holds it up for a
        // second at most.
        const long second = 1;
        ssh_options_set(m_session, SSH_OPTIONS_TIMEOUT, &second);
        ssh_disconnect(m_session);
        ssh_free(m_session);
        m_session = nullptr;
    }
    m_out.clear();
    m_in.clear();
    m_replies.clear();
}

int TcvbSFTP::ChangeFolder(const QString &folder)
{
    const QString wanted = Resolve(folder);
    SftpEntry entry;
    int result = Stat(wanted, entry);
    if (result != 0)
        return result;
    if (entry.type != SftpEntry::Type::Folder)
        return Refuse(FX_FAILURE, QStringLiteral("Not a folder: ") + wanted);
    QString real;
    result = RealPath(wanted, real);
    if (result == 0)
        m_folder = real;
    return result;
}

int TcvbSFTP::Stat(const QString &path, SftpEntry &entry)
{
    QByteArray payload;
    const QString full = Resolve(path);
    putString(payload, pathBytes(full));
    Reply reply;
    int result = Await(Send(FXP_STAT, payload), reply);
    if (result == 0)
        result = Expect(reply, FXP_ATTRS, full);
    if (result != 0)
        return result;
    entry = {};
    entry.name = full.section(QLatin1Char('/'), -1);
    Reader in{reply.body};
    in.attributes(entry);
    return 0;
}

int TcvbSFTP::List(const QString &folder, QList<SftpEntry> &entries)
{
    const QString full = Resolve(folder);
    QByteArray payload;
    putString(payload, pathBytes(full));
    QByteArray handle;
    int result = OpenHandle(FXP_OPENDIR, payload, full, handle);
    if (result != 0)
        return result;
    QByteArray request;
    putString(request, handle);
    for (;;) {
        Reply reply;
        result = Await(Send(FXP_READDIR, request), reply);
        if (result != 0)
            return result;
        if (reply.type == FXP_STATUS && Reader{reply.body}.u32() == FX_EOF)
            break;
        if (Expect(reply, FXP_NAME, full) != 0) {
            CloseHandle(handle);
            return m_errorCode;
        }
        Reader in{reply.body};
        for (std::uint32_t n = in.u32(); in.ok && n > 0; --n) {
            SftpEntry entry;
            entry.name = QString::fromUtf8(in.string());
            entry.longName = QString::fromUtf8(in.string());
            in.attributes(entry);
            if (in.ok && entry.name != QLatin1String(".") && entry.name != QLatin1String(".."))
                entries << entry;
        }
        if (!in.ok) {
            CloseHandle(handle);
            return Fail(kSshFailed, QStringLiteral("The server's listing of %1 was cut short.").arg(full));
        }
    }
    CloseHandle(handle);
    // A link is listed as what it points to, as a server listing for FTP shows it.
    for (SftpEntry &entry : entries) {
        if (entry.type != SftpEntry::Type::Link)
            continue;
        SftpEntry target;
        if (Stat(full + QLatin1Char('/') + entry.name, target) == 0) {
            entry.type = target.type;
            entry.size = target.size;
            entry.modified = target.modified;
        } else if (!Connected()) {
            return m_errorCode;
        }
        m_errorCode = 0;
    }
    return 0;
}

int TcvbSFTP::EndTransfer(const QList<std::uint32_t> &owed, const QByteArray &handle, int result)
{
    const int code = m_errorCode;
    const QString text = m_errorText;
    const int status = m_refusalStatus;
    for (const std::uint32_t id : owed) {
        Reply ignored;
        if (Await(id, ignored) != 0)
            return m_errorCode;
    }
    CloseHandle(handle);
    if (result != 0) {
        m_errorCode = code;
        m_errorText = text;
        m_refusalStatus = status;
        return result;
    }
    return Connected() ? 0 : m_errorCode;
}

int TcvbSFTP::Download(const QString &path, qint64 start, const Sink &sink,
                       const std::function<void(qint64)> &progress)
{
    const QString full = Resolve(path);
    QByteArray payload;
    putString(payload, pathBytes(full));
    putU32(payload, FXF_READ);
    putU32(payload, 0); // no attributes
    QByteArray handle;
    int result = OpenHandle(FXP_OPEN, payload, full, handle);
    if (result != 0)
        return result;
    // Requests for the pieces ahead go out before their replies come back; replies are taken
    // in the order of the file. A short piece before the end (which servers may send) asks
    // for its rest, and the pieces already asked for behind it are asked for again.
    struct Request
    {
        std::uint32_t id;
        std::uint64_t offset;
        std::uint32_t length;
    };
    QList<Request> inFlight;
    QList<std::uint32_t> dropped; // requests whose replies are read and thrown away
    std::uint64_t nextOffset = static_cast<std::uint64_t>(start);
    qint64 received = 0;
    bool atEnd = false;
    const auto ask = [&](std::uint64_t offset, std::uint32_t length) {
        QByteArray read;
        putString(read, handle);
        putU64(read, offset);
        putU32(read, length);
        inFlight.append({Send(FXP_READ, read), offset, length});
    };
    while (result == 0) {
        while (!atEnd && inFlight.size() < kPiecesInFlight) {
            ask(nextOffset, kPiece);
            nextOffset += kPiece;
        }
        if (inFlight.isEmpty())
            break;
        const Request first = inFlight.takeFirst();
        Reply reply;
        if (Await(first.id, reply) != 0)
            return m_errorCode;
        if (reply.type == FXP_STATUS && Reader{reply.body}.u32() == FX_EOF) {
            atEnd = true;
            continue;
        }
        if (Expect(reply, FXP_DATA, full) != 0) {
            result = m_errorCode;
            break;
        }
        const QByteArray data = Reader{reply.body}.string();
        if (atEnd)
            continue; // beyond the end an earlier piece found
        if (data.isEmpty() || static_cast<std::uint32_t>(data.size()) > first.length) {
            result = Fail(kSshFailed,
                          QStringLiteral("The server sent a piece of %1 it was not asked for.").arg(full));
            break;
        }
        QString sinkError;
        if (const int failed = sink(data.constData(), data.size(), &sinkError); failed != 0) {
            result = Fail(failed, sinkError);
            break;
        }
        received += data.size();
        if (progress)
            progress(received);
        if (static_cast<std::uint32_t>(data.size()) < first.length) {
            for (const Request &later : std::as_const(inFlight))
                dropped << later.id;
            inFlight.clear();
            ask(first.offset + static_cast<std::uint64_t>(data.size()),
                first.length - static_cast<std::uint32_t>(data.size()));
            nextOffset = first.offset + first.length;
        }
    }
    for (const Request &later : std::as_const(inFlight))
        dropped << later.id;
    return EndTransfer(dropped, handle, result);
}

int TcvbSFTP::Upload(const QString &path, const Source &source, const std::function<void(qint64)> &progress)
{
    const QString full = Resolve(path);
    QByteArray payload;
    putString(payload, pathBytes(full));
    putU32(payload, FXF_WRITE | FXF_CREAT | FXF_TRUNC);
    putU32(payload, ATTR_PERMISSIONS);
    putU32(payload, 0644);
    QByteArray handle;
    int result = OpenHandle(FXP_OPEN, payload, full, handle);
    if (result != 0)
        return result;
    QList<std::pair<std::uint32_t, qint64>> inFlight; // request id, bytes
    qint64 offset = 0;
    qint64 stored = 0;
    bool atEnd = false;
    QByteArray buffer(kPiece, Qt::Uninitialized);
    while (result == 0 && (!atEnd || !inFlight.isEmpty())) {
        while (!atEnd && inFlight.size() < kPiecesInFlight) {
            QString sourceError;
            const qint64 got = source(buffer.data(), buffer.size(), &sourceError);
            if (got <= 0) {
                atEnd = true;
                if (got < 0)
                    result = Fail(static_cast<int>(-got), sourceError);
                break;
            }
            QByteArray write;
            putString(write, handle);
            putU64(write, static_cast<std::uint64_t>(offset));
            putString(write, buffer.left(got));
            inFlight.append({Send(FXP_WRITE, write), got});
            offset += got;
        }
        if (inFlight.isEmpty())
            break;
        const auto [id, bytes] = inFlight.takeFirst();
        Reply reply;
        if (Await(id, reply) != 0)
            return m_errorCode;
        if (result != 0)
            break;
        if (Expect(reply, FXP_STATUS, full) != 0 || StatusOf(reply, full) != 0) {
            result = m_errorCode;
            break;
        }
        stored += bytes;
        if (progress)
            progress(stored);
    }
    QList<std::uint32_t> owed;
    for (const auto &[id, bytes] : std::as_const(inFlight))
        owed << id;
    return EndTransfer(owed, handle, result);
}

int TcvbSFTP::MakeFolder(const QString &path)
{
    QByteArray payload;
    putString(payload, pathBytes(Resolve(path)));
    putU32(payload, 0); // the server's default mode
    return Simple(FXP_MKDIR, payload, Resolve(path));
}

int TcvbSFTP::RemoveFolder(const QString &path)
{
    QByteArray payload;
    putString(payload, pathBytes(Resolve(path)));
    return Simple(FXP_RMDIR, payload, Resolve(path));
}

int TcvbSFTP::Remove(const QString &path)
{
    QByteArray payload;
    putString(payload, pathBytes(Resolve(path)));
    return Simple(FXP_REMOVE, payload, Resolve(path));
}

int TcvbSFTP::Rename(const QString &from, const QString &to)
{
    QByteArray payload;
    putString(payload, pathBytes(Resolve(from)));
    putString(payload, pathBytes(Resolve(to)));
    return Simple(FXP_RENAME, payload, Resolve(from));
}

} // namespace cvb
