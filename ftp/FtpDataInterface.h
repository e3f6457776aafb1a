// The data side of the FTP component: the listening socket of active mode (CListeningSocket)
// and the data connection with its local file (CDataInterface).
#pragma once

#include "ftp/FtpReplies.h"
#include "ftp/TransferFile.h"
#include "socket/IPPort.h"

#include <QByteArray>

namespace cvb {

class TcvbFTP;

class CListeningSocket : public CcvbIPPort
{
    Q_OBJECT
public:
    explicit CListeningSocket(TcvbFTP *owner);
    ~CListeningSocket() override;

    // Listens on the local address of the control connection `control` and the port (0: the
    // system chooses), backlog 1, with accept notifications to the shared sink. 0 or the socket
    // error.
    int Listen(std::uint16_t port, TSocket control);
    // "h1,h2,h3,h4,p1,p2" from the control socket's local address and the listening port.
    int PortArgument(TSocket controlSocket, QByteArray *argument);
    void CloseListening();
    TSocket ListeningSocket() const { return m_listening; }

protected:
    // The hooks of a plain listening socket do nothing; CDataInterface gives them meaning.
    void FireConnected(int, const QString &) override {}
    void FireDisconnected(int, const QString &) override {}
    void FireDataIn(const QByteArray &, bool) override {}
    void FireReadyToSend() override {}
    void FireError(int code, const QString &text) override;

    TcvbFTP *m_owner;
    TSocket m_listening = kInvalidSocket;
};

class CDataInterface : public CListeningSocket
{
    Q_OBJECT
public:
    enum Mode { DownloadToEvents = 1, UploadFromFile = 2, DownloadToFile = 3, Listing = 4 };
    // A listing longer than this is stopped and fails: a looping or hostile server must not
    // grow the caller's list without end.
    static constexpr std::int64_t kListingNameLimit = 1'000'000;
    static constexpr std::int64_t kListingByteLimit = 256LL * 1024 * 1024;

    explicit CDataInterface(TcvbFTP *owner);
    ~CDataInterface() override;

    Mode TransferMode() const { return m_mode; }
    void SetMode(Mode mode);
    std::int64_t ByteCounter() const { return m_counter; }

    // A transfer command is about to be sent: forget the end of the previous transfer.
    void BeginTransfer();
    // True once the data connection of this transfer has opened and closed again, or failed
    // to open.
    bool TransferEnded() const { return m_ended; }

    // The transfer command is on its way: an upload may send from now on. A server may connect
    // as soon as it gets PORT, and takes data only for the command that follows.
    void CommandSent() { m_commandSent = true; }
    // The first failure of the local file in this transfer (opening, writing, flushing or
    // closing it): 0, or the component's error code, with its text naming the system's error.
    int LocalError() const { return m_localError; }
    QString LocalErrorText() const { return m_localErrorText; }

    // The first failure of the data connection while receiving or securing it (a connection
    // cut before the TLS close among them): 0 or the error code, with its text.
    int ReceiveError() const { return m_receiveError; }
    QString ReceiveErrorText() const { return m_receiveErrorText; }
    // The server answered the transfer command with a 1xx reply: a TLS data connection starts
    // its handshake now (some servers reset one that starts earlier).
    void PreliminaryReply();

    // The upload pump: sends file blocks while the data socket takes them. 0 or an error code.
    int Pump();

    void HandleSocketMessage(TSocket socket, std::uint32_t event) override;

protected:
    void FireConnected(int status, const QString &description) override;
    void FireDisconnected(int status, const QString &description) override;
    void FireDataIn(const QByteArray &text, bool eol) override;
    void FireTlsReady(int code, const QString &text) override;
    void ReceiveFailed(int code, const QString &text) override;

private:
    void StartTlsWhenReady();
    void RecordReceiveError(int code, const QString &text);
    void Accept();
    // True when `peer` is the address of the control connection's server.
    bool FromControlPeer(const sockaddr_in &peer) const;
    void Opened();
    bool Ascii() const;
    // Records the first local file failure of the transfer, reports it through OnError and
    // closes the file: the rest of the transfer is not written.
    void LocalFileFailed(int code, const QString &what);

    Mode m_mode = DownloadToEvents;
    std::int64_t m_counter = 0;
    std::int64_t m_listedNames = 0;
    CTransferFile m_file;
    std::int64_t m_fileSize = 0;
    ftp::CrLfDecoder m_decoder;
    QByteArray m_pending; // upload bytes read from the file but not yet taken by the socket
    qsizetype m_pendingSent = 0;
    qsizetype m_pendingSource = 0;
    bool m_ended = true;
    int m_localError = 0;
    QString m_localErrorText;
    bool m_commandSent = false;
    bool m_replySeen = false;
    int m_receiveError = 0;
    QString m_receiveErrorText;
};

} // namespace cvb
