// CcvbIPPort: a TCP client socket driven by socket notifications, with its receive buffer.
#pragma once
#include "socket/LineFIFO.h"
#include "socket/SocketNotify.h"
#include "socket/Tls.h"
#include "socket/Winsock.h"

#include <QPointer>
#include <functional>

namespace cvb {

using TStatusEvent = std::function<void(QObject *Sender, int StatusCode, const QString &Description)>;
using TDataInEvent = std::function<void(QObject *Sender, const QByteArray &Text, bool EOL)>;
using TNotifyEvent = std::function<void(QObject *Sender)>;

class CcvbIPPort : public CWinsock, public TSocketClient
{
    Q_OBJECT
public:
    // The receive buffer holds receiveBufferSize bytes (2048 unless a connection that moves
    // bulk data asks for more).
    explicit CcvbIPPort(QObject *parent = nullptr, int receiveBufferSize = LineFIFO::kCapacity);
    ~CcvbIPPort() override;

    // The sink that delivers this port's notifications. Each port starts with one of its
    // own; a component may hand it a shared one (before connecting).
    CSocketNotify *SocketNotify() const { return m_notify; }

    // Unloading closes the connection first: the socket goes before the library that made it.
    void SetWinsockLoaded(bool load) override;
    void SetSocketNotify(CSocketNotify *notify);

    QString RemoteHost();
    void SetRemoteHost(const QString &host);
    std::uint32_t RemoteAddress() const { return m_remoteHost; }
    std::uint16_t RemotePort() const { return m_remotePort; }
    void SetRemotePort(std::uint16_t port);
    std::uint16_t LocalPort() const { return m_localPort; }
    void SetLocalPort(std::uint16_t port) { m_localPort = port; }

    TSocket Socket() const { return m_socket; }
    bool Connected() const { return m_connected; }
    // True connects (the outcome arrives as OnConnected); false disconnects.
    void SetConnected(bool connect);

    std::uint16_t InBufferSize() const { return m_inBufferSize; }
    void SetInBufferSize(std::uint16_t size);
    std::uint16_t OutBufferSize() const { return m_outBufferSize; }
    void SetOutBufferSize(std::uint16_t size);
    bool KeepAlive() const { return m_keepAlive; }
    void SetKeepAlive(bool on);
    bool Linger() const { return m_linger; }
    void SetLinger(bool on);

    bool AcceptData() const { return m_acceptData; }
    void SetAcceptData(bool accept);
    QByteArray EOL() const { return m_fifo.EOL(); }
    void SetEOL(const QByteArray &eol);
    bool EolAnyChar() const { return m_fifo.EolAnyChar(); }
    void SetEolAnyChar(bool any) { m_fifo.SetEolAnyChar(any); }

    int BytesSent() const { return m_bytesSent; }
    // One send call; a failure, 10035 after a partial send included, is reported.
    void SetDataToSend(const QByteArray &data);
    // Sends what the system takes at once: 0, 10035 when only BytesSent bytes went, or the
    // socket error.
    int SendBytes(const char *data, int length, int flags = 0);

    // TLS on this connection. HoldForTls keeps received bytes unread until StartTls (the peer
    // speaks TLS, so nothing may read them as plain data). StartTls begins the handshake on
    // the connected socket; it goes on with the socket's notifications and ends in
    // FireTlsReady. Afterwards every byte received and sent passes through the channel.
    enum class TlsState { Off, Held, Handshaking, Up, Closing, Failed };
    TlsState TlsStatus() const { return m_tlsState; }
    void HoldForTls(bool hold);
    void StartTls(CTlsContext &context, const QString &serverName, ssl_session_st *resume);
    CTlsChannel *TlsChannel() const { return m_tls.get(); }
    // True when bytes may be sent: a plain connection, or TLS that is up.
    bool ReadyForData() const { return m_tlsState == TlsState::Off || m_tlsState == TlsState::Up; }
    // Ends the connection: with TLS up it sends the TLS close and keeps the socket until the
    // peer's close (or the end of the connection) arrives; else it disconnects at once.
    void CloseGracefully();
    // Ends the connection at once with a reset, also from inside one of its own events: the
    // peer's next send fails. The disconnect event follows as usual.
    void ResetConnection();

    TStatusEvent OnConnected;
    TStatusEvent OnDisconnected;
    TDataInEvent OnDataIn;
    TNotifyEvent OnReadyToSend;

    void HandleSocketMessage(TSocket socket, std::uint32_t event) override;
    void NotificationFailed(int code, const QString &text) override { FireError(code, text); }

protected:
    enum class ReadMode { Normal, Drain, AfterClose };

    // Hooks of the layers above; each fires its event here.
    virtual void FireConnected(int status, const QString &description);
    virtual void FireDisconnected(int status, const QString &description);
    virtual void FireDataIn(const QByteArray &text, bool eol);
    // A full receive buffer without a line end: the line goes on in the next piece. By
    // default the piece is handed out as data without a line end.
    virtual void FireLinePiece(const QByteArray &piece) { FireDataIn(piece, false); }
    virtual void FireReadyToSend();
    virtual void SetConnectedState(bool connected) { m_connected = connected; }
    // The end of a handshake that StartTls began: 0, or the error code and its text.
    virtual void FireTlsReady(int code, const QString &text);
    // A failure while receiving (the socket's or the TLS channel's).
    virtual void ReceiveFailed(int code, const QString &text) { FireError(code, text); }

    TSocket LocalHostSocket() const override { return m_connected ? m_socket : kInvalidSocket; }

    void ReadLoop(ReadMode mode);
    void Disconnect(int status);
    void ResetState();
    bool InReadLoop() const { return m_inReadLoop; }
    // True when a read notification found the read loop busy, so data may be waiting.
    bool TakeDeferredRead();
    // With no socket left, hands out the next held piece of received data: a line, or the
    // rest; false when nothing is held.
    bool DeliverHeldData();
    LineFIFO &Fifo() { return m_fifo; }
    // Takes over a socket that is connected already (an accepted connection): the port is
    // connected at once, with an empty receive buffer. The caller asks for notifications.
    void AdoptSocket(TSocket socket);

private:
    void Connect();
    void ApplyOption(int level, int name, int value, std::uint16_t *readBack);
    void ApplyLinger();
    void CloseSocket();
    void PostRead();
    // Step 1 of the read loop: false when AcceptData turned false or the socket went.
    bool DeliverLines();
    // Delivers all of `held`: its complete lines, then its rest with EOL false; stops (and
    // keeps what is left) when AcceptData turns false.
    void DeliverWhole();
    static QString StatusText(int status);
    void StepHandshake();
    // recv and send through the TLS channel when there is one: bytes, 0 at the end of the
    // data, or -1 with *error set.
    int Receive(char *buffer, int length, int *error);
    int Transmit(const char *data, int length, int flags, int *error);
    void DropTls();

    QPointer<CSocketNotify> m_notify;
    std::uint32_t m_remoteHost = 0;
    std::uint16_t m_remotePort = 0;
    std::uint16_t m_localPort = 0;
    TSocket m_socket = kInvalidSocket;
    bool m_connected = false;
    std::uint16_t m_inBufferSize = 2048;
    std::uint16_t m_outBufferSize = 2048;
    bool m_keepAlive = false;
    bool m_linger = true;
    bool m_acceptData = true;
    bool m_inReadLoop = false;
    bool m_pendingClose = false;
    int m_pendingCloseStatus = 0;
    bool m_readDeferred = false;
    int m_bytesSent = 0;
    LineFIFO m_fifo;
    std::unique_ptr<CTlsChannel> m_tls;
    TlsState m_tlsState = TlsState::Off;
};

} // namespace cvb
