#include "socket/IPPort.h"

#include <arpa/inet.h>
#include <cstring>

namespace cvb {

namespace {

const QString kRemoteHostBusy =
    QStringLiteral("You cannot change the RemoteHost at this time. A connection is in progress.");
const QString kRemotePortBusy =
    QStringLiteral("You cannot change the RemotePort at this time. A connection is in progress.");
const QString kAlreadyConnected =
    QStringLiteral("Already connected. If you want to reconnect, close the current connection first.");
const QString kInvalidHost = QStringLiteral("The RemoteHost address is invalid (0.0.0.0).");
const QString kZeroPort =
    QStringLiteral("RemotePort can't be zero. Please specify a valid service port number.");
const QString kRecvFailed = QStringLiteral("Winsock error in recv() ");

constexpr long kClientEvents = ws::FD_READ_ | ws::FD_WRITE_ | ws::FD_CONNECT_ | ws::FD_CLOSE_;

} // namespace

CcvbIPPort::CcvbIPPort(QObject *parent, int receiveBufferSize)
    : CWinsock(parent), m_notify(new CSocketNotify(this)), m_fifo(receiveBufferSize)
{
    m_notify->AddClient(this);
}

CcvbIPPort::~CcvbIPPort()
{
    BeginTearDown();
    if (m_socket != kInvalidSocket) {
        // A component that goes away resets its connection.
        m_linger = false;
        ApplyLinger();
        if (m_notify)
            Ws().WSAAsyncSelect(m_socket, m_notify, ws::kSocketMessage, 0);
        Ws().WSACancelBlockingCall();
        CloseSocket();
    }
    if (m_notify)
        m_notify->RemoveClient(this);
}

void CcvbIPPort::SetSocketNotify(CSocketNotify *notify)
{
    if (!notify || notify == m_notify)
        return;
    if (m_notify)
        m_notify->RemoveClient(this);
    m_notify = notify;
    m_notify->AddClient(this);
}

void CcvbIPPort::SetWinsockLoaded(bool load)
{
    if (!load && WinsockLoaded() && m_socket != kInvalidSocket)
        ResetState();
    CWinsock::SetWinsockLoaded(load);
}

QString CcvbIPPort::RemoteHost()
{
    return m_remoteHost == 0 ? QString() : DottedAddress(m_remoteHost);
}

void CcvbIPPort::SetRemoteHost(const QString &host)
{
    if (m_socket != kInvalidSocket) {
        ReportError(101, kRemoteHostBusy);
        return;
    }
    if (host.isEmpty()) {
        m_remoteHost = 0;
        return;
    }
    if (Ws().WSAIsBlocking())
        Ws().WSACancelBlockingCall();
    int error = 0;
    m_remoteHost = ResolveHost(host, &error);
    // Before the library is loaded a name cannot be resolved; that is not reported.
    if (m_remoteHost == 0 && error != 0 && error != ws::WSANOTINITIALISED)
        ReportError(error);
}

void CcvbIPPort::SetRemotePort(std::uint16_t port)
{
    SetLastError(0, LastErrorText());
    if (m_socket != kInvalidSocket) {
        ReportError(100, kRemotePortBusy);
        return;
    }
    m_remotePort = port;
}

void CcvbIPPort::SetConnected(bool connect)
{
    if (connect)
        Connect();
    else
        Disconnect(0);
}

void CcvbIPPort::Connect()
{
    SetLastError(0, LastErrorText());
    if (m_socket != kInvalidSocket) {
        ReportError(104, kAlreadyConnected);
        return;
    }
    m_pendingClose = false;
    m_fifo.Clear();
    if (m_remoteHost == 0) {
        ReportError(102, kInvalidHost);
        return;
    }
    if (m_remotePort == 0) {
        ReportError(116, kZeroPort);
        return;
    }
    SetConnectedState(false);
    m_socket = Ws().socket(AF_INET, SOCK_STREAM, 0);
    if (m_socket == kInvalidSocket) {
        ReportError(Ws().WSAGetLastError());
        return;
    }
    const auto fail = [this] {
        const int error = Ws().WSAGetLastError();
        CloseSocket();
        ReportError(error);
    };
    sockaddr_in local{};
    local.sin_family = AF_INET;
    local.sin_port = (Ws().htons)(m_localPort);
    local.sin_addr.s_addr = INADDR_ANY;
    if (Ws().bind(m_socket, reinterpret_cast<sockaddr *>(&local), sizeof local) != 0)
        return fail();
    // A failed option is recorded, not raised.
    WithoutRaising(*this, [this] {
        SetKeepAlive(m_keepAlive);
        SetLinger(m_linger);
        SetInBufferSize(m_inBufferSize);
        SetOutBufferSize(m_outBufferSize);
        ApplyOption(ws::SOL_SOCKET_, ws::SO_OOBINLINE_, 1, nullptr);
    });
    if (Ws().WSAAsyncSelect(m_socket, m_notify, ws::kSocketMessage, kClientEvents) != 0)
        return fail();
    sockaddr_in remote{};
    remote.sin_family = AF_INET;
    remote.sin_port = (Ws().htons)(m_remotePort);
    remote.sin_addr.s_addr = m_remoteHost;
    if (Ws().connect(m_socket, reinterpret_cast<sockaddr *>(&remote), sizeof remote) != 0) {
        if (Ws().WSAGetLastError() == ws::WSAEWOULDBLOCK) {
            SetLastError(0, LastErrorText());
            return;
        }
        fail();
    }
}

void CcvbIPPort::AdoptSocket(TSocket socket)
{
    m_pendingClose = false;
    m_fifo.Clear();
    m_socket = socket;
    SetConnectedState(true);
}

void CcvbIPPort::CloseSocket()
{
    if (m_socket != kInvalidSocket) {
        Ws().closesocket(m_socket);
        m_socket = kInvalidSocket;
    }
}

void CcvbIPPort::ApplyOption(int level, int name, int value, std::uint16_t *readBack)
{
    if (Ws().setsockopt(m_socket, level, name, reinterpret_cast<const char *>(&value), sizeof value) == 0)
        return;
    const int error = Ws().WSAGetLastError();
    if (readBack) {
        int inForce = 0;
        int length = sizeof inForce;
        if (Ws().getsockopt(m_socket, level, name, reinterpret_cast<char *>(&inForce), &length) == 0)
            *readBack = static_cast<std::uint16_t>(inForce);
    }
    ReportError(error);
}

void CcvbIPPort::SetInBufferSize(std::uint16_t size)
{
    SetLastError(0, LastErrorText());
    m_inBufferSize = size;
    if (m_socket != kInvalidSocket)
        ApplyOption(ws::SOL_SOCKET_, ws::SO_RCVBUF_, size, &m_inBufferSize);
}

void CcvbIPPort::SetOutBufferSize(std::uint16_t size)
{
    SetLastError(0, LastErrorText());
    m_outBufferSize = size;
    if (m_socket != kInvalidSocket)
        ApplyOption(ws::SOL_SOCKET_, ws::SO_SNDBUF_, size, &m_outBufferSize);
}

void CcvbIPPort::SetKeepAlive(bool on)
{
    m_keepAlive = on;
    if (m_socket == kInvalidSocket)
        return;
    std::uint16_t inForce = on;
    struct Store
    {
        bool &target;
        std::uint16_t &value;
        ~Store() { target = value != 0; }
    } store{m_keepAlive, inForce};
    ApplyOption(ws::SOL_SOCKET_, ws::SO_KEEPALIVE_, on, &inForce);
}

void CcvbIPPort::SetLinger(bool on)
{
    m_linger = on;
    if (m_socket != kInvalidSocket)
        ApplyLinger();
}

void CcvbIPPort::ApplyLinger()
{
    // Lingering off is a normal graceful close; on with 0 seconds resets the connection.
    const TLinger l{static_cast<std::uint16_t>(m_linger ? 0 : 1), 0};
    if (Ws().setsockopt(m_socket, ws::SOL_SOCKET_, ws::SO_LINGER_, reinterpret_cast<const char *>(&l),
                        sizeof l) != 0)
        ReportError(Ws().WSAGetLastError());
}

void CcvbIPPort::PostRead()
{
    if (m_notify && m_socket != kInvalidSocket)
        m_notify->PostSocketMessage(ws::kSocketMessage, m_socket, ws::FD_READ_);
}

void CcvbIPPort::SetAcceptData(bool accept)
{
    SetLastError(0, LastErrorText());
    m_acceptData = accept;
    if (accept && m_connected)
        PostRead();
}

void CcvbIPPort::SetEOL(const QByteArray &eol)
{
    m_fifo.SetEOL(eol);
    // Data already buffered is cut again with the new terminator.
    if (m_connected)
        PostRead();
}

void CcvbIPPort::SetDataToSend(const QByteArray &data)
{
    const int result = SendBytes(data.constData(), static_cast<int>(data.size()));
    if (result != 0)
        ReportError(result);
}

int CcvbIPPort::SendBytes(const char *data, int length, int flags)
{
    SetLastError(0, LastErrorText());
    if (!m_connected) {
        Ws().WSASetLastError(ws::WSAENOTCONN);
        return ws::WSAENOTCONN;
    }
    if (length <= 0)
        return 0;
    int error = 0;
    const int n = Transmit(data, length, flags, &error);
    if (n < 0) {
        m_bytesSent = 0;
        return error;
    }
    m_bytesSent = n;
    if (n > 0 && m_notify)
        m_notify->NoteActivity();
    if (n == length) {
        // The system took it all, so no write notification will follow: the running wait
        // gets another pass for whoever sends the next piece from it.
        if (m_notify)
            m_notify->RequestPass();
        return 0;
    }
    Ws().WSASetLastError(ws::WSAEWOULDBLOCK);
    return ws::WSAEWOULDBLOCK;
}

QString CcvbIPPort::StatusText(int status)
{
    return status == 0 ? QStringLiteral("OK") : DescribeError(status);
}

void CcvbIPPort::HandleSocketMessage(TSocket socket, std::uint32_t event)
{
    if (socket == kInvalidSocket || socket != m_socket)
        return;
    const int status = static_cast<int>(event >> 16);
    switch (event & 0xffff) {
    case ws::FD_READ_:
        // Held bytes are TLS records: they are read when the handshake starts.
        if (m_tlsState == TlsState::Held)
            break;
        if (m_tlsState == TlsState::Handshaking) {
            StepHandshake();
            break;
        }
        if (m_acceptData && !m_inReadLoop) {
            m_inReadLoop = true;
            struct Clear
            {
                bool &flag;
                ~Clear() { flag = false; }
            } clear{m_inReadLoop};
            ReadLoop(ReadMode::Normal);
        } else if (m_acceptData) {
            // Re-entered from inside the read loop: the running wait picks the data up.
            m_readDeferred = true;
        }
        break;
    case ws::FD_WRITE_:
        if (m_tlsState == TlsState::Handshaking)
            StepHandshake();
        else if (m_tlsState != TlsState::Held)
            FireReadyToSend();
        break;
    case ws::FD_CONNECT_:
        SetConnectedState(true);
        WithoutRaising(*this, [this] { ApplyOption(ws::SOL_SOCKET_, ws::SO_OOBINLINE_, 1, nullptr); });
        FireConnected(status, StatusText(status));
        if (status != 0)
            ResetState();
        break;
    case ws::FD_CLOSE_:
        // A handshake cut short by the peer fails here.
        if (m_tlsState == TlsState::Handshaking)
            StepHandshake();
        if (!m_inReadLoop)
            ReadLoop(ReadMode::AfterClose);
        Disconnect(status);
        break;
    default:
        break;
    }
}

bool CcvbIPPort::TakeDeferredRead()
{
    const bool deferred = m_readDeferred;
    m_readDeferred = false;
    return deferred;
}

bool CcvbIPPort::DeliverLines()
{
    for (;;) {
        QByteArray line;
        const LineFIFO::Take taken = m_fifo.TakeLine(&line);
        if (taken == LineFIFO::Take::None)
            return true;
        // The rest of a split terminator: go on with the lines behind it.
        if (taken == LineFIFO::Take::Skipped)
            continue;
        FireDataIn(line, true);
        if (!m_acceptData || m_socket == kInvalidSocket)
            return false;
    }
}

void CcvbIPPort::DeliverWhole()
{
    while (m_acceptData) {
        QByteArray line;
        const LineFIFO::Take taken = m_fifo.TakeLine(&line);
        if (taken == LineFIFO::Take::None)
            break;
        if (taken == LineFIFO::Take::Line)
            FireDataIn(line, true);
    }
    // What a handler holds back stays buffered for a later wait.
    if (m_acceptData && !m_fifo.IsEmpty())
        FireDataIn(m_fifo.TakeAll(), false);
}

bool CcvbIPPort::DeliverHeldData()
{
    if (m_socket != kInvalidSocket || m_fifo.IsEmpty())
        return false;
    for (;;) {
        QByteArray line;
        const LineFIFO::Take taken = m_fifo.TakeLine(&line);
        if (taken == LineFIFO::Take::Line) {
            FireDataIn(line, true);
            return true;
        }
        if (taken == LineFIFO::Take::None)
            break;
    }
    if (m_fifo.IsEmpty())
        return false;
    FireDataIn(m_fifo.TakeAll(), false);
    return true;
}

void CcvbIPPort::ReadLoop(ReadMode mode)
{
    while (m_socket != kInvalidSocket && m_acceptData) {
        if (!DeliverLines())
            return;
        if (m_fifo.FreeTail() > 0) {
            if (mode == ReadMode::Normal && m_pendingClose) {
                m_inReadLoop = false;
                Disconnect(m_pendingCloseStatus);
                return;
            }
            if (mode == ReadMode::Drain) {
                DeliverWhole();
                return;
            }
            int receiveError = 0;
            const int received = Receive(m_fifo.Tail(), m_fifo.FreeTail(), &receiveError);
            if (received == 0 || mode == ReadMode::AfterClose) {
                // The end of the data: what was buffered before goes out whole.
                const QByteArray fresh = received > 0 ? QByteArray(m_fifo.Tail(), received) : QByteArray();
                DeliverWhole();
                m_fifo.Append(fresh);
                if (received == 0) {
                    m_inReadLoop = false;
                    Disconnect(0);
                    return;
                }
                if (received > 0)
                    continue;
            }
            if (received < 0) {
                if (receiveError != ws::WSAEWOULDBLOCK && receiveError != ws::WSAENOTSOCK)
                    ReceiveFailed(receiveError, m_tls ? m_tls->ErrorText() : kRecvFailed);
                return;
            }
            m_fifo.Added(received);
            continue;
        }
        // A full buffer without a line end: the line goes out in pieces.
        FireLinePiece(m_fifo.TakeAll());
    }
}

void CcvbIPPort::Disconnect(int status)
{
    if (m_socket == kInvalidSocket) {
        ResetState();
        return;
    }
    if (m_notify)
        Ws().WSAAsyncSelect(m_socket, m_notify, ws::kSocketMessage, 0);
    if (m_inReadLoop) {
        m_pendingClose = true;
        m_pendingCloseStatus = status;
        return;
    }
    if (m_acceptData)
        ReadLoop(ReadMode::Drain);
    if (m_socket == kInvalidSocket)
        return;
    // The TLS close tells the peer that nothing was cut off.
    if (m_tls && (m_tlsState == TlsState::Up || m_tlsState == TlsState::Closing))
        m_tls->Close();
    DropTls();
    const int rc = Ws().closesocket(m_socket);
    const int error = rc != 0 ? Ws().WSAGetLastError() : 0;
    SetConnectedState(false);
    m_socket = kInvalidSocket;
    FireDisconnected(status, StatusText(status));
    ResetState();
    if (rc != 0)
        ReportError(error);
}

void CcvbIPPort::ResetState()
{
    DropTls();
    CloseSocket();
    SetConnectedState(false);
    m_bytesSent = 0;
    m_acceptData = true;
    m_inReadLoop = false;
}

void CcvbIPPort::HoldForTls(bool hold)
{
    if (m_tlsState == TlsState::Off || m_tlsState == TlsState::Held)
        m_tlsState = hold ? TlsState::Held : TlsState::Off;
}

void CcvbIPPort::StartTls(CTlsContext &context, const QString &serverName, ssl_session_st *resume)
{
    m_tls = std::make_unique<CTlsChannel>(context, Ws(), m_socket, serverName, resume);
    m_tlsState = TlsState::Handshaking;
    StepHandshake();
}

void CcvbIPPort::StepHandshake()
{
    switch (m_tls->Handshake()) {
    case CTlsChannel::Step::Again:
        // The socket's next read or write notification brings the next step.
        return;
    case CTlsChannel::Step::Done:
        m_tlsState = TlsState::Up;
        if (m_notify)
            m_notify->RequestPass();
        FireTlsReady(0, {});
        // Data that came with the last handshake record is read now.
        if (m_connected)
            PostRead();
        return;
    case CTlsChannel::Step::Failed:
        m_tlsState = TlsState::Failed;
        FireTlsReady(kTlsHandshakeFailed, m_tls->ErrorText());
        return;
    }
}

void CcvbIPPort::CloseGracefully()
{
    if (m_tls && m_tlsState == TlsState::Up) {
        m_tls->Close();
        m_tlsState = TlsState::Closing;
        PostRead();
        return;
    }
    SetConnected(false);
}

void CcvbIPPort::ResetConnection()
{
    if (m_socket == kInvalidSocket)
        return;
    const bool linger = m_linger;
    m_linger = false;
    WithoutRaising(*this, [this] { ApplyLinger(); });
    m_linger = linger;
    if (m_notify)
        Ws().WSAAsyncSelect(m_socket, m_notify, ws::kSocketMessage, 0);
    DropTls();
    CloseSocket();
    SetConnectedState(false);
    m_pendingClose = false;
    // A read loop that delivered the event which led here ends when it sees the socket gone.
    FireDisconnected(0, StatusText(0));
}

int CcvbIPPort::Receive(char *buffer, int length, int *error)
{
    switch (m_tlsState) {
    case TlsState::Off: {
        const int n = Ws().recv(m_socket, buffer, length, 0);
        if (n < 0)
            *error = Ws().WSAGetLastError();
        return n;
    }
    case TlsState::Up:
    case TlsState::Closing: {
        // A failure was reported when it happened; what follows is the end.
        if (m_tls->Failed())
            return 0;
        const int n = m_tls->Read(buffer, length, error);
        // Once this side has sent its close, a peer that only drops the connection has still
        // had everything.
        if (n < 0 && *error == kTlsTruncated && m_tlsState == TlsState::Closing)
            return 0;
        return n;
    }
    default:
        // Bytes before or after a failed handshake are not data.
        return 0;
    }
}

int CcvbIPPort::Transmit(const char *data, int length, int flags, int *error)
{
    if (m_tlsState == TlsState::Off) {
        const int n = Ws().send(m_socket, data, length, flags);
        if (n < 0)
            *error = Ws().WSAGetLastError();
        return n;
    }
    if (m_tlsState != TlsState::Up) {
        *error = ws::WSAEWOULDBLOCK;
        return -1;
    }
    int total = 0;
    while (total < length) {
        const int n = m_tls->Write(data + total, length - total, error);
        if (n < 0)
            return total > 0 && *error == ws::WSAEWOULDBLOCK ? total : -1;
        total += n;
    }
    return total;
}

void CcvbIPPort::DropTls()
{
    m_tls.reset();
    m_tlsState = TlsState::Off;
}

void CcvbIPPort::FireTlsReady(int code, const QString &text)
{
    if (code != 0)
        FireError(code, text);
}

void CcvbIPPort::FireConnected(int status, const QString &description)
{
    if (OnConnected)
        OnConnected(this, status, description);
}

void CcvbIPPort::FireDisconnected(int status, const QString &description)
{
    if (OnDisconnected)
        OnDisconnected(this, status, description);
}

void CcvbIPPort::FireDataIn(const QByteArray &text, bool eol)
{
    if (OnDataIn)
        OnDataIn(this, text, eol);
}

void CcvbIPPort::FireReadyToSend()
{
    if (OnReadyToSend)
        OnReadyToSend(this);
}

} // namespace cvb
