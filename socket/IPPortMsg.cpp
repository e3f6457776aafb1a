#include "socket/IPPortMsg.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QFile>
#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstring>
#include <fcntl.h>
#include <memory>
#include <unistd.h>

namespace cvb {

namespace {

const QString kInterruptedText = QStringLiteral("Interrupted");
const QString kTimedOutText = QStringLiteral("Timed out");

} // namespace

// One running wait of the component: counted in the sink while it lasts.
class CIPPortMsg::WaitFrame
{
public:
    explicit WaitFrame(CSocketNotify *notify) : m_notify(notify), m_depth(notify->BeginWait()) {}
    ~WaitFrame() { m_notify->EndWait(); }
    WaitFrame(const WaitFrame &) = delete;
    WaitFrame &operator=(const WaitFrame &) = delete;
    int Depth() const { return m_depth; }

private:
    CSocketNotify *m_notify;
    int m_depth;
};

CIPPortMsg::CIPPortMsg(QObject *parent) : CcvbIPPort(parent)
{
}

CIPPortMsg::Pump CIPPortMsg::PumpEvents(const WaitFrame &frame, const QDeadlineTimer &deadline)
{
    // An interrupt or a limit ends the wait at its next pass, so the caller first sees the
    // outcome of the events just handled (a line, a failed connect).
    CSocketNotify *notify = SocketNotify();
    if (notify->IsInterrupted(frame.Depth()))
        return Pump::Interrupted;
    if (!deadline.isForever()) {
        if (deadline.hasExpired())
            return Pump::TimedOut;
        notify->WakeAfter(deadline.remainingTime());
    }
    const qint64 limitMs = static_cast<qint64>(m_idleLimit) * 1000;
    if (limitMs > 0) {
        const qint64 idle = notify->IdleMs();
        if (idle >= limitMs)
            return Pump::TimedOut;
        notify->WakeAfter(limitMs - idle);
    }
    // Sleeps until an event arrives: a notification, a timer, user input or an interrupt.
    QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    return Pump::GoOn;
}

int CIPPortMsg::WaitEnded(Pump why)
{
    if (why == Pump::TimedOut)
        SetLastError(kTimedOut, kTimedOutText);
    else
        SetLastError(kInterrupted, kInterruptedText);
    return kInterrupted;
}

int CIPPortMsg::PumpOne()
{
    WaitFrame frame(SocketNotify());
    const Pump result = PumpEvents(frame);
    return result == Pump::GoOn ? 0 : WaitEnded(result);
}

int CIPPortMsg::WaitUntil(const std::function<bool()> &done)
{
    return WaitUntil(done, QDeadlineTimer(QDeadlineTimer::Forever));
}

int CIPPortMsg::WaitUntil(const std::function<bool()> &done, const QDeadlineTimer &deadline)
{
    WaitFrame frame(SocketNotify());
    for (;;) {
        if (done())
            return 0;
        if (const int hook = IdleHook(); hook != 0)
            return hook;
        if (done())
            return 0;
        const Pump result = PumpEvents(frame, deadline);
        if (result != Pump::GoOn)
            return WaitEnded(result);
    }
}

void CIPPortMsg::Interrupt()
{
    SocketNotify()->Interrupt();
    SetLastError(LastErrorCode(), QStringLiteral("Interrupted."));
}

int CIPPortMsg::ConnectAndWait()
{
    m_partialLine.clear();
    if (Connected())
        return 0;
    m_connectResult = 0;
    WithoutRaising(*this, [this] {
        SetAcceptData(false);
        SetConnected(true);
    });
    if (LastErrorCode() != 0)
        return LastErrorCode();
    WaitFrame frame(SocketNotify());
    for (;;) {
        if (Connected() || m_connectResult != 0) {
            SetAcceptData(true);
            return m_connectResult;
        }
        const Pump result = PumpEvents(frame);
        if (result != Pump::GoOn)
            return WaitEnded(result);
    }
}

int CIPPortMsg::SendCommand(const QByteArray &command, const QByteArray &argument,
                            const QByteArray &terminator)
{
    if (command.isEmpty())
        return SendAndWait({});
    QByteArray line = command;
    if (!argument.isEmpty())
        line += ' ' + argument;
    return SendAndWait(line + terminator);
}

int CIPPortMsg::SendLine(const QByteArray &text)
{
    return SendAndWait(text);
}

int CIPPortMsg::SendAndWait(const QByteArray &line)
{
    m_waiting = true;
    m_replyLine.clear();
    SetAcceptData(false);
    if (!line.isEmpty()) {
        const int result = SendAll(line);
        if (result != 0) {
            m_waiting = false;
            SetAcceptData(true);
            return result;
        }
    }
    return WaitReply();
}

int CIPPortMsg::WaitReply()
{
    WaitFrame frame(SocketNotify());
    m_waiting = true;
    // Posts a read notification: a line already buffered comes at once.
    SetAcceptData(true);
    for (;;) {
        // A read notification that found the read loop busy left its data to this wait.
        if (m_waiting && TakeDeferredRead() && Socket() != kInvalidSocket)
            ReadLoop(ReadMode::Normal);
        // Lines that arrived before the peer closed are still handed out.
        if (m_waiting && Socket() == kInvalidSocket)
            DeliverHeldData();
        if (!m_waiting)
            return 0;
        if (!Connected())
            break;
        if (const int hook = IdleHook(); hook != 0)
            return hook;
        const Pump result = PumpEvents(frame);
        if (result != Pump::GoOn)
            return WaitEnded(result);
    }
    return WaitEnded(Pump::Interrupted);
}

int CIPPortMsg::Exchange(const QByteArray &command, const QByteArray &argument, const QByteArray &terminator,
                         const TReplyEnds &endsReply, TReply &reply)
{
    reply = {};
    const int result = SendCommand(command, argument, terminator);
    return result != 0 ? result : TakeReply(endsReply, reply);
}

int CIPPortMsg::ReadReply(const TReplyEnds &endsReply, TReply &reply)
{
    reply = {};
    const int result = WaitReply();
    return result != 0 ? result : TakeReply(endsReply, reply);
}

int CIPPortMsg::TakeReply(const TReplyEnds &endsReply, TReply &reply)
{
    for (;;) {
        // The next line stays buffered until it is asked for, also without OneLinePerWait.
        SetAcceptData(false);
        const QByteArray line = m_replyLine;
        reply.Lines.append(line);
        ReplyLineHook(line);
        if (endsReply(line))
            return 0;
        if (const int result = WaitReply(); result != 0)
            return result;
    }
}

void CIPPortMsg::ReplyLineHook(const QByteArray &)
{
}

int CIPPortMsg::SendAll(const char *data, qint64 length)
{
    if (length <= 0)
        return 0;
    qint64 sent = 0;
    std::unique_ptr<WaitFrame> frame;
    for (;;) {
        const int chunk = static_cast<int>(std::min<qint64>(length - sent, INT_MAX));
        const int result = SendBytes(data + sent, chunk);
        if (result == 0) {
            sent += chunk;
            if (sent == length)
                return 0;
            continue;
        }
        if (result != ws::WSAEWOULDBLOCK)
            return result;
        sent += BytesSent();
        if (!frame)
            frame = std::make_unique<WaitFrame>(SocketNotify());
        // Sleeps until the socket can take more (or something else happens).
        const Pump pumped = PumpEvents(*frame);
        if (pumped != Pump::GoOn)
            return WaitEnded(pumped);
        if (const int hook = SendProgressHook(sent); hook != 0)
            return hook;
    }
}

int CIPPortMsg::SendProgressHook(qint64)
{
    return 0;
}

int CIPPortMsg::IdleHook()
{
    return 0;
}

void CIPPortMsg::FireConnected(int status, const QString &description)
{
    m_connectResult = status;
    if (status != 0) {
        Interrupt();
        // The wait ends because the connection failed: that is the error to report, not the
        // interruption of the wait.
        SetLastError(status, description);
    }
    CcvbIPPort::FireConnected(status, description);
}

int CIPPortMsg::StartTlsOnCleanLine(CTlsContext &context, const QString &serverName, ssl_session_st *resume)
{
    if (!Connected()) {
        SetLastError(ws::WSAENOTCONN, DescribeError(ws::WSAENOTCONN));
        return ws::WSAENOTCONN;
    }
    const QString peer = serverName + QLatin1Char(':') + QString::number(RemotePort());
    if (PlainTextWaiting())
        return FailTls(kTlsPlainTextInjected,
                       peer + QStringLiteral(" sent plain text after agreeing to TLS (a sign of injected "
                                             "replies); the connection was closed."));
    m_handshaking = true;
    m_tlsResult = 0;
    m_tlsResultText.clear();
    StartTls(context, serverName, resume);
    const QDeadlineTimer deadline = m_tlsHandshakeLimit > 0
                                        ? QDeadlineTimer(std::chrono::seconds(m_tlsHandshakeLimit))
                                        : QDeadlineTimer(QDeadlineTimer::Forever);
    const int result = WaitUntil([this] { return !m_handshaking || !Connected(); }, deadline);
    if (result == kInterrupted && LastErrorCode() == kTimedOut)
        return FailTls(kTlsTimedOut, QStringLiteral("TLS handshake with %1 timed out.").arg(peer));
    if (result != 0)
        return FailTls(result, LastErrorText());
    if (m_handshaking) {
        // The peer closed the connection before the handshake ended.
        m_handshaking = false;
        m_tlsResult = kTlsHandshakeFailed;
        m_tlsResultText = QStringLiteral("TLS handshake failed: the server closed the connection.");
    }
    return m_tlsResult != 0 ? FailTls(m_tlsResult, m_tlsResultText) : 0;
}

bool CIPPortMsg::PlainTextWaiting()
{
    // Bytes still on the socket are read by the handshake, as TLS records, and fail it if they
    // are not; only what the line layer has taken in already could pass for decrypted data.
    return !Fifo().IsEmpty() || !m_partialLine.isEmpty();
}

int CIPPortMsg::FailTls(int code, const QString &text)
{
    m_handshaking = false;
    Fifo().Clear();
    m_partialLine.clear();
    WithoutRaising(*this, [this] { SetConnected(false); });
    SetLastError(code, text);
    return code;
}

void CIPPortMsg::FireTlsReady(int code, const QString &text)
{
    // The waiting caller reports a failure.
    m_handshaking = false;
    m_tlsResult = code;
    m_tlsResultText = text;
}

void CIPPortMsg::FireDisconnected(int status, const QString &description)
{
    m_connectResult = status;
    if (m_waiting)
        Interrupt();
    CcvbIPPort::FireDisconnected(status, description);
}

void CIPPortMsg::FireLinePiece(const QByteArray &piece)
{
    // Only the first bytes are kept: a line without end costs no more memory than a short one.
    m_partialLine += piece.left(kReplyLineSize - m_partialLine.size());
}

void CIPPortMsg::FireDataIn(const QByteArray &text, bool eol)
{
    if (!m_partialLine.isEmpty()) {
        const QByteArray whole = m_partialLine + text.left(kReplyLineSize - m_partialLine.size());
        m_partialLine.clear();
        FireDataIn(whole, eol);
        return;
    }
    m_replyLine = text.left(kReplyLineSize);
    m_waiting = false;
    if (m_oneLinePerWait)
        SetAcceptData(false);
    CcvbIPPort::FireDataIn(text, eol);
}

void CIPPortMsg::FireReadyToSend()
{
}

CIPPortMsgPlusFile::CIPPortMsgPlusFile(QObject *parent) : CIPPortMsg(parent)
{
}

int CIPPortMsgPlusFile::FileProgressHook(qint64)
{
    return 0;
}

int CIPPortMsgPlusFile::SendProgressHook(qint64 sentSoFar)
{
    return m_sendingFile ? FileProgressHook(sentSoFar) : 0;
}

int CIPPortMsgPlusFile::SendFile(const QString &path)
{
    const auto fileError = [this](int error) {
        SetLastError(error, QString::fromLocal8Bit(std::strerror(error)));
        return error;
    };
    const int fd = ::open(QFile::encodeName(path).constData(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return fileError(errno);
    m_sendingFile = true;
    struct Close
    {
        int fd;
        bool &flag;
        ~Close()
        {
            ::close(fd);
            flag = false;
        }
    } close{fd, m_sendingFile};

    char block[kBlockSize];
    char previous = '\n';
    qint64 total = 0;
    for (;;) {
        const ssize_t n = ::read(fd, block, sizeof block);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            return fileError(errno);
        }
        if (n == 0)
            return 0;
        total += n;
        qint64 from = 0;
        for (qint64 i = 0; i < n; ++i) {
            if (block[i] == '.' && previous == '\n') {
                if (const int r = SendAll(block + from, i - from); r != 0)
                    return r;
                if (const int r = SendAll("..", 2); r != 0)
                    return r;
                from = i + 1;
            }
            previous = block[i];
        }
        if (const int r = SendAll(block + from, n - from); r != 0)
            return r;
        if (const int r = FileProgressHook(total); r != 0)
            return r;
    }
}

QByteArray CIPPortMsgPlusFile::JoinLines(const QList<QByteArray> &lines, const QByteArray &separator,
                                         bool dotStuffing)
{
    QByteArray out;
    for (qsizetype i = 0; i < lines.size(); ++i) {
        if (i > 0)
            out += separator;
        const QByteArray &line = lines[i];
        if (!dotStuffing) {
            out += line;
            continue;
        }
        char previous = '\n';
        for (const char c : line) {
            if (c == '.' && previous == '\n')
                out += '.';
            out += c;
            previous = c;
        }
    }
    if (dotStuffing && !lines.isEmpty())
        out += separator;
    return out;
}

QByteArray CIPPortMsgPlusFile::FoldLine(const QByteArray &text, int width)
{
    if (width <= 0)
        return text;
    QByteArray out;
    out.reserve((text.size() / width + 1) * 3 + text.size() + 1);
    int budget = width;
    for (qsizetype i = 0; i < text.size(); ++i) {
        char c = text[i];
        if (c == '\r' || c == '\n')
            c = ' ';
        --budget;
        const bool foldPoint = c == ' ' || c == '\t' || c == ',';
        if (budget > 0 || !foldPoint) {
            out += c;
            continue;
        }
        if (c == ',')
            out += c;
        if (i == text.size() - 1)
            break;
        out += "\r\n\t";
        budget = width;
    }
    return out;
}

QList<QByteArray> CIPPortMsgPlusFile::FoldLines(const QList<QByteArray> &lines, int width)
{
    QList<QByteArray> folded;
    folded.reserve(lines.size());
    for (const QByteArray &line : lines)
        folded << FoldLine(line, width);
    return folded;
}

} // namespace cvb
