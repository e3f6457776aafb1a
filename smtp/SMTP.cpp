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

int TcvbSMTP::Step(const QByteArray &command)
{
    if (!command.isEmpty())
        Trail(0, QString::fromUtf8(command));
    TReply reply;
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
    if (!Connected()) {
        Trail(2, QStringLiteral("Connecting to mail server."));
        const int code = ConnectAndWait();
        if (code != 0)
            return code;
        const int greeting = Step({});
        if (greeting != 0)
            return greeting;
    }
    if (!m_localHostKnown) {
        m_localHost = LocalHost().left(100);
        m_localHostKnown = true;
    }
    return Step(m_localHost.isEmpty() ? QByteArrayLiteral("HELO") : "HELO " + wire(m_localHost));
}

int TcvbSMTP::Disconnect()
{
    if (!Connected())
        return 0;
    const int code = Step(QByteArrayLiteral("QUIT"));
    if (code != 0)
        Trail(2, QStringLiteral("Forcing disconnection from mail server."));
    const QString text = m_resultText;
    WithoutRaising(*this, [this] { SetConnected(false); });
    m_resultText = text;
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
