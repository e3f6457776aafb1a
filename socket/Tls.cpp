#include "socket/Tls.h"

#include <QDateTime>
#include <QRegularExpression>

#include <openssl/bio.h>
#include <openssl/err.h>
#include <openssl/ssl.h>
#include <openssl/x509.h>
#include <openssl/x509v3.h>

#include <mutex>

namespace cvb {

// The bytes of a channel travel through the socket library, so that its notifications are
// re-armed exactly as for a plain connection.
struct CTlsChannel::SocketIo
{
    const TWinsockFunctions *ws;
    TSocket socket;
    int lastError = 0; // the socket error of the last failed transfer
};

namespace {

int ioWrite(BIO *bio, const char *data, int length)
{
    auto *io = static_cast<CTlsChannel::SocketIo *>(BIO_get_data(bio));
    BIO_clear_retry_flags(bio);
    const int n = io->ws->send(io->socket, data, length, 0);
    io->lastError = 0;
    if (n >= 0)
        return n;
    io->lastError = io->ws->WSAGetLastError();
    if (io->lastError == ws::WSAEWOULDBLOCK)
        BIO_set_retry_write(bio);
    return -1;
}

int ioRead(BIO *bio, char *buffer, int length)
{
    auto *io = static_cast<CTlsChannel::SocketIo *>(BIO_get_data(bio));
    BIO_clear_retry_flags(bio);
    const int n = io->ws->recv(io->socket, buffer, length, 0);
    io->lastError = 0;
    if (n >= 0)
        return n;
    io->lastError = io->ws->WSAGetLastError();
    if (io->lastError == ws::WSAEWOULDBLOCK)
        BIO_set_retry_read(bio);
    return -1;
}

long ioControl(BIO *, int command, long, void *)
{
    return command == BIO_CTRL_FLUSH ? 1 : 0;
}

BIO_METHOD *socketIoMethod()
{
    static std::once_flag once;
    static BIO_METHOD *method = nullptr;
    std::call_once(once, [] {
        method = BIO_meth_new(BIO_get_new_index() | BIO_TYPE_SOURCE_SINK, "cvb socket");
        BIO_meth_set_write(method, ioWrite);
        BIO_meth_set_read(method, ioRead);
        BIO_meth_set_ctrl(method, ioControl);
        BIO_meth_set_create(method, [](BIO *bio) {
            BIO_set_init(bio, 1);
            return 1;
        });
    });
    return method;
}

QString openSslErrors()
{
    QString text;
    while (const unsigned long e = ERR_get_error()) {
        char buffer[256];
        ERR_error_string_n(e, buffer, sizeof buffer);
        const char *reason = ERR_reason_error_string(e);
        if (!text.isEmpty())
            text += QStringLiteral("; ");
        text += QString::fromUtf8(reason ? reason : buffer);
    }
    return text;
}

QString nameText(const X509_NAME *name)
{
    BIO *out = BIO_new(BIO_s_mem());
    X509_NAME_print_ex(out, name, 0, XN_FLAG_ONELINE & ~ASN1_STRFLGS_ESC_MSB);
    char *data = nullptr;
    const long length = BIO_get_mem_data(out, &data);
    const QString text = QString::fromUtf8(data, int(length));
    BIO_free(out);
    return text;
}

QString timeText(const ASN1_TIME *time)
{
    struct tm tm
    {
    };
    if (ASN1_TIME_to_tm(time, &tm) != 1)
        return {};
    const QDateTime utc(QDate(tm.tm_year + 1900, tm.tm_mon + 1, tm.tm_mday),
                        QTime(tm.tm_hour, tm.tm_min, tm.tm_sec), Qt::UTC);
    return utc.toString(QStringLiteral("yyyy-MM-dd HH:mm:ss 'UTC'"));
}

QString hexFingerprint(const unsigned char *digest, unsigned length)
{
    QString text;
    for (unsigned i = 0; i < length; ++i) {
        if (i > 0)
            text += QLatin1Char(':');
        text += QStringLiteral("%1").arg(digest[i], 2, 16, QLatin1Char('0')).toUpper();
    }
    return text;
}

bool isIpv4Address(const QString &text)
{
    static const QRegularExpression dotted(QStringLiteral("^\\d{1,3}(\\.\\d{1,3}){3}$"));
    return dotted.match(text).hasMatch();
}

} // namespace

QString normalizeFingerprint(const QString &text)
{
    QString hex = text.trimmed();
    for (const QString &label : {QStringLiteral("SHA256 FINGERPRINT="), QStringLiteral("SHA256:"),
                                 QStringLiteral("SHA-256:"), QStringLiteral("SHA256-")}) {
        if (hex.startsWith(label, Qt::CaseInsensitive)) {
            hex = hex.mid(label.size());
            break;
        }
    }
    static const QRegularExpression base64(QStringLiteral("^[A-Za-z0-9+/]{43}=?$"));
    if (base64.match(hex).hasMatch())
        hex = QString::fromLatin1(QByteArray::fromBase64(hex.toLatin1()).toHex());
    hex = hex.toUpper().remove(QLatin1Char(':'));
    static const QRegularExpression pattern(QStringLiteral("^[0-9A-F]{64}$"));
    if (!pattern.match(hex).hasMatch())
        return {};
    QString out;
    for (int i = 0; i < hex.size(); i += 2) {
        if (i > 0)
            out += QLatin1Char(':');
        out += hex.mid(i, 2);
    }
    return out;
}

QString shortFingerprint(const QString &fingerprint)
{
    const QString hex = normalizeFingerprint(fingerprint).remove(QLatin1Char(':'));
    if (hex.isEmpty())
        return {};
    return QStringLiteral("SHA256:") +
           QString::fromLatin1(QByteArray::fromHex(hex.toLatin1()).toBase64(QByteArray::OmitTrailingEquals));
}

QString tlsDistrust(const TlsCertificateInfo &certificate, const QString &pinned, const QString &server,
                    int port)
{
    const QString pin = normalizeFingerprint(pinned);
    if (certificate.verified || (!pin.isEmpty() && pin == certificate.fingerprint))
        return {};
    return QStringLiteral("%1 of %2:%3 is not trusted (%4); SHA-256 fingerprint %5.")
        .arg(shortFingerprint(certificate.fingerprint), server)
        .arg(port)
        .arg(pin.isEmpty() ? certificate.verifyError : QStringLiteral("not the pinned certificate"),
             certificate.fingerprint);
}

CTlsContext::CTlsContext()
{
    m_ctx = SSL_CTX_new(TLS_client_method());
    if (!m_ctx) {
        m_error = openSslErrors();
        return;
    }
    SSL_CTX_set_min_proto_version(m_ctx, TLS1_2_VERSION);
    // Trust is decided after the handshake (system store or a pinned fingerprint); the
    // verification result is kept for that decision.
    SSL_CTX_set_verify(m_ctx, SSL_VERIFY_NONE, nullptr);
    SSL_CTX_set_default_verify_paths(m_ctx);
    SSL_CTX_set_mode(m_ctx, SSL_MODE_ENABLE_PARTIAL_WRITE | SSL_MODE_ACCEPT_MOVING_WRITE_BUFFER);
}

CTlsContext::~CTlsContext()
{
    SSL_CTX_free(m_ctx);
}

CTlsChannel::CTlsChannel(CTlsContext &context, const TWinsockFunctions &ws, TSocket socket,
                         const QString &serverName, ssl_session_st *resume)
    : m_io(std::make_unique<SocketIo>(SocketIo{&ws, socket})), m_serverName(serverName)
{
    ERR_clear_error();
    m_ssl = context.Handle() ? SSL_new(context.Handle()) : nullptr;
    if (!m_ssl) {
        m_failed = true;
        m_errorText = openSslErrors();
        return;
    }
    BIO *bio = BIO_new(socketIoMethod());
    BIO_set_data(bio, m_io.get());
    SSL_set_bio(m_ssl, bio, bio);
    const QByteArray name = serverName.toUtf8();
    if (!name.isEmpty()) {
        X509_VERIFY_PARAM *param = SSL_get0_param(m_ssl);
        if (isIpv4Address(serverName)) {
            X509_VERIFY_PARAM_set1_ip_asc(param, name.constData());
        } else {
            SSL_set_tlsext_host_name(m_ssl, name.constData());
            X509_VERIFY_PARAM_set_hostflags(param, X509_CHECK_FLAG_NO_PARTIAL_WILDCARDS);
            SSL_set1_host(m_ssl, name.constData());
        }
    }
    if (resume)
        SSL_set_session(m_ssl, resume);
    SSL_set_connect_state(m_ssl);
}

CTlsChannel::~CTlsChannel()
{
    SSL_free(m_ssl);
}

int CTlsChannel::Fail(int code, int sslResult, const QString &what)
{
    const int kind = SSL_get_error(m_ssl, sslResult);
    QString reason = openSslErrors();
    if (reason.isEmpty() && kind == SSL_ERROR_SYSCALL)
        reason = m_io->lastError != 0 ? DescribeError(m_io->lastError)
                                      : QStringLiteral("the connection was closed");
    m_failed = true;
    m_errorText = what + (reason.isEmpty() ? QString() : QStringLiteral(": ") + reason) + QLatin1Char('.');
    return code;
}

CTlsChannel::Step CTlsChannel::Handshake()
{
    if (m_failed)
        return Step::Failed;
    ERR_clear_error();
    const int r = SSL_do_handshake(m_ssl);
    if (r == 1)
        return Step::Done;
    const int kind = SSL_get_error(m_ssl, r);
    if (kind == SSL_ERROR_WANT_READ || kind == SSL_ERROR_WANT_WRITE)
        return Step::Again;
    Fail(kTlsHandshakeFailed, r, QStringLiteral("TLS handshake failed"));
    return Step::Failed;
}

int CTlsChannel::Read(char *buffer, int length, int *error)
{
    if (m_failed) {
        *error = kTlsFailed;
        return -1;
    }
    ERR_clear_error();
    const int n = SSL_read(m_ssl, buffer, length);
    if (n > 0)
        return n;
    const int kind = SSL_get_error(m_ssl, n);
    switch (kind) {
    case SSL_ERROR_ZERO_RETURN:
        return 0;
    case SSL_ERROR_WANT_READ:
    case SSL_ERROR_WANT_WRITE:
        *error = ws::WSAEWOULDBLOCK;
        return -1;
    default:
        break;
    }
    const unsigned long first = ERR_peek_error();
    const bool cut = (kind == SSL_ERROR_SYSCALL && m_io->lastError == 0) ||
                     (kind == SSL_ERROR_SSL && ERR_GET_REASON(first) == SSL_R_UNEXPECTED_EOF_WHILE_READING);
    if (cut) {
        ERR_clear_error();
        m_failed = true;
        m_errorText =
            QStringLiteral("The connection ended without its TLS close: the data may be incomplete.");
        *error = kTlsTruncated;
        return -1;
    }
    *error = Fail(kTlsFailed, n, QStringLiteral("TLS receive failed"));
    return -1;
}

int CTlsChannel::Write(const char *data, int length, int *error)
{
    if (m_failed) {
        *error = kTlsFailed;
        return -1;
    }
    ERR_clear_error();
    const int n = SSL_write(m_ssl, data, length);
    if (n > 0)
        return n;
    const int kind = SSL_get_error(m_ssl, n);
    if (kind == SSL_ERROR_WANT_READ || kind == SSL_ERROR_WANT_WRITE) {
        *error = ws::WSAEWOULDBLOCK;
        return -1;
    }
    *error = Fail(kTlsFailed, n, QStringLiteral("TLS send failed"));
    return -1;
}

void CTlsChannel::Close()
{
    if (m_failed || m_closeSent || !m_ssl || !SSL_is_init_finished(m_ssl))
        return;
    m_closeSent = true;
    ERR_clear_error();
    // Sends the close alert; the peer's own close is read as the end of the data.
    SSL_shutdown(m_ssl);
    ERR_clear_error();
}

QString CTlsChannel::Protocol() const
{
    return QString::fromLatin1(SSL_get_version(m_ssl));
}

QString CTlsChannel::Cipher() const
{
    return QString::fromLatin1(SSL_get_cipher_name(m_ssl));
}

bool CTlsChannel::SessionReused() const
{
    return SSL_session_reused(m_ssl) == 1;
}

ssl_session_st *CTlsChannel::TakeSession() const
{
    return m_ssl ? SSL_get1_session(m_ssl) : nullptr;
}

TlsCertificateInfo CTlsChannel::PeerCertificate() const
{
    TlsCertificateInfo info;
    X509 *cert = m_ssl ? SSL_get1_peer_certificate(m_ssl) : nullptr;
    if (!cert)
        return info;
    info.subject = nameText(X509_get_subject_name(cert));
    info.issuer = nameText(X509_get_issuer_name(cert));
    info.notBefore = timeText(X509_get0_notBefore(cert));
    info.notAfter = timeText(X509_get0_notAfter(cert));
    unsigned char digest[EVP_MAX_MD_SIZE];
    unsigned length = 0;
    if (X509_digest(cert, EVP_sha256(), digest, &length) == 1)
        info.fingerprint = hexFingerprint(digest, length);
    X509_free(cert);
    const long result = SSL_get_verify_result(m_ssl);
    info.verified = result == X509_V_OK && !m_serverName.isEmpty();
    if (!info.verified)
        info.verifyError = m_serverName.isEmpty() ? QStringLiteral("no server name to check")
                                                  : QString::fromUtf8(X509_verify_cert_error_string(result));
    return info;
}

void FreeTlsSession(ssl_session_st *session)
{
    SSL_SESSION_free(session);
}

} // namespace cvb
