#include "socket/IPPortMsg.h"
#include "tests/support/ScriptedServer.h"

#include <QCloseEvent>
#include <QDialog>
#include <QElapsedTimer>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QWidget>
#include <QWindow>
#include <gtest/gtest.h>

using namespace cvb;
using cvb::test::ScriptedServer;

namespace {

// A line component connected to a scripted server.
struct Line
{
    CIPPortMsgPlusFile port;

    explicit Line(int tcpPort)
    {
        port.SetWinsockLoaded(true);
        port.SetEOL("\r\n");
        port.SetEolAnyChar(true);
        port.SetRemoteHost("127.0.0.1");
        port.SetRemotePort(static_cast<std::uint16_t>(tcpPort));
    }
};

} // namespace

TEST(CIPPortMsg, TwoLinesInOneReadAreReturnedByTwoWaits)
{
    ScriptedServer server;
    server.Send("220-first\r\n220 second\r\n").ExpectLine("QUIT").Send("221 bye\r\n").ReadToEnd();
    server.Start();
    Line c(server.Port());
    ASSERT_EQ(c.port.ConnectAndWait(), 0);
    ASSERT_EQ(c.port.SendCommand(""), 0);
    EXPECT_EQ(c.port.ReplyLine(), "220-first");
    // The second line was in the same read: it comes without new input.
    ASSERT_EQ(c.port.WaitReply(), 0);
    EXPECT_EQ(c.port.ReplyLine(), "220 second");
    ASSERT_EQ(c.port.SendCommand("QUIT"), 0);
    EXPECT_EQ(c.port.ReplyLine(), "221 bye");
    c.port.SetConnected(false);
    ASSERT_TRUE(server.WaitDone());
    EXPECT_TRUE(server.Failures().isEmpty()) << server.Failures().join("; ").toStdString();
}

TEST(CIPPortMsg, CommandsCarryTheirArgumentAndTerminator)
{
    ScriptedServer server;
    server.ExpectLine("USER bob").Send("331 ok\r\n").ExpectLine("NOOP").Send("200 fine\r\n");
    server.ExpectLine("raw line").Send("500 what\r\n").ReadToEnd();
    server.Start();
    Line c(server.Port());
    ASSERT_EQ(c.port.ConnectAndWait(), 0);
    ASSERT_EQ(c.port.SendCommand("USER", "bob"), 0);
    EXPECT_EQ(c.port.ReplyLine(), "331 ok");
    ASSERT_EQ(c.port.SendCommand("NOOP", "", "\n"), 0);
    EXPECT_EQ(c.port.ReplyLine(), "200 fine");
    ASSERT_EQ(c.port.SendLine("raw line\r\n"), 0);
    EXPECT_EQ(c.port.ReplyLine(), "500 what");
    c.port.SetConnected(false);
    ASSERT_TRUE(server.WaitDone());
    EXPECT_EQ(server.Lines(), (QList<QByteArray>{"USER bob", "NOOP", "raw line"}));
    EXPECT_EQ(server.Received(), "USER bob\r\nNOOP\nraw line\r\n");
}

TEST(CIPPortMsg, ALineLongerThanTheReceiveBufferIsOneReplyCutTo1024Bytes)
{
    // 5000 bytes fill the 2048-byte buffer twice before the line ends: the pieces are one line,
    // and the reply after it is the next reply, not the line's tail.
    ScriptedServer server;
    server.Send("211 " + QByteArray(5000, 'r') + "\r\n200 next\r\n").ReadToEnd();
    server.Start();
    Line c(server.Port());
    ASSERT_EQ(c.port.ConnectAndWait(), 0);
    ASSERT_EQ(c.port.SendCommand(""), 0);
    EXPECT_EQ(c.port.ReplyLine(), "211 " + QByteArray(1020, 'r'));
    ASSERT_EQ(c.port.WaitReply(), 0);
    EXPECT_EQ(c.port.ReplyLine(), "200 next");
}

TEST(CIPPortMsg, RefusedConnectEndsTheWaitWithItsCode)
{
    ScriptedServer server;
    const int closedPort = server.Port();
    server.StopListening();
    Line c(closedPort);
    EXPECT_EQ(c.port.ConnectAndWait(), 10061);
    EXPECT_EQ(c.port.ConnectResult(), 10061);
    // The error is the refusal, not the interruption that ended the wait.
    EXPECT_EQ(c.port.LastErrorText(), "[10061] Connection refused.");
    EXPECT_FALSE(c.port.Connected());
    EXPECT_EQ(c.port.ConnectAndWait(), 10061) << "a second attempt is not ended by a stale interrupt";
}

TEST(CIPPortMsg, LostConnectionEndsTheWait)
{
    ScriptedServer server;
    server.Pause(100).Close();
    server.Start();
    Line c(server.Port());
    ASSERT_EQ(c.port.ConnectAndWait(), 0);
    EXPECT_EQ(c.port.WaitReply(), 301);
    EXPECT_EQ(c.port.LastErrorText(), "Interrupted");
    EXPECT_FALSE(c.port.Connected());
}

TEST(CIPPortMsg, LinesSentBeforeThePeerClosedAreStillHandedOut)
{
    ScriptedServer server;
    server.Send("421-going\r\n421 down\r\n").Close();
    server.Start();
    Line c(server.Port());
    ASSERT_EQ(c.port.ConnectAndWait(), 0);
    ASSERT_EQ(c.port.SendCommand(""), 0);
    EXPECT_EQ(c.port.ReplyLine(), "421-going");
    // Let the close arrive while the second line is held back.
    ASSERT_TRUE(QTest::qWaitFor([&] { return !c.port.Connected(); }, 10000));
    ASSERT_EQ(c.port.WaitReply(), 0);
    EXPECT_EQ(c.port.ReplyLine(), "421 down");
    EXPECT_EQ(c.port.WaitReply(), 301);
}

namespace {

// Records the lines that the reply reader hands to its hook.
class Traced : public CIPPortMsg
{
public:
    QList<QByteArray> hooked;

protected:
    void ReplyLineHook(const QByteArray &line) override { hooked << line; }
};

// A rule by which every line but the last of a reply has "-" as its fourth byte.
bool endsWithoutDash(const QByteArray &line)
{
    return line.size() < 4 || line[3] != '-';
}

} // namespace

TEST(CIPPortMsg, TheReplyReaderReadsOneWholeReplyByTheRuleItIsHanded)
{
    ScriptedServer server;
    // The greeting and the next reply arrive in one block.
    server.Send("220-first\r\n220 second\r\n150 opening\r\n")
        .ExpectLine("STAT")
        .Send("211-a\r\n211-b\r\n211 c\r\n")
        .ExpectLine("QUIT")
        .Send("421-going\r\n")
        .Close();
    server.Start();
    Traced c;
    c.SetWinsockLoaded(true);
    c.SetEOL("\r\n");
    c.SetRemoteHost("127.0.0.1");
    c.SetRemotePort(static_cast<std::uint16_t>(server.Port()));
    ASSERT_EQ(c.ConnectAndWait(), 0);
    TReply reply;
    ASSERT_EQ(c.Exchange({}, {}, {}, endsWithoutDash, reply), 0);
    EXPECT_EQ(reply.Lines, QList<QByteArray>({"220-first", "220 second"}));
    EXPECT_EQ(reply.Code(), "220");
    // The reply behind it stays buffered until it is asked for, and is a reply of its own.
    ASSERT_EQ(c.ReadReply(endsWithoutDash, reply), 0);
    EXPECT_EQ(reply.Lines, QList<QByteArray>({"150 opening"}));
    // A rule may count: this one ends the reply at its second line.
    int seen = 0;
    ASSERT_EQ(c.Exchange(
                  "STAT", {}, "\r\n", [&seen](const QByteArray &) { return ++seen == 2; }, reply),
              0);
    EXPECT_EQ(reply.Last(), "211-b");
    ASSERT_EQ(c.ReadReply(endsWithoutDash, reply), 0);
    EXPECT_EQ(reply.Last(), "211 c");
    // A reply cut short by the lost connection keeps the lines that came.
    EXPECT_EQ(c.Exchange("QUIT", {}, "\r\n", endsWithoutDash, reply), CIPPortMsg::kInterrupted);
    EXPECT_EQ(reply.Lines, QList<QByteArray>({"421-going"}));
    EXPECT_EQ(c.hooked, QList<QByteArray>({"220-first", "220 second", "150 opening", "211-a", "211-b",
                                           "211 c", "421-going"}));
    EXPECT_TRUE(server.WaitDone());
    EXPECT_TRUE(server.Failures().isEmpty()) << server.Failures().join("; ").toStdString();
}

TEST(CIPPortMsg, ATimeOutIsToldFromAnInterruptionByItsCode)
{
    ScriptedServer server;
    server.ReadToEnd();
    server.Start();
    Line c(server.Port());
    c.port.SetIdleLimit(1);
    ASSERT_EQ(c.port.ConnectAndWait(), 0);
    QTimer::singleShot(0, &c.port, [&] { c.port.Interrupt(); });
    EXPECT_EQ(c.port.WaitReply(), CIPPortMsg::kInterrupted);
    EXPECT_EQ(c.port.LastErrorCode(), CIPPortMsg::kInterrupted);
    EXPECT_EQ(c.port.LastErrorText(), "Interrupted");
    // Both end the wait with the same code; the time-out leaves its own in LastErrorCode.
    EXPECT_EQ(c.port.WaitReply(), CIPPortMsg::kInterrupted);
    EXPECT_EQ(c.port.LastErrorCode(), CIPPortMsg::kTimedOut);
    EXPECT_EQ(c.port.LastErrorText(), "Timed out");
}

TEST(CIPPortMsg, IdleLimitEndsAWaitWithNoActivity)
{
    ScriptedServer server;
    server.ReadToEnd();
    server.Start();
    Line c(server.Port());
    EXPECT_EQ(c.port.IdleLimit(), 120);
    c.port.SetIdleLimit(1);
    ASSERT_EQ(c.port.ConnectAndWait(), 0);
    QElapsedTimer timer;
    timer.start();
    EXPECT_EQ(c.port.SendCommand("NOOP"), 301);
    EXPECT_EQ(c.port.LastErrorText(), "Timed out");
    EXPECT_GE(timer.elapsed(), 900);
    EXPECT_TRUE(c.port.Connected());
}

TEST(CIPPortMsg, InterruptEndsFiveNestedWaitsAndNoMore)
{
    ScriptedServer server;
    server.ReadToEnd();
    server.Start();
    Line c(server.Port());
    ASSERT_EQ(c.port.ConnectAndWait(), 0);
    QList<int> endedLevels;
    QList<int> results;
    bool secondInterrupt = false;
    bool outerEndedAfterSecond = false;
    // Each level's wait starts the next one from a timer that fires inside it.
    std::function<void(int)> waitAt = [&](int level) {
        if (level < 6)
            QTimer::singleShot(10, [&, level] { waitAt(level + 1); });
        else
            QTimer::singleShot(10, [&] { c.port.Interrupt(); });
        if (level == 1)
            QTimer::singleShot(300, [&] {
                secondInterrupt = true;
                c.port.Interrupt();
            });
        results << c.port.WaitReply();
        endedLevels << level;
        if (level == 1)
            outerEndedAfterSecond = secondInterrupt;
    };
    waitAt(1);
    EXPECT_EQ(endedLevels, (QList<int>{6, 5, 4, 3, 2, 1}));
    EXPECT_EQ(results, (QList<int>{301, 301, 301, 301, 301, 301}));
    EXPECT_TRUE(outerEndedAfterSecond) << "the sixth wait must survive the first interrupt";
    // Nothing is left over for the next wait.
    QTimer::singleShot(50, [&] { c.port.SetConnected(false); });
    EXPECT_EQ(c.port.WaitReply(), 301);
    EXPECT_EQ(c.port.ConnectResult(), 0);
}

// A user's request to close a window, as it reaches the window.
void userClose(QWidget &window)
{
    QCloseEvent close;
    QCoreApplication::sendEvent(window.windowHandle(), &close);
}

TEST(CIPPortMsg, ClosingTheWindowThatOwnsTheComponentInterruptsItsWait)
{
    ScriptedServer server;
    server.ReadToEnd();
    server.Start();
    QWidget window;
    window.setObjectName("window");
    Line c(server.Port());
    c.port.setParent(&window);
    ASSERT_EQ(c.port.ConnectAndWait(), 0);
    window.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
    QTimer::singleShot(50, [&] { userClose(window); });
    EXPECT_EQ(c.port.WaitReply(), 301);
    EXPECT_EQ(c.port.LastErrorText(), "Interrupted");
    EXPECT_FALSE(window.isVisible());
}

TEST(CIPPortMsg, ADialogClosedInsideAWaitLeavesTheWaitRunning)
{
    ScriptedServer server;
    server.Pause(400).Send("200 still here\r\n").ReadToEnd();
    server.Start();
    Line c(server.Port());
    ASSERT_EQ(c.port.ConnectAndWait(), 0);
    bool dialogClosed = false;
    QTimer::singleShot(20, [&] {
        QDialog box;
        box.setObjectName("box");
        QTimer::singleShot(50, &box, [&] { userClose(box); });
        box.exec();
        dialogClosed = true;
    });
    ASSERT_EQ(c.port.SendCommand(""), 0) << c.port.LastErrorText().toStdString();
    EXPECT_TRUE(dialogClosed);
    EXPECT_EQ(c.port.ReplyLine(), "200 still here");
}

TEST(CIPPortMsg, AnotherWindowClosingLeavesTheWaitRunning)
{
    // One backup's window closes when its backup is done, while the component of another
    // backup's window waits for a reply: by the user's hand or the program's, that close is
    // not meant for the waiting component.
    ScriptedServer server;
    server.Pause(400).Send("200 still here\r\n").ReadToEnd();
    server.Start();
    QWidget waiting;
    QWidget first;
    QWidget second;
    Line c(server.Port());
    c.port.setParent(&waiting);
    ASSERT_EQ(c.port.ConnectAndWait(), 0);
    for (QWidget *w : {&waiting, &first, &second}) {
        w->show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(w));
    }
    QTimer::singleShot(50, &first, [&] { first.close(); });
    QTimer::singleShot(100, &second, [&] { userClose(second); });
    ASSERT_EQ(c.port.SendCommand(""), 0) << c.port.LastErrorText().toStdString();
    EXPECT_EQ(c.port.ReplyLine(), "200 still here");
    EXPECT_FALSE(first.isVisible());
    EXPECT_FALSE(second.isVisible());
}

TEST(CIPPortMsg, SendAllDeliversEverythingWhileThePeerReadsSlowly)
{
    const QByteArray data = [] {
        QByteArray d(3 * 1024 * 1024, '\0');
        for (qsizetype i = 0; i < d.size(); ++i)
            d[i] = static_cast<char>(i * 7 + i / 4096);
        return d;
    }();
    ScriptedServer server;
    server.Pause(200).ExpectBytes(data.size()).Send("250 got it\r\n").ReadToEnd();
    server.Start();
    Line c(server.Port());
    ASSERT_EQ(c.port.ConnectAndWait(), 0);
    ASSERT_EQ(c.port.SendAll(data), 0);
    ASSERT_EQ(c.port.WaitReply(), 0);
    EXPECT_EQ(c.port.ReplyLine(), "250 got it");
    EXPECT_TRUE(server.Received() == data);
}

TEST(CIPPortMsg, InterruptEndsASendThatThePeerDoesNotTake)
{
    ScriptedServer server;
    server.Pause(3000).Close();
    server.Start();
    Line c(server.Port());
    ASSERT_EQ(c.port.ConnectAndWait(), 0);
    const QByteArray data(32 * 1024 * 1024, 'd');
    QTimer::singleShot(100, [&] { c.port.Interrupt(); });
    EXPECT_EQ(c.port.SendAll(data), 301);
    EXPECT_EQ(c.port.LastErrorText(), "Interrupted");
    c.port.SetConnected(false);
}

namespace {

class Hooked : public CIPPortMsg
{
public:
    QList<qint64> sendProgress;
    int idlePasses = 0;

protected:
    int SendProgressHook(qint64 sentSoFar) override
    {
        sendProgress << sentSoFar;
        return 55;
    }
    int IdleHook() override { return ++idlePasses == 3 ? 99 : 0; }
};

} // namespace

TEST(CIPPortMsg, HooksCanEndASendAndAWait)
{
    ScriptedServer server;
    server.Pause(3000).Close();
    server.Start();
    Hooked c;
    c.SetWinsockLoaded(true);
    c.SetRemoteHost("127.0.0.1");
    c.SetRemotePort(static_cast<std::uint16_t>(server.Port()));
    ASSERT_EQ(c.ConnectAndWait(), 0);
    EXPECT_EQ(c.SendAll(QByteArray(32 * 1024 * 1024, 's')), 55);
    // It is asked after the first send the system took only in part.
    ASSERT_EQ(c.sendProgress.size(), 1);
    EXPECT_GT(c.sendProgress[0], 0);
    EXPECT_LT(c.sendProgress[0], 32 * 1024 * 1024);
    // Every pass of a wait asks the hook; a timer gives the wait its passes.
    QTimer ticker;
    ticker.start(10);
    EXPECT_EQ(c.WaitReply(), 99);
    EXPECT_EQ(c.idlePasses, 3);
    c.SetConnected(false);
}

namespace {

// Sends one block per pass of the wait, as an upload does.
class Uploader : public CIPPortMsg
{
public:
    int blocksLeft = 300;

protected:
    int IdleHook() override
    {
        if (blocksLeft == 0)
            return 0;
        const QByteArray block(2048, 'u');
        const int r = SendBytes(block.constData(), static_cast<int>(block.size()));
        if (r == 0)
            --blocksLeft;
        return r == ws::WSAEWOULDBLOCK ? 0 : r;
    }
};

} // namespace

TEST(CIPPortMsg, WaitKeepsPassingWhileItsHookSends)
{
    ScriptedServer server;
    server.ExpectBytes(300 * 2048).Send("226 stored\r\n").ReadToEnd();
    server.Start();
    Uploader c;
    c.SetWinsockLoaded(true);
    c.SetEOL("\r\n");
    c.SetRemoteHost("127.0.0.1");
    c.SetRemotePort(static_cast<std::uint16_t>(server.Port()));
    ASSERT_EQ(c.ConnectAndWait(), 0);
    // A stalled upload is ended rather than left to crawl along.
    QTimer::singleShot(8000, [&] { c.Interrupt(); });
    ASSERT_EQ(c.WaitReply(), 0) << c.LastErrorText().toStdString();
    EXPECT_EQ(c.ReplyLine(), "226 stored");
    EXPECT_EQ(c.blocksLeft, 0);
}

namespace {

class CountingFile : public CIPPortMsgPlusFile
{
public:
    QList<qint64> progress;
    int stopAt = -1;

protected:
    int FileProgressHook(qint64 bytesSoFar) override
    {
        progress << bytesSoFar;
        return progress.size() == stopAt ? 77 : 0;
    }
};

QString writeFile(const QTemporaryDir &dir, const QByteArray &bytes)
{
    const QString path = dir.filePath("body.txt");
    QFile f(path);
    EXPECT_TRUE(f.open(QIODevice::WriteOnly));
    f.write(bytes);
    return path;
}

} // namespace

TEST(CIPPortMsgPlusFile, SendFileDoublesDotsAtLineStartsAcrossBlocks)
{
    // A dot first, "a" LF "." "b", and an LF as the last byte of the first 2048-byte block
    // with the dot as the first byte of the next.
    QByteArray file = ".start\na\n.b\n";
    file += QByteArray(2047 - file.size(), 'x') + "\n";
    file += ".next\nend";
    ASSERT_EQ(file.indexOf(".next"), 2048);
    QByteArray expected = "..start\na\n..b\n";
    expected += QByteArray(2047 - 12, 'x') + "\n" + "..next\nend";

    QTemporaryDir dir;
    const QString path = writeFile(dir, file);
    ScriptedServer server;
    server.ExpectBytes(expected.size()).Send("250 ok\r\n").ReadToEnd();
    server.Start();
    CountingFile c;
    c.SetWinsockLoaded(true);
    c.SetEOL("\r\n");
    c.SetRemoteHost("127.0.0.1");
    c.SetRemotePort(static_cast<std::uint16_t>(server.Port()));
    ASSERT_EQ(c.ConnectAndWait(), 0);
    ASSERT_EQ(c.SendFile(path), 0);
    ASSERT_EQ(c.WaitReply(), 0);
    EXPECT_EQ(server.Received(), expected);
    EXPECT_EQ(c.progress, (QList<qint64>{2048, file.size()}));

    // A hook that says stop ends the sending with its code.
    c.progress.clear();
    c.stopAt = 1;
    EXPECT_EQ(c.SendFile(path), 77);
}

TEST(CIPPortMsgPlusFile, SendFileReportsTheSystemsFileError)
{
    CIPPortMsgPlusFile c;
    EXPECT_EQ(c.SendFile("/nonexistent/folder/file.txt"), ENOENT);
    EXPECT_EQ(c.LastErrorText(), QString::fromLocal8Bit(std::strerror(ENOENT)));
}

TEST(CIPPortMsgPlusFile, JoinLines)
{
    EXPECT_EQ(CIPPortMsgPlusFile::JoinLines({"a", ".b"}, "\r\n", true), "a\r\n..b\r\n");
    EXPECT_EQ(CIPPortMsgPlusFile::JoinLines({"a", ".b"}, "\r\n", false), "a\r\n.b");
    EXPECT_EQ(CIPPortMsgPlusFile::JoinLines({"x\n.y", "z"}, "\n", true), "x\n..y\nz\n");
    EXPECT_EQ(CIPPortMsgPlusFile::JoinLines({}, "\r\n", true), "");
    EXPECT_EQ(CIPPortMsgPlusFile::JoinLines({""}, "\r\n", true), "\r\n");
}

TEST(CIPPortMsgPlusFile, FoldLines)
{
    // Thirty bytes of words, width 10: the first space from the 10th byte on folds.
    const QByteArray line = "alpha beta gamma delta epsilo";
    ASSERT_EQ(line.size(), 29);
    EXPECT_EQ(CIPPortMsgPlusFile::FoldLine(line + "n", 10), "alpha beta\r\n\tgamma delta\r\n\tepsilon");
    // A comma stays, a trailing space goes, CR and LF become spaces.
    EXPECT_EQ(CIPPortMsgPlusFile::FoldLine("aaaaaaaaaa,bbb", 10), "aaaaaaaaaa,\r\n\tbbb");
    EXPECT_EQ(CIPPortMsgPlusFile::FoldLine("aaaaaaaaaaaa ", 10), "aaaaaaaaaaaa");
    EXPECT_EQ(CIPPortMsgPlusFile::FoldLine("ab\r\ncd", 10), "ab  cd");
    EXPECT_EQ(CIPPortMsgPlusFile::FoldLine("no folding here at all", 0), "no folding here at all");
    EXPECT_EQ(CIPPortMsgPlusFile::FoldLines({"short", "aaaaaaaaa bbbbbbbbb ccc"}, 10),
              (QList<QByteArray>{"short", "aaaaaaaaa\r\n\tbbbbbbbbb\r\n\tccc"}));
}
