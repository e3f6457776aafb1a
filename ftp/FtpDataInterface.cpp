#include "ftp/FtpDataInterface.h"

#include <cstring>

#include "ftp/FtpClient.h"
#include "ftp/FtpCodes.h"

#include <algorithm>

namespace cvb {

namespace {
constexpr int kBlockSize = 2048;
// Received file data goes to the local file in blocks of up to this size, as it arrives.
constexpr int kReceiveBufferSize = 64 * 1024;
} // namespace

CListeningSocket::CListeningSocket(TcvbFTP *owner) : CcvbIPPort(nullptr, kReceiveBufferSize), m_owner(owner)
{
    SetSocketNotify(owner->SocketNotify());
}

CListeningSocket::~CListeningSocket()
{
    CloseListening();
}

void CListeningSocket::FireError(int code, const QString &text)
{
    m_owner->FireError(code, text);
}

int CListeningSocket::Listen(std::uint16_t port, TSocket control)
{
    CloseListening();
    const auto &ws = Ws();
    // Only the address the server already talks to is offered, not every address of this host.
    sockaddr_in addr{};
    int length = sizeof addr;
    if (ws.getsockname(control, reinterpret_cast<sockaddr *>(&addr), &length) != 0)
        return ws.WSAGetLastError();
    m_listening = ws.socket(AF_INET, SOCK_STREAM, ws::IPPROTO_TCP_);
    bool ok = m_listening != kInvalidSocket;
    if (ok) {
        addr.sin_family = AF_INET;
        addr.sin_port = (ws.htons)(port);
        ok = ws.bind(m_listening, reinterpret_cast<const sockaddr *>(&addr), sizeof addr) == 0 &&
             ws.listen(m_listening, 1) == 0 &&
             ws.WSAAsyncSelect(m_listening, SocketNotify(), ws::kSocketMessage, ws::FD_ACCEPT_) == 0;
    }
    if (ok)
        return 0;
    const int error = ws.WSAGetLastError();
    CloseListening();
    return error != 0 ? error : ws::WSAENOTSOCK;
}

int CListeningSocket::PortArgument(TSocket controlSocket, QByteArray *argument)
{
    const auto &ws = Ws();
    sockaddr_in listening{};
    int length = sizeof listening;
    if (ws.getsockname(m_listening, reinterpret_cast<sockaddr *>(&listening), &length) != 0 ||
        listening.sin_port == 0)
        return ws.WSAGetLastError();
    sockaddr_in local{};
    length = sizeof local;
    if (ws.getsockname(controlSocket, reinterpret_cast<sockaddr *>(&local), &length) != 0)
        return ws.WSAGetLastError();
    *argument = ftp::portArgument((ws.ntohl)(local.sin_addr.s_addr), (ws.ntohs)(listening.sin_port));
    return 0;
}

void CListeningSocket::CloseListening()
{
    if (m_listening == kInvalidSocket)
        return;
    Ws().WSAAsyncSelect(m_listening, SocketNotify(), ws::kSocketMessage, 0);
    Ws().closesocket(m_listening);
    m_listening = kInvalidSocket;
}

CDataInterface::CDataInterface(TcvbFTP *owner) : CListeningSocket(owner)
{
}

CDataInterface::~CDataInterface()
{
    BeginTearDown();
}

void CDataInterface::SetMode(Mode mode)
{
    m_mode = mode;
    if (mode == Listing) {
        SetEOL("\r\n");
        SetEolAnyChar(true);
    } else {
        SetEOL({});
    }
}

bool CDataInterface::Ascii() const
{
    return m_owner->TransferMode() == tmASCII;
}

void CDataInterface::BeginTransfer()
{
    m_ended = false;
    m_localError = 0;
    m_localErrorText.clear();
    m_listedNames = 0;
    m_commandSent = false;
    m_replySeen = false;
    m_receiveError = 0;
    m_receiveErrorText.clear();
    m_pending.clear();
    m_decoder.reset();
}

void CDataInterface::HandleSocketMessage(TSocket socket, std::uint32_t event)
{
    if (socket != kInvalidSocket && socket == m_listening) {
        if ((event & 0xFFFF) == ws::FD_ACCEPT_)
            Accept();
        return;
    }
    CcvbIPPort::HandleSocketMessage(socket, event);
}

void CDataInterface::Accept()
{
    if (Socket() != kInvalidSocket)
        WithoutRaising(*this, [&] { SetConnected(false); });
    sockaddr_in peer{};
    int length = sizeof peer;
    const TSocket accepted = Ws().accept(m_listening, reinterpret_cast<sockaddr *>(&peer), &length);
    if (accepted == kInvalidSocket) {
        CloseListening();
        FireError(kFtpAcceptFailed, QStringLiteral("Failed to accept new socket."));
        return;
    }
    // Anyone may connect to the port offered; only the server of the control connection may
    // supply or take the data. Another caller is turned away and the wait goes on.
    if (!FromControlPeer(peer)) {
        Ws().closesocket(accepted);
        FireError(kFtpForeignDataPeer,
                  QStringLiteral("A data connection from another address than the server's was refused."));
        return;
    }
    CloseListening();
    AdoptSocket(accepted);
    if (Ws().WSAAsyncSelect(accepted, SocketNotify(), ws::kSocketMessage,
                            ws::FD_READ_ | ws::FD_WRITE_ | ws::FD_CLOSE_) != 0)
        FireError(kFtpSelectFailed, QStringLiteral("Error calling WSAAsyncSelect on new socket."));
    Opened();
}

bool CDataInterface::FromControlPeer(const sockaddr_in &peer) const
{
    sockaddr_in server{};
    int length = sizeof server;
    if (Ws().getpeername(m_owner->Socket(), reinterpret_cast<sockaddr *>(&server), &length) != 0)
        return false;
    return peer.sin_family == AF_INET && peer.sin_addr.s_addr == server.sin_addr.s_addr;
}

void CDataInterface::FireConnected(int status, const QString &)
{
    if (status == 0)
        Opened();
    else
        m_ended = true; // the server's reply to the transfer command decides
}

void CDataInterface::Opened()
{
    m_ended = false;
    m_counter = m_owner->StartByte();
    const std::int64_t start = m_owner->StartByte();
    if (m_mode == UploadFromFile || m_mode == DownloadToFile) {
        const QString path = m_owner->LocalFile();
        // A resumed download keeps the part already on disk and goes on after it.
        const int code = m_mode == UploadFromFile ? m_file.openRead(path)
                         : start > 0              ? m_file.openResume(path, start)
                                                  : m_file.openWrite(path);
        if (code != 0) {
            LocalFileFailed(code, QStringLiteral("Error opening local file"));
        } else {
            const std::int64_t position = m_mode == UploadFromFile ? m_file.move(start) : start;
            if (position != start)
                LocalFileFailed(int(position), QStringLiteral("Error starting local file"));
            m_fileSize = m_file.size();
        }
    }
    if (m_owner->OnStartTransfer)
        m_owner->OnStartTransfer(m_owner);
    StartTlsWhenReady();
}

void CDataInterface::PreliminaryReply()
{
    m_replySeen = true;
    StartTlsWhenReady();
}

void CDataInterface::StartTlsWhenReady()
{
    if (TlsStatus() != TlsState::Held || !m_replySeen || !Connected())
        return;
    // The data connection resumes the control connection's session: servers take that as the
    // proof that both come from the same client.
    CTlsChannel *control = m_owner->TlsChannel();
    ssl_session_st *session = control ? control->TakeSession() : nullptr;
    StartTls(m_owner->TlsContext(), m_owner->ServerName(), session);
    FreeTlsSession(session);
}

void CDataInterface::FireTlsReady(int code, const QString &text)
{
    // A data connection speaks for the server only with the certificate the control
    // connection accepted.
    if (code == 0 && TlsChannel()->PeerCertificate().fingerprint == m_owner->PeerCertificate().fingerprint)
        return;
    if (code == 0)
        RecordReceiveError(kTlsUntrusted,
                           QStringLiteral("The data connection showed another certificate than the server."));
    else
        RecordReceiveError(code, text);
    WithoutRaising(*this, [&] { SetConnected(false); });
}

void CDataInterface::ReceiveFailed(int code, const QString &text)
{
    RecordReceiveError(code, text);
}

void CDataInterface::RecordReceiveError(int code, const QString &text)
{
    if (m_receiveError == 0) {
        m_receiveError = code;
        m_receiveErrorText = text;
    }
    FireError(code, text);
}

void CDataInterface::FireDataIn(const QByteArray &text, bool)
{
    m_counter += text.size();
    switch (m_mode) {
    case DownloadToEvents:
        if (m_owner->OnTransfer)
            m_owner->OnTransfer(m_owner, m_counter, text);
        break;
    case DownloadToFile: {
        const QByteArray bytes = Ascii() ? m_decoder.feed(text.constData(), text.size()) : text;
        if (m_localError == 0 && m_file.write(bytes.constData(), bytes.size()) != 0)
            LocalFileFailed(m_file.lastError(), QStringLiteral("Error writing to local file"));
        else if (m_localError == 0 && m_owner->OnFileBytes)
            m_owner->OnFileBytes(bytes);
        if (m_owner->OnTransfer)
            m_owner->OnTransfer(m_owner, m_counter, {});
        break;
    }
    case Listing:
        if (m_localError != 0)
            break;
        if (++m_listedNames > kListingNameLimit || m_counter > kListingByteLimit) {
            m_localError = kFtpListingTooLong;
            m_localErrorText =
                QStringLiteral("The listing is longer than %1 names or %2 MiB; it was stopped.")
                    .arg(kListingNameLimit)
                    .arg(kListingByteLimit / (1024 * 1024));
            FireError(m_localError, m_localErrorText);
            Disconnect(0);
            break;
        }
        if (m_owner->OnDirList) {
            const qsizetype zero = text.indexOf('\0');
            m_owner->OnDirList(m_owner, QString::fromUtf8(zero < 0 ? text : text.left(zero)));
        }
        break;
    case UploadFromFile:
        break;
    }
}

void CDataInterface::LocalFileFailed(int code, const QString &what)
{
    const int system = m_file.lastError();
    m_file.close();
    if (m_localError != 0)
        return;
    m_localError = kFtpDownloadFileFailed;
    m_localErrorText = what + QStringLiteral(": ") +
                       (system != 0 ? QString::fromLocal8Bit(std::strerror(system)) : QString::number(code)) +
                       QLatin1Char('.');
    FireError(m_localError, m_localErrorText);
}

void CDataInterface::FireDisconnected(int, const QString &)
{
    if (m_file.isOpen()) {
        const QByteArray rest = m_mode == DownloadToFile ? m_decoder.finish() : QByteArray();
        if (!rest.isEmpty() && m_file.write(rest.constData(), rest.size()) != 0)
            LocalFileFailed(m_file.lastError(), QStringLiteral("Error writing to local file"));
        else if (m_file.close() != 0)
            LocalFileFailed(m_file.lastError(), QStringLiteral("Error closing local file"));
    }
    m_ended = true;
    if (m_owner->OnEndTransfer)
        m_owner->OnEndTransfer(m_owner);
}

int CDataInterface::Pump()
{
    if (m_mode != UploadFromFile || !m_commandSent || !m_file.isOpen() || !Connected() || !ReadyForData())
        return 0;
    for (;;) {
        if (m_pending.isEmpty()) {
            const std::int64_t position = m_file.move(0);
            if (position < 0) {
                m_owner->SetLastError(kFtpUploadFileFailed, QStringLiteral("Error seeking in local file."));
                return kFtpUploadFileFailed;
            }
            if (position >= m_fileSize) {
                // Closing the data connection ends the upload for the server.
                m_file.close();
                WithoutRaising(*this, [&] { CloseGracefully(); });
                return 0;
            }
            const int length = int(std::min<std::int64_t>(m_fileSize - position, kBlockSize));
            QByteArray block(length, Qt::Uninitialized);
            if (m_file.read(block.data(), length) != 0) {
                m_owner->SetLastError(kFtpUploadFileFailed, QStringLiteral("Error reading from local file."));
                return kFtpUploadFileFailed;
            }
            m_pending = Ascii() ? ftp::lfToCrLf(block.constData(), length) : block;
            m_pendingSource = length;
            m_pendingSent = 0;
        }
        const int result =
            SendBytes(m_pending.constData() + m_pendingSent, int(m_pending.size() - m_pendingSent));
        if (result == ws::WSAEWOULDBLOCK) {
            // The rest goes when the socket can take bytes again: its write notification
            // wakes the wait.
            m_pendingSent += BytesSent();
            return 0;
        }
        if (result != 0)
            return result;
        m_counter += m_pendingSource;
        m_pending.clear();
        if (m_owner->OnTransfer)
            m_owner->OnTransfer(m_owner, m_counter, {});
    }
}

} // namespace cvb
