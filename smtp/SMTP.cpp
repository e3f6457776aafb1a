#include "smtp/SMTP.h"

#include <algorithm>

#include "smtp/SMTPAddress.h"

#include <new>
#include <stdexcept>

namespace cvb {

namespace {

constexpr int kHeaderWidth = 80;
constexpr int kReplyRefused = 161;
constexpr int kConnectionEvent = 162;
constexpr int kNoSender = 164;
constexpr int kNoRecipient = 165;
constexpr int kBusy = 166;
constexpr int kControlInAddress = 167;

// A control character (a line break above all) in an address would end the command that carries
// it and start another one of the writer's choosing.
bool holdsControl(const QString &value)
{
    return std::any_of(value.begin(), value.end(),
                       [](QChar c) { return c.unicode() < 0x20 || c.unicode() == 0x7F; });
}

// The value with its control characters made visible, for the error text.
QString visible(QString value)
{
    value.replace(QLatin1Char('\r'), QStringLiteral("\\r")).replace(QLatin1Char('\n'), QStringLiteral("\\n"));
    for (QChar &c : value)
        if (c.unicode() < 0x20 || c.unicode() == 0x7F)
            c = QLatin1Char('?');
    return value;
}

// "250-..." continues a reply; any other line ends it.
bool endsReply(const QByteArray &line)
{
    return line.size() < 4 || line.at(3) != '-';
}

QByteArray wire(const QString &text)
{
    return text.toUtf8();
}

// Header folding at the width of 80.
QString fold(const QString &value)
{
    return QString::fromUtf8(CIPPortMsgPlusFile::FoldLine(wire(value), kHeaderWidth));
}

QStringList foldAll(const QStringList &list)
{
    QStringList folded;
    for (const QString &entry : list)
        folded << fold(entry);
    return folded;
}

} // namespace

TcvbSMTP::TcvbSMTP(QObject *parent) : CIPPortMsgPlusFile(parent)
{
    SetEOL(QByteArrayLiteral("\r\n"));
    SetRemotePort(25);
}

TcvbSMTP::~TcvbSMTP()
{
    BeginTearDown();
}

std::exception_ptr TcvbSMTP::CreateError(int code, const QString &text)
{
    return std::make_exception_ptr(EcvbSMTP(code, text));
}

void TcvbSMTP::SetFrom(const QString &from)
{
    m_from = fold(from);
}

void TcvbSMTP::SetSendTo(const QStringList &list)
{
    m_sendTo = foldAll(list);
}

void TcvbSMTP::SetCc(const QStringList &list)
{
    m_cc = foldAll(list);
}

void TcvbSMTP::SetBCc(const QStringList &list)
{
    m_bcc = foldAll(list);
}

void TcvbSMTP::SetReplyTo(const QString &value)
{
    m_replyTo = fold(value);
}

void TcvbSMTP::SetDate(const QString &value)
{
    m_date = fold(value);
}

void TcvbSMTP::SetSubject(const QString &value)
{
    m_subject = fold(value);
}

void TcvbSMTP::Assign(const TcvbSMTP &other)
{
    SetMailPort(other.MailPort());
    SetMailServer(const_cast<TcvbSMTP &>(other).MailServer());
    m_security = other.m_security;
    m_serverName = other.m_serverName;
    m_trustedFingerprint = other.m_trustedFingerprint;
    m_user = other.m_user;
    m_password = other.m_password;
    m_from = other.m_from;
    m_sendTo = other.m_sendTo;
    m_cc = other.m_cc;
    m_bcc = other.m_bcc;
    m_replyTo = other.m_replyTo;
    m_date = other.m_date;
    m_subject = other.m_subject;
    m_otherHeaders = other.m_otherHeaders;
    m_messageText = other.m_messageText;
    OnPITrail = other.OnPITrail;
    OnTransfer = other.OnTransfer;
    OnStartTransfer = other.OnStartTransfer;
    OnEndTransfer = other.OnEndTransfer;
}

void TcvbSMTP::Trail(int direction, const QString &message)
{
    if (OnPITrail)
        OnPITrail(this, direction, message);
}

int TcvbSMTP::Fail(int code, const QString &text)
{
    m_resultText = text;
    return code;
}

void TcvbSMTP::SetAction(int action)
{
    if (action < smtpIdle || action > smtpCommand)
        throw std::invalid_argument("Invalid Action Value");
    if (action == smtpIdle) {
        if (m_action != smtpIdle)
            Interrupt();
        return;
    }
    if (m_action != smtpIdle) {
        ReportBusy(kBusy);
        return;
    }
    m_action = action;
    m_resultText.clear();
    SetLastError(0, {});
    int code = 0;
    try {
        code = run(action);
    } catch (...) {
        m_action = smtpIdle;
        throw;
    }
    m_action = smtpIdle;
    if (code != 0)
        ReportError(code, m_resultText.isEmpty() ? LastErrorText() : m_resultText);
}

int TcvbSMTP::run(int action)
{
    switch (action) {
    case smtpConnect:
        return Connect();
    case smtpDisconnect:
        return Disconnect();
    case smtpSend:
        return Send();
    case smtpResetHeaders:
        ResetHeaders();
        return 0;
    case smtpCommand:
        // Without a command there is no reply to wait for.
        return m_command.isEmpty() ? 0 : Step(wire(m_command));
    default:
        return 0;
    }
}

void TcvbSMTP::ResetHeaders()
{
    m_from.clear();
    m_sendTo.clear();
    m_cc.clear();
    m_bcc.clear();
    m_replyTo.clear();
    m_date.clear();
    m_subject.clear();
    m_otherHeaders.clear();
    m_messageText.clear();
    m_attachedFile.clear();
}

int TcvbSMTP::Step(const QByteArray &command, const QString &traced)
{
    if (!command.isEmpty())
        Trail(0, traced.isEmpty() ? QString::fromUtf8(command) : traced);
    TReply &reply = m_reply;
    reply = {};
    int code = Exchange(command, {}, QByteArrayLiteral("\r\n"), endsReply, reply);
    for (; code == 0; code = ReadReply(endsReply, reply)) {
        const QByteArray line = reply.Last();
        if (line.startsWith('2') || line.startsWith('3'))
            return 0;
        // A "1xx" reply is preliminary: the final one follows.
        if (!line.startsWith('1'))
            return Fail(kReplyRefused, QString::fromUtf8(line));
    }
    return code;
}

void TcvbSMTP::ReplyLineHook(const QByteArray &line)
{
    Trail(1, QString::fromUtf8(line));
}

int TcvbSMTP::Connect()
{
    // A log-in over plain SMTP would show the password to everyone on the way: nothing is sent.
    if (m_security == smtpsNone && !m_user.isEmpty())
        return Fail(kSmtpNoLogIn,
                    QStringLiteral("An SMTP user is set, but the mail server address %1 names no encryption "
                                   "(submission:// or smtps://); the log-in is never sent unencrypted, so "
                                   "nothing was sent.")
                        .arg(ServerName()));
    if (!Connected()) {
        m_peerCertificate = {};
        m_authenticated = false;
        Trail(2, QStringLiteral("Connecting to mail server."));
        int code = ConnectAndWait();
        if (code == 0 && m_security == smtpsImplicit)
            code = Secure();
        if (code == 0)
            code = Step({}); // the greeting
        if (code != 0)
            return code;
    }
    if (!m_localHostKnown) {
        m_localHost = LocalHost().left(100);
        m_localHostKnown = true;
    }
    if (m_security == smtpsNone)
        return Step(m_localHost.isEmpty() ? QByteArrayLiteral("HELO") : "HELO " + wire(m_localHost));
    int code = Ehlo();
    if (code == 0 && TlsStatus() != TlsState::Up) {
        code = StartTls();
        // What the server offered in the clear may have been changed on the way: it is asked again.
        if (code == 0)
            code = Ehlo();
    }
    if (code == 0 && !m_user.isEmpty() && !m_authenticated)
        code = Authenticate();
    return code;
}

int TcvbSMTP::Ehlo()
{
    // EHLO needs a name: without one the client names itself as the local host.
    const int code = Step("EHLO " + wire(m_localHost.isEmpty() ? QStringLiteral("localhost") : m_localHost));
    m_startTlsOffered = false;
    m_authMechanisms.clear();
    if (code != 0)
        return code;
    // "250-STARTTLS", "250-AUTH PLAIN LOGIN" (and the older "250-AUTH=LOGIN"): the first line
    // names the server.
    for (qsizetype i = 1; i < m_reply.Lines.size(); ++i) {
        const QString offer = QString::fromUtf8(m_reply.Lines.at(i).mid(4)).trimmed().toUpper();
        if (offer == QLatin1String("STARTTLS"))
            m_startTlsOffered = true;
        else if (offer.startsWith(QLatin1String("AUTH ")) || offer.startsWith(QLatin1String("AUTH=")))
            m_authMechanisms += offer.mid(5).split(QLatin1Char(' '), Qt::SkipEmptyParts);
    }
    return 0;
}

int TcvbSMTP::StartTls()
{
    const QString unsent = m_user.isEmpty() ? QStringLiteral("the message was not sent")
                                            : QStringLiteral("neither the log-in nor the message was sent");
    if (!m_startTlsOffered)
        return Fail(kSmtpNotSecured, QStringLiteral("The mail server %1:%2 does not offer STARTTLS, which "
                                                    "submission:// requires; %3.")
                                         .arg(ServerName())
                                         .arg(MailPort())
                                         .arg(unsent));
    int code = Step(QByteArrayLiteral("STARTTLS"));
    if (code == kReplyRefused || (code == 0 && !m_reply.Last().startsWith("220")))
        return Fail(kSmtpNotSecured, QStringLiteral("The mail server %1:%2 refused STARTTLS (%3); %4.")
                                         .arg(ServerName())
                                         .arg(MailPort())
                                         .arg(QString::fromUtf8(m_reply.Last().trimmed()), unsent));
    if (code == 0)
        code = Secure();
    return code;
}

int TcvbSMTP::Secure()
{
    Trail(2, QStringLiteral("Starting TLS."));
    if (!m_tlsContext)
        m_tlsContext = std::make_unique<CTlsContext>();
    if (!m_tlsContext->Ok()) {
        DropConnection();
        return Fail(kTlsFailed, m_tlsContext->Error());
    }
    // A failed handshake has closed the connection already; its text is in LastErrorText.
    const int code = StartTlsOnCleanLine(*m_tlsContext, ServerName());
    if (code != 0)
        return code;
    m_peerCertificate = TlsChannel()->PeerCertificate();
    const QString distrust = tlsDistrust(m_peerCertificate, m_trustedFingerprint, ServerName(), MailPort());
    if (!distrust.isEmpty()) {
        DropConnection();
        return Fail(kTlsUntrusted, distrust);
    }
    Trail(2, QStringLiteral("TLS established: %1, cipher %2%3.")
                 .arg(TlsChannel()->Protocol(), TlsChannel()->Cipher(),
                      m_peerCertificate.verified ? QString() : QStringLiteral(", pinned certificate")));
    return 0;
}

int TcvbSMTP::Authenticate()
{
    if (TlsStatus() != TlsState::Up)
        return Fail(kSmtpNoLogIn, QStringLiteral("The connection to the mail server is not encrypted; the "
                                                 "log-in was not sent."));
    const QByteArray user = wire(m_user);
    const QByteArray password = wire(m_password);
    const QString hidden = QStringLiteral("****");
    int code = 0;
    if (m_authMechanisms.contains(QLatin1String("PLAIN"))) {
        // RFC 4616: no authorisation identity, the user, the password, separated by NUL.
        const QByteArray response = (QByteArray(1, '\0') + user + '\0' + password).toBase64();
        code = Expect(Step("AUTH PLAIN " + response, QStringLiteral("AUTH PLAIN ") + hidden), "235");
    } else if (m_authMechanisms.contains(QLatin1String("LOGIN"))) {
        code = Expect(Step(QByteArrayLiteral("AUTH LOGIN")), "334");
        if (code == 0)
            code = Expect(Step(user.toBase64()), "334");
        if (code == 0)
            code = Expect(Step(password.toBase64(), hidden), "235");
    } else {
        return Fail(kSmtpNoLogIn,
                    QStringLiteral("The mail server %1 offers neither AUTH PLAIN nor AUTH LOGIN "
                                   "(it offers: %2); the log-in was not sent.")
                        .arg(ServerName(), m_authMechanisms.isEmpty()
                                               ? QStringLiteral("no AUTH at all")
                                               : m_authMechanisms.join(QLatin1Char(' '))));
    }
    m_authenticated = code == 0;
    return code;
}

int TcvbSMTP::Expect(int result, const char *code)
{
    if (result == 0 && !m_reply.Last().startsWith(code))
        return Fail(kReplyRefused, QString::fromUtf8(m_reply.Last()));
    return result;
}

void TcvbSMTP::DropConnection()
{
    const QString text = m_resultText;
    WithoutRaising(*this, [this] { SetConnected(false); });
    m_resultText = text;
}

int TcvbSMTP::Disconnect()
{
    if (!Connected())
        return 0;
    const int code = Step(QByteArrayLiteral("QUIT"));
    if (code != 0)
        Trail(2, QStringLiteral("Forcing disconnection from mail server."));
    DropConnection();
    return code;
}

void TcvbSMTP::FireConnected(int status, const QString &description)
{
    if (status == 0)
        Trail(2, QStringLiteral("Connected."));
    else
        FireError(kConnectionEvent, QStringLiteral("Failed to connect: ") + description);
    CIPPortMsgPlusFile::FireConnected(status, description);
}

void TcvbSMTP::FireDisconnected(int status, const QString &description)
{
    if (status == 0)
        Trail(2, QStringLiteral("Disconnected."));
    else
        FireError(kConnectionEvent, QStringLiteral("Disconnected: ") + description);
    CIPPortMsgPlusFile::FireDisconnected(status, description);
}

QByteArray TcvbSMTP::HeaderBlock() const
{
    QString header = QStringLiteral("To: ") + fold(m_sendTo.join(QStringLiteral("\r\n,")));
    header += QStringLiteral("\r\nFrom: ") + m_from;
    if (!m_subject.isEmpty())
        header += QStringLiteral("\r\nSubject: ") + m_subject;
    if (!m_replyTo.isEmpty())
        header += QStringLiteral("\r\nReply-To: ") + m_replyTo;
    if (!m_date.isEmpty())
        header += QStringLiteral("\r\nDate: ") + m_date;
    const QString cc = m_cc.join(QLatin1Char(','));
    if (!cc.isEmpty())
        header += QStringLiteral("\r\nCc: ") + fold(cc);
    header += QStringLiteral("\r\n");
    if (!m_otherHeaders.isEmpty())
        header += m_otherHeaders.join(QStringLiteral("\r\n")) + QStringLiteral("\r\n");
    header += QStringLiteral("\r\n");
    return wire(header);
}

int TcvbSMTP::Send()
{
    // The sender is checked as its envelope address: a long From value is folded on purpose.
    for (const QStringList &list : {QStringList{smtp::SenderAddress(m_from)}, m_sendTo, m_cc, m_bcc}) {
        for (const QString &value : list) {
            if (holdsControl(value))
                return Fail(kControlInAddress,
                            QStringLiteral("The address \"%1\" holds a control character; nothing was sent.")
                                .arg(visible(value)));
        }
    }
    int code = Connect();
    if (code != 0)
        return code;
    if (m_from.isEmpty())
        return Fail(kNoSender, QStringLiteral("Please specify a sender (From)."));
    if (m_sendTo.isEmpty() || m_sendTo.first().trimmed().isEmpty())
        return Fail(kNoRecipient, QStringLiteral("Please specify a recipient (To)."));
    if ((code = Step(QByteArrayLiteral("RSET"))) != 0)
        return code;
    if ((code = Step("MAIL FROM:" + wire(smtp::SenderAddress(m_from)))) != 0)
        return code;
    for (const QStringList *list : {&m_sendTo, &m_cc, &m_bcc}) {
        for (const QString &entry : *list) {
            for (const QString &address : smtp::ParseRecipients(entry)) {
                code = Step("RCPT TO:<" + wire(address) + '>');
                if (code == kReplyRefused && list == &m_bcc) {
                    // A blind recipient the server refuses is reported; the others still get
                    // the message.
                    FireError(code, m_resultText);
                    m_resultText.clear();
                    code = 0;
                }
                if (code != 0)
                    return code;
            }
        }
    }
    if ((code = Step(QByteArrayLiteral("DATA"))) != 0)
        return code;
    const QByteArray header = HeaderBlock();
    if ((code = SendAll(header)) != 0)
        return code;
    if ((code = SendBody()) != 0)
        return code;
    if ((code = SendAll("\r\n", 2)) != 0)
        return code;
    return Step(QByteArrayLiteral("."));
}

int TcvbSMTP::SendBody()
{
    int code = 0;
    if (!m_messageText.isEmpty()) {
        if (OnStartTransfer)
            OnStartTransfer(this);
        QByteArray text;
        bool joined = true;
        try {
            QList<QByteArray> lines;
            lines.reserve(m_messageText.size());
            for (const QString &entry : m_messageText)
                lines << wire(entry);
            text = JoinLines(lines, QByteArrayLiteral("\r\n"), true);
        } catch (const std::bad_alloc &) {
            joined = false;
        }
        if (joined) {
            code = SendAll(text);
            if (code == 0 && OnTransfer)
                OnTransfer(this, text.size());
        } else {
            // Not enough memory for the whole text: line by line.
            std::int64_t sent = 0;
            for (const QString &entry : m_messageText) {
                QByteArray line = wire(entry);
                if (line.startsWith('.'))
                    line.prepend('.');
                line += "\r\n";
                if ((code = SendAll(line)) != 0)
                    break;
                sent += line.size();
                if (OnTransfer)
                    OnTransfer(this, sent);
            }
        }
        if (OnEndTransfer)
            OnEndTransfer(this);
        if (code != 0)
            return code;
    }
    if (!m_attachedFile.isEmpty()) {
        if (OnStartTransfer)
            OnStartTransfer(this);
        m_transferring = true;
        code = SendFile(m_attachedFile);
        m_transferring = false;
        if (OnEndTransfer)
            OnEndTransfer(this);
    }
    return code;
}

int TcvbSMTP::FileProgressHook(qint64 bytesSent)
{
    if (m_transferring && OnTransfer)
        OnTransfer(this, bytesSent);
    return 0;
}

} // namespace cvb
