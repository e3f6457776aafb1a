#include "socket/IPPort.h"
#include "tests/support/ScriptedServer.h"

#include <QTest>
#include <gtest/gtest.h>

using namespace cvb;
using cvb::test::ScriptedServer;

namespace {

struct Piece
{
    QByteArray text;
    bool eol;
    bool operator==(const Piece &o) const { return text == o.text && eol == o.eol; }
};

void PrintTo(const Piece &p, std::ostream *os)
{
    *os << "{\"" << p.text.left(40).toStdString() << "\"" << (p.text.size() > 40 ? "..." : "") << " ("
        << p.text.size() << "), " << p.eol << "}";
}

// A loaded port whose events are recorded.
struct Port
{
    CcvbIPPort port;
    QList<Piece> pieces;
    QList<int> connected;
    QList<int> disconnected;
    QStringList connectTexts;
    QList<int> errors;

    Port()
    {
        port.SetWinsockLoaded(true);
        port.SetEOL("\r\n");
        port.OnDataIn = [this](QObject *, const QByteArray &text, bool eol) { pieces.append({text, eol}); };
        port.OnConnected = [this](QObject *, int status, const QString &text) {
            connected << status;
            connectTexts << text;
        };
        port.OnDisconnected = [this](QObject *, int status, const QString &) { disconnected << status; };
        port.OnError = [this](QObject *, int code, const QString &) { errors << code; };
    }

    bool ConnectTo(int tcpPort)
    {
        port.SetRemoteHost("127.0.0.1");
        port.SetRemotePort(static_cast<std::uint16_t>(tcpPort));
        port.SetConnected(true);
        return QTest::qWaitFor([this] { return !connected.isEmpty(); }, 10000) && port.Connected();
    }
    bool WaitPieces(int n)
    {
        return QTest::qWaitFor([&] { return pieces.size() >= n; }, 10000);
    }
};

} // namespace

TEST(CcvbIPPort, RefusedConnectReportsItsCodeAndLeavesThePortIdle)
{
    ScriptedServer server;
    const int closedPort = server.Port();
    server.StopListening();
    Port p;
    EXPECT_FALSE(p.ConnectTo(closedPort));
    ASSERT_EQ(p.connected, QList<int>{10061});
    EXPECT_EQ(p.connectTexts.first(), "[10061] Connection refused.");
    EXPECT_EQ(p.port.Socket(), kInvalidSocket);
    EXPECT_FALSE(p.port.Connected());
    EXPECT_TRUE(p.disconnected.isEmpty());
}

TEST(CcvbIPPort, UnresolvableHostReportsTheResolverCode)
{
    Port p;
    try {
        p.port.SetRemoteHost("no.such.host.invalid");
        FAIL() << "no exception";
    } catch (const EcvbComponent &e) {
        EXPECT_EQ(e.Code(), 11001);
        EXPECT_EQ(e.Message(), "11001: [11001] Host not found.");
    }
    EXPECT_EQ(p.port.RemoteHost(), "");
    p.port.SetRemoteHost("localhost");
    EXPECT_EQ(p.port.RemoteHost(), "127.0.0.1");
}

TEST(CcvbIPPort, BeforeLoadingTheHostIsSilentlyLeftUnsetAndConnectReports102)
{
    CcvbIPPort port;
    port.SetRemoteHost("127.0.0.1");
    EXPECT_EQ(port.LastErrorCode(), 0);
    EXPECT_EQ(port.RemoteAddress(), 0u);
    port.SetRemotePort(21);
    try {
        port.SetConnected(true);
        FAIL() << "no exception";
    } catch (const EcvbComponent &e) {
        EXPECT_EQ(e.Message(), "102: The RemoteHost address is invalid (0.0.0.0).");
    }
}

TEST(CcvbIPPort, ConnectNeedsAPort)
{
    Port p;
    p.port.SetRemoteHost("127.0.0.1");
    EXPECT_THROW(p.port.SetConnected(true), EcvbComponent);
    EXPECT_EQ(p.port.LastErrorCode(), 116);
    EXPECT_EQ(p.port.LastErrorText(),
              "RemotePort can't be zero. Please specify a valid service port number.");
}

TEST(CcvbIPPort, PropertiesThatCannotChangeDuringAConnection)
{
    ScriptedServer server;
    server.Pause(300).ReadToEnd();
    server.Start();
    Port p;
    ASSERT_TRUE(p.ConnectTo(server.Port()));
    EXPECT_THROW(p.port.SetRemoteHost("10.1.2.3"), EcvbComponent);
    EXPECT_EQ(p.port.LastErrorCode(), 101);
    EXPECT_EQ(p.port.LastErrorText(),
              "You cannot change the RemoteHost at this time. A connection is in progress.");
    EXPECT_THROW(p.port.SetRemotePort(99), EcvbComponent);
    EXPECT_EQ(p.port.LastErrorCode(), 100);
    EXPECT_EQ(p.port.LastErrorText(),
              "You cannot change the RemotePort at this time. A connection is in progress.");
    EXPECT_EQ(p.port.RemoteHost(), "127.0.0.1");
    EXPECT_EQ(p.port.RemotePort(), server.Port());
    EXPECT_THROW(p.port.SetConnected(true), EcvbComponent);
    EXPECT_EQ(p.port.LastErrorCode(), 104);
    EXPECT_EQ(p.port.LocalHost(), "127.0.0.1");
    p.port.SetConnected(false);
    EXPECT_EQ(p.disconnected, QList<int>{0});
    EXPECT_EQ(p.port.Socket(), kInvalidSocket);
}

TEST(CcvbIPPort, UnloadingTheLibraryClosesTheConnectionFirst)
{
    ScriptedServer server;
    server.ReadToEnd().Send("late\r\n");
    server.Start();
    Port p;
    ASSERT_TRUE(p.ConnectTo(server.Port()));
    p.port.SetWinsockLoaded(false);
    EXPECT_EQ(p.port.Socket(), kInvalidSocket);
    EXPECT_FALSE(p.port.Connected());
    // The server sees the end of the connection.
    ASSERT_TRUE(server.WaitDone());
}

TEST(CcvbIPPort, DataToSendWhileClosedReports10057)
{
    Port p;
    try {
        p.port.SetDataToSend("x");
        FAIL() << "no exception";
    } catch (const EcvbComponent &e) {
        EXPECT_EQ(e.Message(), "10057: [10057] Socket is not connected.");
    }
}

TEST(CcvbIPPort, SendsAndCutsReceivedLines)
{
    ScriptedServer server;
    server.ExpectLine("HELLO").Send("one\r\ntwo\r\n").Pause(100).Send(QByteArray(3000, 'x'));
    server.Pause(200).Send("\r\n").ReadToEnd();
    server.Start();
    Port p;
    ASSERT_TRUE(p.ConnectTo(server.Port()));
    p.port.SetDataToSend("HELLO\r\n");
    ASSERT_TRUE(p.WaitPieces(3));
    // The long line: one full buffer first, the rest when its terminator arrives.
    EXPECT_EQ(p.pieces, (QList<Piece>{{"one", true}, {"two", true}, {QByteArray(2048, 'x'), false}}));
    ASSERT_TRUE(p.WaitPieces(4));
    EXPECT_EQ(p.pieces.value(3), (Piece{QByteArray(952, 'x'), true}));
    p.port.SetConnected(false);
    ASSERT_TRUE(server.WaitDone());
    EXPECT_TRUE(server.Failures().isEmpty()) << server.Failures().join("; ").toStdString();
    EXPECT_EQ(p.pieces.size(), 4);
}

TEST(CcvbIPPort, TerminatorSplitAcrossTwoReadsGivesNoEmptyLine)
{
    ScriptedServer server;
    server.Send("first\r").Pause(200).Send("\nsecond\r\n").ReadToEnd();
    server.Start();
    Port p;
    p.port.SetEolAnyChar(true);
    ASSERT_TRUE(p.ConnectTo(server.Port()));
    // An empty piece from the split terminator would come before "second".
    ASSERT_TRUE(p.WaitPieces(2));
    EXPECT_EQ(p.pieces, (QList<Piece>{{"first", true}, {"second", true}}));
}

TEST(CcvbIPPort, PeerClosingMidLineDeliversTheRestAndDisconnects)
{
    ScriptedServer server;
    server.Send("whole\r\nhalf a li").Close();
    server.Start();
    Port p;
    ASSERT_TRUE(p.ConnectTo(server.Port()));
    ASSERT_TRUE(QTest::qWaitFor([&] { return !p.disconnected.isEmpty(); }, 10000));
    EXPECT_EQ(p.pieces, (QList<Piece>{{"whole", true}, {"half a li", false}}));
    EXPECT_EQ(p.disconnected, QList<int>{0});
    EXPECT_FALSE(p.port.Connected());
    EXPECT_EQ(p.port.Socket(), kInvalidSocket);
    EXPECT_TRUE(p.errors.isEmpty());
}

TEST(CcvbIPPort, HeldBackDataWaitsUntilAcceptDataIsSetAgain)
{
    ScriptedServer server;
    server.Send("a\r\nb\r\nc\r\n").ReadToEnd();
    server.Start();
    Port p;
    // One line per turn, as the line layer takes them.
    p.port.OnDataIn = [&](QObject *, const QByteArray &text, bool eol) {
        p.pieces.append({text, eol});
        p.port.SetAcceptData(false);
    };
    ASSERT_TRUE(p.ConnectTo(server.Port()));
    ASSERT_TRUE(p.WaitPieces(1));
    QTest::qWait(150);
    EXPECT_EQ(p.pieces.size(), 1);
    p.port.SetAcceptData(true);
    ASSERT_TRUE(p.WaitPieces(2));
    p.port.SetAcceptData(true);
    ASSERT_TRUE(p.WaitPieces(3));
    EXPECT_EQ(p.pieces, (QList<Piece>{{"a", true}, {"b", true}, {"c", true}}));
}

TEST(CcvbIPPort, NewTerminatorCutsBufferedDataAgain)
{
    ScriptedServer server;
    server.Send("x;y;").ReadToEnd();
    server.Start();
    Port p;
    ASSERT_TRUE(p.ConnectTo(server.Port()));
    QTest::qWait(150);
    EXPECT_TRUE(p.pieces.isEmpty());
    p.port.SetEOL(";");
    ASSERT_TRUE(p.WaitPieces(2));
    EXPECT_EQ(p.pieces, (QList<Piece>{{"x", true}, {"y", true}}));
}

TEST(CcvbIPPort, SmallBufferSizesNeverShrinkTheSystemsBuffers)
{
    ScriptedServer server;
    server.ReadToEnd();
    server.Start();
    Port p;
    ASSERT_TRUE(p.ConnectTo(server.Port()));
    EXPECT_EQ(p.port.InBufferSize(), 2048);
    int size = 0;
    int length = sizeof size;
    ASSERT_EQ(p.port.Ws().getsockopt(p.port.Socket(), ws::SOL_SOCKET_, ws::SO_RCVBUF_,
                                     reinterpret_cast<char *>(&size), &length),
              0);
    // A window this small would stall transfers on this system.
    EXPECT_GT(size, 8192);
}
