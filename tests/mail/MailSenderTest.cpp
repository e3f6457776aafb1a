// Sending a message from plain fields through components the caller owns, as the backup's
// report does: no window is involved.
#include "mail/MailSender.h"
#include "mail/MailComposer.h"
#include "mail/NetCode.h"
#include "smtp/SMTP.h"
#include "tests/mail/MailTestFiles.h"
#include "tests/support/ScriptedServer.h"
#include "tests/support/SmtpServer.h"

#include <gtest/gtest.h>

using namespace cvb;
using namespace cvb::test;

namespace {

MailFields reportFields(const QStringList &text)
{
    MailFields fields;
    fields.to = "ops@example.org";
    fields.from = "backup@example.org";
    fields.subject = "Backup report for profile : site";
    fields.text = text;
    return fields;
}

class MailSender : public InOwnFolder
{
protected:
    TcvbSMTP m_smtp;
    TcvbNetCode m_coder;
};

} // namespace

TEST_F(MailSender, SendsTheReportAndClosesTheConnectionEachTime)
{
    SmtpServer server;
    ASSERT_TRUE(server.IsRunning());
    const QString address = "127.0.0.1:" + QString::number(server.Port());
    MailFields first = reportFields({"first report"});
    first.bcc = "audit@example.org";
    sendMail(m_smtp, m_coder, address, first);
    EXPECT_FALSE(m_smtp.Connected());

    // The same components serve the next report, without anything left over from the first.
    sendMail(m_smtp, m_coder, address, reportFields({"second report", " "}));
    EXPECT_FALSE(m_smtp.Connected());
    const ReceivedMail mail = server.WaitMessage(2);
    EXPECT_EQ(mail.mailFrom, "backup@example.org");
    EXPECT_EQ(mail.rcptTos, QStringList{"ops@example.org"});
    EXPECT_EQ(mail.message, "To: ops@example.org\r\n"
                            "From: backup@example.org\r\n"
                            "Subject: Backup report for profile : site\r\n"
                            "Reply-To: backup@example.org\r\n"
                            "X-Mailer: Halvorn's Corvale Backup\r\n"
                            "\r\n"
                            "second report\r\n"
                            " \r\n"
                            "\r\n");
    EXPECT_EQ(server.WaitMessage(1).rcptTos, (QStringList{"ops@example.org", "audit@example.org"}));
}

TEST_F(MailSender, AFailedSendStillDisconnectsAndRaisesTheServersFailure)
{
    ScriptedServer server;
    server.Send("220 ready\r\n")
        .ExpectLine()
        .Send("250 hello\r\n")
        .ExpectLine("RSET")
        .Send("250 ok\r\n")
        .ExpectLine("MAIL FROM:<backup@example.org>")
        .Send("550 not you\r\n")
        .ExpectLine("QUIT")
        .Send("221 bye\r\n")
        .ReadToEnd();
    server.Start();
    EXPECT_THROW(
        sendMail(m_smtp, m_coder, "127.0.0.1:" + QString::number(server.Port()), reportFields({"text"})),
        EcvbSMTP);
    EXPECT_FALSE(m_smtp.Connected());
    EXPECT_EQ(m_smtp.Action(), smtpIdle);
    EXPECT_TRUE(server.WaitDone());
}

TEST_F(MailSender, AnAddressWithAnFtpSchemeOrABadPortIsRefusedBeforeConnecting)
{
    ScriptedServer server; // nothing may connect to it
    const QString port = QString::number(server.Port());
    const QStringList addresses = {"ftpes://127.0.0.1:" + port, "ftps://127.0.0.1:" + port,
                                   "127.0.0.1:notaport"};
    for (const QString &address : addresses) {
        try {
            sendMail(m_smtp, m_coder, address, reportFields({"text"}));
            ADD_FAILURE() << "sent to " << address.toStdString();
        } catch (const EcvbSMTP &e) {
            EXPECT_EQ(e.Code(), 10022) << address.toStdString();
        }
    }
    EXPECT_FALSE(server.ConnectionWaiting());
    EXPECT_FALSE(m_smtp.Connected());
}

TEST(MailComposer, AttachmentNameIsThePathWithoutFolders)
{
    EXPECT_EQ(AttachmentName("C:\\Backups\\site.zip"), "site.zip");
    EXPECT_EQ(AttachmentName("/home/ops/site.zip"), "site.zip");
    EXPECT_EQ(AttachmentName("site.zip"), "site.zip");
}
