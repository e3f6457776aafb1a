// The SMTP component against a real SMTP server (aiosmtpd) on loopback.
#include "smtp/SMTP.h"
#include "tests/support/Peers.h"
#include "tests/support/SmtpServer.h"

#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

using namespace cvb;
using namespace cvb::test;

namespace {

void connectTo(TcvbSMTP &smtp, const SmtpServer &server)
{
    smtp.SetWinsockLoaded(true);
    smtp.SetMailServer("127.0.0.1");
    smtp.SetMailPort(std::uint16_t(server.Port()));
}

} // namespace

TEST(SMTPDelivery, PlainMessageArrivesByteForByte)
{
    SmtpServer server;
    ASSERT_TRUE(server.IsRunning()) << server.Errors().toStdString();
    TcvbSMTP smtp;
    connectTo(smtp, server);
    QStringList trace;
    smtp.OnPITrail = [&](QObject *, int direction, const QString &message) {
        trace << QString::number(direction) + ":" + message;
    };
    smtp.SetFrom("\"Corvale Backup\" <backup@example.org>");
    smtp.SetReplyTo("backup@example.org");
    smtp.SetSubject("Backup report for profile : site");
    smtp.SendTo() << "ops@example.org";
    smtp.OtherHeaders() << "X-Mailer: Halvorn's Corvale Backup";
    smtp.MessageText() << "12/8/2026 10:00:00 PM The backup was successful."
                       << ".a line that starts with a dot"
                       << ""
                       << "last";
    smtp.SetAction(smtpSend);
    smtp.SetAction(smtpDisconnect);
    EXPECT_FALSE(smtp.Connected());

    const ReceivedMail mail = server.WaitMessage(1);
    EXPECT_EQ(mail.mailFrom, "backup@example.org");
    EXPECT_EQ(mail.rcptTos, QStringList{"ops@example.org"});
    EXPECT_FALSE(mail.helo.isEmpty());
    EXPECT_EQ(mail.message, "To: ops@example.org\r\n"
                            "From: \"Corvale Backup\" <backup@example.org>\r\n"
                            "Subject: Backup report for profile : site\r\n"
                            "Reply-To: backup@example.org\r\n"
                            "X-Mailer: Halvorn's Corvale Backup\r\n"
                            "\r\n"
                            "12/8/2026 10:00:00 PM The backup was successful.\r\n"
                            ".a line that starts with a dot\r\n"
                            "\r\n"
                            "last\r\n"
                            "\r\n");
    EXPECT_TRUE(trace.contains("2:Connecting to mail server.")) << trace.join('\n').toStdString();
    EXPECT_TRUE(trace.contains("2:Connected."));
    EXPECT_TRUE(trace.contains("0:MAIL FROM:<backup@example.org>"));
    EXPECT_TRUE(trace.contains("0:QUIT"));
    EXPECT_TRUE(trace.contains("2:Disconnected."));
}

TEST(SMTPDelivery, EveryRecipientInTheEnvelopeAndBlindOnesInNoHeader)
{
    SmtpServer server;
    ASSERT_TRUE(server.IsRunning());
    TcvbSMTP smtp;
    connectTo(smtp, server);
    smtp.SetFrom("backup@example.org");
    smtp.SendTo() << "Ann <ann@example.org>, bob@example.org";
    smtp.Cc() << "carl@example.org";
    smtp.BCc() << "dora@example.org"
               << "";
    smtp.MessageText() << "text";
    smtp.SetAction(smtpSend);

    // A second message over the same connection starts again with RSET.
    smtp.SendTo().clear();
    smtp.SendTo() << "eve@example.org";
    smtp.Cc().clear();
    smtp.BCc().clear();
    smtp.SetAction(smtpSend);
    smtp.SetAction(smtpDisconnect);

    const ReceivedMail first = server.WaitMessage(1);
    EXPECT_EQ(first.rcptTos,
              (QStringList{"ann@example.org", "bob@example.org", "carl@example.org", "dora@example.org"}));
    EXPECT_TRUE(first.message.startsWith("To: Ann <ann@example.org>, bob@example.org\r\n"
                                         "From: backup@example.org\r\nCc: carl@example.org\r\n\r\n"))
        << first.message.constData();
    EXPECT_FALSE(first.message.contains("dora"));
    EXPECT_EQ(server.WaitMessage(2).rcptTos, QStringList{"eve@example.org"});
}

TEST(SMTPDelivery, AttachedFileFollowsTheTextWithItsDotsIntact)
{
    SmtpServer server;
    ASSERT_TRUE(server.IsRunning());
    QTemporaryDir dir;
    QByteArray file = ".first\r\nplain\r\n.second\r\n";
    for (int i = 0; i < 3000; ++i)
        file += (i % 37 == 0 ? "." : "x") + QByteArray::number(i) + "\r\n";
    QFile out(dir.filePath("attached.txt"));
    ASSERT_TRUE(out.open(QIODevice::WriteOnly));
    out.write(file);
    out.close();

    TcvbSMTP smtp;
    connectTo(smtp, server);
    std::vector<std::int64_t> progress;
    int starts = 0;
    int ends = 0;
    smtp.OnTransfer = [&](QObject *, std::int64_t bytes) { progress.push_back(bytes); };
    smtp.OnStartTransfer = [&](QObject *) { ++starts; };
    smtp.OnEndTransfer = [&](QObject *) { ++ends; };
    smtp.SetFrom("backup@example.org");
    smtp.SendTo() << "ops@example.org";
    smtp.MessageText() << "see the file";
    smtp.SetAttachedFile(dir.filePath("attached.txt"));
    smtp.SetAction(smtpSend);
    smtp.SetAction(smtpDisconnect);

    const ReceivedMail mail = server.WaitMessage(1);
    EXPECT_TRUE(mail.message.endsWith("\r\n\r\nsee the file\r\n" + file + "\r\n"));
    EXPECT_EQ(starts, 2);
    EXPECT_EQ(ends, 2);
    ASSERT_GE(progress.size(), 3u);
    EXPECT_EQ(progress.front(), QByteArray("see the file\r\n").size());
    EXPECT_EQ(progress.back(), file.size());
}

// A line break in an address would smuggle in a command of its own.
TEST(SMTPDelivery, AnAddressWithAControlCharacterIsRefusedBeforeAnythingIsSent)
{
    SmtpServer server;
    ASSERT_TRUE(server.IsRunning());
    for (const QString &bad : {QStringLiteral("rcpt@example.org\r\nVRFY injected"),
                               QStringLiteral("rcpt@example.org\nRCPT TO:<other@example.org>"),
                               QString::fromUtf8("rcpt@example.org\0x", 18)}) {
        TcvbSMTP smtp;
        connectTo(smtp, server);
        smtp.SetFrom("backup@example.org");
        smtp.SendTo() << bad;
        smtp.MessageText() << "hello";
        try {
            smtp.SetAction(smtpSend);
            ADD_FAILURE() << "sent to " << bad.toStdString();
        } catch (const EcvbSMTP &e) {
            EXPECT_EQ(e.Code(), 167);
            EXPECT_TRUE(e.Text().contains("control character")) << e.Text().toStdString();
        }
        EXPECT_FALSE(smtp.Connected());
    }
    EXPECT_EQ(server.Count(), 0);
}

TEST(SMTPDelivery, MissingSenderOrRecipientAndRefusedConnection)
{
    SmtpServer server;
    ASSERT_TRUE(server.IsRunning());
    TcvbSMTP smtp;
    connectTo(smtp, server);
    smtp.SendTo() << "ops@example.org";
    try {
        smtp.SetAction(smtpSend);
        ADD_FAILURE() << "sent without a sender";
    } catch (const EcvbSMTP &e) {
        EXPECT_EQ(e.Message(), "164: Please specify a sender (From).");
    }
    EXPECT_EQ(smtp.Action(), smtpIdle);
    smtp.SetFrom("backup@example.org");
    smtp.SendTo() = QStringList{"   "};
    try {
        smtp.SetAction(smtpSend);
        ADD_FAILURE() << "sent without a recipient";
    } catch (const EcvbSMTP &e) {
        EXPECT_EQ(e.Code(), 165);
        EXPECT_EQ(e.Text(), "Please specify a recipient (To).");
    }
    smtp.SetAction(smtpDisconnect);
    EXPECT_FALSE(smtp.Connected());
    EXPECT_EQ(server.Count(), 0);

    // Nobody listens on a port that was free a moment ago.
    TcvbSMTP lonely;
    lonely.SetWinsockLoaded(true);
    lonely.SetMailServer("127.0.0.1");
    lonely.SetMailPort(std::uint16_t(freePort()));
    QStringList errors;
    lonely.OnError = [&](QObject *, int code, const QString &text) {
        errors << QString::number(code) + text;
    };
    lonely.SetFrom("backup@example.org");
    lonely.SendTo() << "ops@example.org";
    try {
        lonely.SetAction(smtpSend);
        ADD_FAILURE() << "connected to nobody";
    } catch (const EcvbSMTP &e) {
        EXPECT_EQ(e.Code(), 10061);
    }
    ASSERT_EQ(errors.size(), 1);
    EXPECT_TRUE(errors[0].startsWith("162Failed to connect: ")) << errors[0].toStdString();
}
