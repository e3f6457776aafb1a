// TLS for the socket layer, on OpenSSL: a client context (system certificate store, TLS 1.2 or
// newer) and one TLS channel per connection. The channel moves its bytes through the socket
// library's recv and send, so non-blocking sockets and their notifications work as for plain
// connections: a channel that cannot go on says so (want read / want write) and is called
// again when the socket's next notification comes.
#pragma once
#include "socket/Winsock.h"

#include <QString>
#include <memory>

struct ssl_ctx_st;
struct ssl_st;
struct ssl_session_st;

namespace cvb {

// Error codes of the TLS layer.
inline constexpr int kTlsHandshakeFailed = 330;
inline constexpr int kTlsTruncated = 331;
inline constexpr int kTlsFailed = 332;
inline constexpr int kTlsUntrusted = 333;
// The handshake did not end within its limit.
inline constexpr int kTlsTimedOut = 334;
// Plain text came behind the reply that agreed to TLS, before the handshake: a man in the
// middle may have placed it there to be read as if it had come encrypted.
inline constexpr int kTlsPlainTextInjected = 335;

// What a person needs to decide whether to trust a server's certificate.
struct TlsCertificateInfo
{
    QString subject;
    QString issuer;
    QString notBefore;
    QString notAfter;
    QString fingerprint;   // SHA-256, "AB:CD:..."
    bool verified = false; // verified against the system's store for the server's name
    QString verifyError;   // why not, when not

    bool isEmpty() const { return fingerprint.isEmpty(); }
};

// "AB:CD:..." in capitals from a fingerprint written in hexadecimal with or without colons, in
// any case, with or without a leading "SHA256:" / "SHA256 Fingerprint=" label, or as
// "SHA256:" and base64 (the short form); empty when it is not 32 bytes.
QString normalizeFingerprint(const QString &text);
// The short form of a fingerprint, "SHA256:" and 43 characters of base64, that fits a log row.
QString shortFingerprint(const QString &fingerprint);

// The trust rule of every TLS connection: a certificate is trusted when the system's store
// vouches for it under the server's name, or when its fingerprint is the one pinned for the
// server (`pinned` in any spelling, empty for none). Returns an empty text when it is trusted,
// else the reason for a log row, which names the short fingerprint and "server:port" first (a
// row keeps 100 characters) and ends with the whole fingerprint.
QString tlsDistrust(const TlsCertificateInfo &certificate, const QString &pinned, const QString &server,
                    int port);

class CTlsContext
{
public:
    CTlsContext();
    ~CTlsContext();
    CTlsContext(const CTlsContext &) = delete;
    CTlsContext &operator=(const CTlsContext &) = delete;

    // False when the library could not make a context (its text in Error()).
    bool Ok() const { return m_ctx != nullptr; }
    QString Error() const { return m_error; }
    ssl_ctx_st *Handle() const { return m_ctx; }

private:
    ssl_ctx_st *m_ctx = nullptr;
    QString m_error;
};

class CTlsChannel
{
public:
    enum class Step { Done, Again, Failed };
    struct SocketIo; // the socket the channel's bytes travel through

    // `serverName` is checked against the certificate (a host name or an IPv4 address) and sent
    // as the server name indication; `resume` is a session to resume (may be null).
    CTlsChannel(CTlsContext &context, const TWinsockFunctions &ws, TSocket socket, const QString &serverName,
                ssl_session_st *resume);
    ~CTlsChannel();
    CTlsChannel(const CTlsChannel &) = delete;
    CTlsChannel &operator=(const CTlsChannel &) = delete;

    Step Handshake();
    // Bytes read (> 0); 0 at the end of the data (the peer's TLS close); -1 with *error set:
    // WSAEWOULDBLOCK when the channel waits for the socket, kTlsTruncated when the connection
    // ended without the peer's TLS close, another code when the channel failed.
    int Read(char *buffer, int length, int *error);
    // Bytes written (> 0, possibly fewer than asked for) or -1 with *error set
    // (WSAEWOULDBLOCK: call again with the same bytes when the socket can take more).
    int Write(const char *data, int length, int *error);
    // Sends this side's TLS close once (not after a failure).
    void Close();
    bool CloseSent() const { return m_closeSent; }
    bool Failed() const { return m_failed; }
    // The text of the last failure.
    QString ErrorText() const { return m_errorText; }

    QString Protocol() const;
    QString Cipher() const;
    bool SessionReused() const;
    // A new reference to the session, for resuming it on another connection (null if none).
    ssl_session_st *TakeSession() const;
    TlsCertificateInfo PeerCertificate() const;

private:
    int Fail(int code, int sslResult, const QString &what);

    ssl_st *m_ssl = nullptr;
    std::unique_ptr<SocketIo> m_io;
    bool m_failed = false;
    bool m_closeSent = false;
    QString m_errorText;
    QString m_serverName;
};

// Releases a session reference from TakeSession.
void FreeTlsSession(ssl_session_st *session);

} // namespace cvb
