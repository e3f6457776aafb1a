// What a transfer connection turned away at log-on makes the pool remember: only a server's
// "no more connections" lowers the number for later backups; a wrong password or a stop does not.
#include "remote/TransferPool.h"
#include "tests/support/ScriptedServer.h"

#include <QTest>
#include <gtest/gtest.h>

namespace {

using cvb::test::ScriptedServer;

struct Refusal
{
    const char *name;
    QByteArray greeting;  // the server's first reply
    QByteArray passReply; // after USER and PASS, when the greeting lets the client on
    bool limit;           // counts as the server's limit
};

class LogOnRefusal : public ::testing::TestWithParam<Refusal>
{
};

TEST_P(LogOnRefusal, IsTakenForTheServersLimitOnlyWhenItSaysSo)
{
    const Refusal &refusal = GetParam();
    ScriptedServer server;
    if (!refusal.greeting.isEmpty())
        server.Send(refusal.greeting);
    if (!refusal.passReply.isEmpty()) {
        server.ExpectLine("USER anna")
            .Send("331 password please\r\n")
            .ExpectLine("PASS pw")
            .Send(refusal.passReply);
    }
    server.Close();
    server.Start();
    cvb::ConnectionSettings settings;
    settings.server = QStringLiteral("127.0.0.1:%1").arg(server.Port());
    settings.user = QStringLiteral("anna");
    settings.password = QStringLiteral("pw");
    cvb::TransferPool pool(settings, 1, 0);
    QStringList givenUp;
    pool.onGivenUp = [&](int connection, const QString &why) {
        givenUp << QString::number(connection) + QLatin1Char(':') + why;
    };
    pool.start();
    ASSERT_TRUE(QTest::qWaitFor([&] { return !givenUp.isEmpty(); }, 15000));
    EXPECT_FALSE(pool.accepting());
    pool.finish();
    EXPECT_EQ(pool.loggedOn(), 0);
    EXPECT_EQ(pool.limitMet(), refusal.limit) << givenUp.join(QLatin1Char('\n')).toStdString();
    ASSERT_EQ(givenUp.size(), 1);
    EXPECT_TRUE(givenUp[0].startsWith(QStringLiteral("1:"))) << givenUp[0].toStdString();
    EXPECT_TRUE(server.WaitDone());
}

INSTANTIATE_TEST_SUITE_P(
    Replies, LogOnRefusal,
    ::testing::Values(
        Refusal{"Greeting421", "421 Too many connections (4) from this IP\r\n", {}, true},
        Refusal{"Vsftpd421", "421 There are too many connected users, please try later.\r\n", {}, true},
        // Closed without a word, as some hosts do at their limit.
        Refusal{"ClosedAtOnce", "", {}, true},
        Refusal{"Pass530TooMany", "220 ready\r\n", "530 Too many connections for this account.\r\n", true},
        Refusal{"Pass530Maximum", "220 ready\r\n",
                "530 Sorry, the maximum number of clients (2) for this user are already connected.\r\n", true},
        Refusal{"WrongPassword", "220 ready\r\n", "530 Login incorrect.\r\n", false}),
    [](const auto &info) { return std::string(info.param.name); });

// A backup stopped while its connection still waits for the server's greeting: the connection
// ends at once (not when the wait's idle limit is reached, minutes later), and the stop says
// nothing about how many connections the server takes.
TEST(TransferPool, AStopDuringTheLogOnEndsItAndIsNoConnectionLimit)
{
    ScriptedServer server; // listens, but greets nobody
    cvb::ConnectionSettings settings;
    settings.server = QStringLiteral("127.0.0.1:%1").arg(server.Port());
    settings.user = QStringLiteral("anna");
    settings.password = QStringLiteral("pw");
    cvb::TransferPool pool(settings, 1, 0);
    int givenUp = 0;
    pool.onGivenUp = [&](int, const QString &) { ++givenUp; };
    pool.start();
    ASSERT_TRUE(QTest::qWaitFor([&] { return server.ConnectionWaiting(); }, 15000));
    pool.stop();
    // The client has closed its side: the server reads to the end of it.
    server.ReadToEnd();
    server.Start();
    EXPECT_TRUE(server.WaitDone(10000)) << "the connection still waits for its greeting";
    pool.finish();
    QCoreApplication::processEvents();
    EXPECT_EQ(pool.loggedOn(), 0);
    EXPECT_FALSE(pool.limitMet());
    EXPECT_EQ(givenUp, 0);
}

} // namespace
