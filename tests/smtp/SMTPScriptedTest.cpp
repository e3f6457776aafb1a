// The SMTP component against scripted servers: refusals, multi-line replies, failures.
#include "smtp/SMTP.h"
#include "tests/support/ScriptedServer.h"

#include <QRegularExpression>
#include <QTimer>

#include <gtest/gtest.h>

using namespace cvb;
using namespace cvb::test;

namespace {

// The greeting and the answer to HELO.
ScriptedServer &greeted(ScriptedServer &server)
{
    return server.Send("220 scripted.example.org ready\r\n").ExpectLine().Send("250 hello\r\n");
}

ScriptedServer &envelope(ScriptedServer &server)
{
    return greeted(server)
        .ExpectLine("RSET")
        .Send("250 ok\r\n")
        .ExpectLine("MAIL FROM:<backup@example.org>")
        .Send("250 ok\r\n");
}

// The message the test client sends, up to its final ".", after DATA was answered.
ScriptedServer &message(ScriptedServer &server)
{
    return server.ExpectLine("To: to@example.org")
        .ExpectLine("From: backup@example.org")
        .ExpectLine("")
        .ExpectLine("report")
        .ExpectLine("")
        .ExpectLine(".");
}

// QUIT answered and the connection closed.
void quit(ScriptedServer &server)
{
    server.ExpectLine("QUIT").Send("221 bye\r\n").Close();
}

struct Client
{
    TcvbSMTP smtp;
    QStringList trace;
    QStringList errors;

    explicit Client(const ScriptedServer &server)
    {
        smtp.SetWinsockLoaded(true);
        smtp.SetMailServer("127.0.0.1");
        smtp.SetMailPort(std::uint16_t(server.Port()));
        smtp.OnPITrail = [this](QObject *, int direction, const QString &message) {
            trace << QString::number(direction) + ":" + message;
        };
        smtp.OnError = [this](QObject *, int code, const QString &text) {
            errors << QString::number(code) + ":" + text;
        };
        smtp.SetFrom("backup@example.org");
        smtp.MessageText() << "report";
    }

    // Runs the action and returns the code it raised (0 when it did not).
    int run(int action)
    {
        try {
            smtp.SetAction(action);
        } catch (const EcvbSMTP &e) {
            lastMessage = e.Message();
            return e.Code();
        }
        return 0;
    }
    QString lastMessage;
};

void expectScriptDone(ScriptedServer &server)
{
    EXPECT_TRUE(server.WaitDone());
    EXPECT_TRUE(server.Failures().isEmpty()) << server.Failures().join('\n').toStdString();
}

} // namespace

TEST(SMTPScripted, RefusedToRecipientEndsTheSendWithTheReplyLine)
{
    ScriptedServer server;
    envelope(server)
        .ExpectLine("RCPT TO:<nobody@example.org>")
        .Send("550 5.1.1 <nobody@example.org>: Recipient address rejected\r\n");
    quit(server);
    server.Start();
    Client client(server);
    client.smtp.SendTo() << "nobody@example.org, other@example.org";
    EXPECT_EQ(client.run(smtpSend), 161);
    EXPECT_EQ(client.lastMessage, "161: 550 5.1.1 <nobody@example.org>: Recipient address rejected");
    EXPECT_EQ(client.smtp.Action(), smtpIdle);
    EXPECT_TRUE(client.smtp.Connected()); // the caller disconnects
    EXPECT_EQ(client.run(smtpDisconnect), 0);
    EXPECT_FALSE(client.smtp.Connected());
    expectScriptDone(server);
    EXPECT_TRUE(client.errors.isEmpty()) << client.errors.join('\n').toStdString();
}

TEST(SMTPScripted, RefusedBlindRecipientIsReportedAndTheMessageStillGoes)
{
    ScriptedServer server;
    envelope(server)
        .ExpectLine("RCPT TO:<to@example.org>")
        .Send("250 ok\r\n")
        .ExpectLine("RCPT TO:<hidden@example.org>")
        .Send("550 5.7.1 <hidden@example.org>: not here\r\n")
        .ExpectLine("RCPT TO:<second@example.org>")
        .Send("250 ok\r\n")
        .ExpectLine("DATA")
        .Send("354 go ahead\r\n");
    message(server).Send("250 queued\r\n");
    quit(server);
    server.Start();
    Client client(server);
    client.smtp.SendTo() << "to@example.org";
    client.smtp.BCc() << "hidden@example.org"
                      << "second@example.org";
    EXPECT_EQ(client.run(smtpSend), 0) << client.lastMessage.toStdString();
    EXPECT_EQ(client.run(smtpDisconnect), 0);
    expectScriptDone(server);
    EXPECT_EQ(client.errors, QStringList{"161:550 5.7.1 <hidden@example.org>: not here"});
}

TEST(SMTPScripted, MultiLineAndPreliminaryRepliesAreReadToTheirEnd)
{
    ScriptedServer server;
    server.Send("220-scripted.example.org\r\n220-second greeting line\r\n220 last greeting line\r\n")
        .ExpectLine()
        .Send("250-scripted.example.org\r\n250-SIZE 1000000\r\n250 HELP\r\n")
        .ExpectLine("RSET")
        .Send("250 ok\r\n")
        .ExpectLine("MAIL FROM:<backup@example.org>")
        .Send("250 ok\r\n")
        .ExpectLine("RCPT TO:<to@example.org>")
        .Send("250 ok\r\n")
        .ExpectLine("DATA")
        .Send("150 thinking\r\n354-one\r\n354 go ahead\r\n");
    message(server).Send("250 queued\r\n");
    quit(server);
    server.Start();
    Client client(server);
    client.smtp.SendTo() << "to@example.org";
    // A re-entrant action from an event handler is refused as busy.
    int busy = 0;
    client.smtp.OnStartTransfer = [&](QObject *) {
        try {
            client.smtp.SetAction(smtpSend);
        } catch (const EcvbSMTP &e) {
            busy = e.Code();
        }
    };
    EXPECT_EQ(client.run(smtpSend), 0) << client.lastMessage.toStdString();
    EXPECT_EQ(busy, 166);
    EXPECT_EQ(client.run(smtpDisconnect), 0);
    expectScriptDone(server);

    const QStringList expected = {"1:220-scripted.example.org", "1:220-second greeting line",
                                  "1:220 last greeting line"};
    const qsizetype at = client.trace.indexOf(expected[0]);
    ASSERT_GE(at, 0) << client.trace.join('\n').toStdString();
    EXPECT_EQ(client.trace.mid(at, 3), expected);
    EXPECT_TRUE(client.trace.contains("1:250 HELP"));
    const qsizetype data = client.trace.indexOf("0:DATA");
    ASSERT_GE(data, 0);
    EXPECT_EQ(client.trace.mid(data, 4),
              (QStringList{"0:DATA", "1:150 thinking", "1:354-one", "1:354 go ahead"}));
}

TEST(SMTPScripted, FailedMessageStillEndsWithQuit)
{
    ScriptedServer server;
    envelope(server)
        .ExpectLine("RCPT TO:<to@example.org>")
        .Send("250 ok\r\n")
        .ExpectLine("DATA")
        .Send("354 go ahead\r\n");
    message(server).Send("451 4.3.0 local error in processing\r\n");
    quit(server);
    server.Start();
    Client client(server);
    client.smtp.SendTo() << "to@example.org";
    EXPECT_EQ(client.run(smtpSend), 161);
    EXPECT_EQ(client.lastMessage, "161: 451 4.3.0 local error in processing");
    EXPECT_EQ(client.run(smtpDisconnect), 0);
    EXPECT_FALSE(client.smtp.Connected());
    EXPECT_TRUE(client.trace.contains("2:Disconnected."));
    expectScriptDone(server);
}

TEST(SMTPScripted, ServerGoneDuringSendingIsAFailureAndTheConnectionEnds)
{
    ScriptedServer server;
    envelope(server)
        .ExpectLine("RCPT TO:<to@example.org>")
        .Send("250 ok\r\n")
        .ExpectLine("DATA")
        .Send("354 go ahead\r\n")
        .ExpectLine("To: to@example.org")
        .Reset();
    server.Start();
    Client client(server);
    client.smtp.SendTo() << "to@example.org";
    EXPECT_NE(client.run(smtpSend), 0);
    // The QUIT cannot be answered any more; the connection is closed all the same.
    client.run(smtpDisconnect);
    EXPECT_FALSE(client.smtp.Connected());
    EXPECT_EQ(client.smtp.Action(), smtpIdle);
    expectScriptDone(server);
}

TEST(SMTPScripted, IdleActionInterruptsAWaitingSend)
{
    ScriptedServer server;
    envelope(server).ExpectLine("RCPT TO:<to@example.org>").Send("250 ok\r\n").ExpectLine("DATA");
    quit(server);
    server.Start();
    Client client(server);
    client.smtp.SendTo() << "to@example.org";
    client.smtp.OnPITrail = [&](QObject *, int direction, const QString &message) {
        if (direction == 0 && message == "DATA")
            QTimer::singleShot(50, [&] { client.smtp.SetAction(smtpIdle); });
    };
    EXPECT_EQ(client.run(smtpSend), 301);
    EXPECT_EQ(client.smtp.LastErrorText(), "Interrupted");
    EXPECT_EQ(client.smtp.Action(), smtpIdle);
    client.run(smtpDisconnect);
    EXPECT_FALSE(client.smtp.Connected());
    expectScriptDone(server);
}

TEST(SMTPScripted, ConnectAndRawCommands)
{
    ScriptedServer server;
    greeted(server).ExpectLine("NOOP").Send("250 ok\r\n").ExpectLine("VRFY root").Send("502 no\r\n");
    quit(server);
    server.Start();
    Client client(server);
    EXPECT_EQ(client.run(smtpConnect), 0);
    client.smtp.SetCommand("NOOP");
    EXPECT_EQ(client.run(smtpCommand), 0);
    client.smtp.SetCommand("");
    EXPECT_EQ(client.run(smtpCommand), 0); // nothing sent, nothing awaited
    client.smtp.SetCommand("VRFY root");
    EXPECT_EQ(client.run(smtpCommand), 161);
    EXPECT_EQ(client.lastMessage, "161: 502 no");
    EXPECT_EQ(client.run(smtpDisconnect), 0);
    expectScriptDone(server);
    EXPECT_EQ(client.trace.first(), "2:Connecting to mail server.");
    EXPECT_EQ(client.trace.filter(QRegularExpression("^0:HELO( .+)?$")).size(), 1)
        << client.trace.join('\n').toStdString();
}

// A server that offers STARTTLS and then refuses it (or a man in the middle who strips it) gets
// no log-in and no message: the whole dialogue is EHLO, STARTTLS, QUIT.
TEST(SMTPScripted, RefusedStartTlsEndsTheSendBeforeTheLogIn)
{
    ScriptedServer server;
    server.Send("220 scripted.example.org ready\r\n")
        .ExpectLine()
        .Send("250-scripted.example.org\r\n250-STARTTLS\r\n250 AUTH PLAIN LOGIN\r\n")
        .ExpectLine("STARTTLS")
        .Send("454 4.7.0 TLS not available due to temporary reason\r\n");
    quit(server);
    server.Start();
    Client client(server);
    client.smtp.SendTo() << "to@example.org";
    client.smtp.SetSecurity(smtpsStartTls);
    client.smtp.SetUser("backup@example.org");
    client.smtp.SetPassword("secret");
    EXPECT_EQ(client.run(smtpSend), kSmtpNotSecured);
    EXPECT_EQ(client.lastMessage, "168: The mail server 127.0.0.1:" + QString::number(server.Port()) +
                                      " refused STARTTLS (454 4.7.0 TLS not available due to temporary "
                                      "reason); neither the log-in nor the message was sent.");
    EXPECT_EQ(client.run(smtpDisconnect), 0);
    expectScriptDone(server);
    ASSERT_EQ(server.Lines().size(), 3);
    EXPECT_TRUE(server.Lines().first().startsWith("EHLO "));
}
