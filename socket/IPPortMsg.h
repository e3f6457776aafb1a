// The line and message layer: a synchronous command/reply channel on top of CcvbIPPort. A
// caller sends a command and gets the next line; while it waits, the thread's events keep
// being handled (the socket notifications among them), and the thread sleeps while nothing
// happens.
#pragma once
#include "socket/IPPort.h"

#include <QDeadlineTimer>
#include <QList>

#include <functional>

namespace cvb {

// The protocol trace of a line component. Direction 0: a command sent by the client, 1: a line
// from the server, 2: the component's own information.
using TPITrailEvent = std::function<void(QObject *Sender, int Direction, const QString &Message)>;

// One whole reply of a line protocol: its lines in the order received, each cut as ReplyLine.
struct TReply
{
    QList<QByteArray> Lines;
    // The line that ended the reply; its code says what the reply means.
    QByteArray Last() const { return Lines.isEmpty() ? QByteArray() : Lines.constLast(); }
    QByteArray Code() const { return Last().left(3); }
};

// A protocol's end-of-reply rule: called with each line of a reply in turn, true when that line
// ends the reply. Each reply gets a fresh rule, so a rule may remember the lines it has seen.
using TReplyEnds = std::function<bool(const QByteArray &line)>;

class CIPPortMsg : public CcvbIPPort
{
    Q_OBJECT
public:
    static constexpr int kReplyLineSize = 1024;
    // A wait ended by Interrupt, a lost connection, a window close or the idle limit.
    static constexpr int kInterrupted = 301;
    // A wait ended by the idle limit returns kInterrupted like any other and leaves this code in
    // LastErrorCode (with the text "Timed out"), which tells the two apart. It is never reported
    // on its own.
    static constexpr int kTimedOut = 302;
    static constexpr int kDefaultIdleLimit = 120;
    static constexpr int kDefaultTlsHandshakeLimit = 30;

    explicit CIPPortMsg(QObject *parent = nullptr);

    // The last line received, cut to its first 1024 bytes. A line longer than the receive
    // buffer is one line: its pieces are joined before it is cut.
    QByteArray ReplyLine() const { return m_replyLine; }
    bool Waiting() const { return m_waiting; }
    // Each wait hands out one line; later lines stay buffered until the next wait.
    bool OneLinePerWait() const { return m_oneLinePerWait; }
    void SetOneLinePerWait(bool one) { m_oneLinePerWait = one; }
    // The status of the last connect or disconnect event; 0 = none.
    int ConnectResult() const { return m_connectResult; }

    // Seconds without activity on the component's connections after which a wait ends with
    // 301 and "Timed out"; 0 turns the limit off. Activity is every notification for a socket
    // of the component's sink and every byte sent; a component whose other connections use
    // another sink counts them with SocketNotify()->NoteActivity().
    int IdleLimit() const { return m_idleLimit; }
    void SetIdleLimit(int seconds) { m_idleLimit = seconds < 0 ? 0 : seconds; }
    // Seconds a TLS handshake may take in all, however active the peer; the idle limit holds
    // as well. 0 leaves only the idle limit.
    int TlsHandshakeLimit() const { return m_tlsHandshakeLimit; }
    void SetTlsHandshakeLimit(int seconds) { m_tlsHandshakeLimit = seconds < 0 ? 0 : seconds; }

    // Each returns 0 or an error code whose text is in LastErrorText or DescribeError(code).
    int ConnectAndWait();
    // Sends command, then " " and the argument when there is one, then the terminator, and
    // waits for the first line of the reply. An empty command only waits.
    int SendCommand(const QByteArray &command, const QByteArray &argument = {},
                    const QByteArray &terminator = QByteArrayLiteral("\r\n"));
    // The same with a line sent exactly as given.
    int SendLine(const QByteArray &text);
    // Waits for one line (in ReplyLine on success).
    int WaitReply();
    // The command/reply exchange of the line protocols: sends as SendCommand does (an empty
    // command sends nothing and reads a greeting) and reads one whole reply into `reply`, line
    // by line until `endsReply` holds, each line handed to ReplyLineHook as it comes. 0, or the
    // code of the failed send or wait, with the lines read until then in `reply`.
    int Exchange(const QByteArray &command, const QByteArray &argument, const QByteArray &terminator,
                 const TReplyEnds &endsReply, TReply &reply);
    // Reads the next whole reply to the command sent last, as Exchange does: the final reply that
    // follows a preliminary one.
    int ReadReply(const TReplyEnds &endsReply, TReply &reply);
    // Sends all bytes, handling events while the system cannot take more.
    int SendAll(const char *data, qint64 length);
    int SendAll(const QByteArray &data) { return SendAll(data.constData(), data.size()); }
    // Handles the thread's events once, sleeping until there is one: 0, or 301 when the
    // wait is interrupted or its idle limit has passed.
    int PumpOne();
    // Handles events as one wait until done() holds: 0, 301 as PumpOne, or the first non-zero
    // result of IdleHook, which is called on every pass.
    int WaitUntil(const std::function<bool()> &done);
    // Starts TLS on the connection and waits for the end of the handshake: 0 or an error code.
    // The plain-text part of the connection must have ended with the line just read (the
    // server's go-ahead, or nothing at all): bytes received behind it were not encrypted, yet
    // would be read as if they were, so they are thrown away and the handshake is not begun
    // (kTlsPlainTextInjected). A handshake that outlasts TlsHandshakeLimit or the idle limit
    // fails with kTlsTimedOut. After any failure the connection is closed: nothing more on it
    // can be trusted.
    int StartTlsOnCleanLine(CTlsContext &context, const QString &serverName,
                            ssl_session_st *resume = nullptr);
    // Ends the innermost running waits of this component, up to five of them.
    void Interrupt();

protected:
    // Called with the bytes sent so far by SendAll after each partial send; non-zero ends it.
    virtual int SendProgressHook(qint64 sentSoFar);
    // Called on every pass of WaitReply; non-zero ends the wait with that code. A pass comes
    // with an event: a send through SendBytes brings the next pass, at once when the system
    // took it all, and with the write notification when it could not.
    virtual int IdleHook();
    // Called with each line of a reply that Exchange or ReadReply reads, before the next line is
    // awaited; the components trace it.
    virtual void ReplyLineHook(const QByteArray &line);

    void FireConnected(int status, const QString &description) override;
    void FireDisconnected(int status, const QString &description) override;
    void FireDataIn(const QByteArray &text, bool eol) override;
    void FireLinePiece(const QByteArray &piece) override;
    void FireReadyToSend() override;
    void FireTlsReady(int code, const QString &text) override;

private:
    enum class Pump { GoOn, Interrupted, TimedOut };
    class WaitFrame;
    // `deadline` ends the wait as the idle limit does, however active the connections are.
    Pump PumpEvents(const WaitFrame &frame,
                    const QDeadlineTimer &deadline = QDeadlineTimer(QDeadlineTimer::Forever));
    int WaitEnded(Pump why);
    int WaitUntil(const std::function<bool()> &done, const QDeadlineTimer &deadline);
    // True when received bytes are buffered behind the last line handed out.
    bool PlainTextWaiting();
    int FailTls(int code, const QString &text);
    int SendAndWait(const QByteArray &line);
    // Reads the rest of a reply whose first line is in ReplyLine.
    int TakeReply(const TReplyEnds &endsReply, TReply &reply);

    QByteArray m_replyLine;
    // The first bytes of a line that has not ended yet (at most kReplyLineSize).
    QByteArray m_partialLine;
    bool m_waiting = false;
    bool m_oneLinePerWait = true;
    int m_connectResult = 0;
    int m_idleLimit = kDefaultIdleLimit;
    int m_tlsHandshakeLimit = kDefaultTlsHandshakeLimit;
    bool m_handshaking = false;
    int m_tlsResult = 0;
    QString m_tlsResultText;
};

// Adds sending a file with dot-stuffing and the text functions that build message text.
class CIPPortMsgPlusFile : public CIPPortMsg
{
    Q_OBJECT
public:
    static constexpr int kBlockSize = 2048;

    explicit CIPPortMsgPlusFile(QObject *parent = nullptr);

    // Sends a file, doubling every "." at the start of a line; 0, the first send or hook
    // error, or the system's file error code (its text in LastErrorText).
    int SendFile(const QString &path);

    // The lines with the separator between them. With dot-stuffing a line's leading "." and
    // every "." after an LF are doubled, and a non-empty list ends with the separator.
    static QByteArray JoinLines(const QList<QByteArray> &lines, const QByteArray &separator,
                                bool dotStuffing);
    // Folds a line at the first space, tab or comma from `width` bytes on (CR LF TAB); 0
    // leaves it unchanged.
    static QByteArray FoldLine(const QByteArray &text, int width);
    static QList<QByteArray> FoldLines(const QList<QByteArray> &lines, int width);

protected:
    // Called with the bytes of the file read so far; non-zero ends SendFile.
    virtual int FileProgressHook(qint64 bytesSoFar);
    int SendProgressHook(qint64 sentSoFar) override;

private:
    bool m_sendingFile = false;
};

} // namespace cvb
