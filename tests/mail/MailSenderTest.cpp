// Sending a message from plain fields through components the caller owns, as the backup's
// report does: no window is involved. The server field chooses plain SMTP, STARTTLS or TLS; the
// log-in comes from the settings file and the trust from known-servers of the database folder.
#include "mail/MailSender.h"
#include "data/Clock.h"
#include "data/Database.h"
#include "data/KnownServers.h"
#include "data/Settings.h"
#include "mail/MailComposer.h"
#include "mail/NetCode.h"
#include "smtp/SMTP.h"
#include "tests/mail/MailTestFiles.h"
#include "tests/support/Peers.h"
#include "tests/support/ScriptedServer.h"
#include "tests/support/SmtpServer.h"
#include "tests/support/TestCertificate.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QRegularExpression>
#include <QTimeZone>

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

// The test's folder is the database folder as well: its settings file and known-servers count.
class MailSender : public InOwnFolder
{
protected:
    void SetUp() override
    {
        InOwnFolder::SetUp();
        setAliasFolder(m_dir.path());
    }
    void TearDown() override
    {
        setAliasFolder(QString());
        InOwnFolder::TearDown();
    }

    TcvbSMTP m_smtp;
    TcvbNetCode m_coder;
};

// What Python's email package reads in a received message.
QJsonObject parsed(const QString &messageFile)
{
    const ProcessResult r = runProcess(python(), {sourcePath("tests/mail/mail_parse.py"), messageFile});
    EXPECT_EQ(r.exitCode, 0) << r.err.constData();
    return QJsonDocument::fromJson(r.out).object();
}

QString headerOf(const QJsonObject &message, const QString &name)
{
    for (const QJsonValue &header : message["headers"].toArray())
        if (header.toArray()[0].toString() == name)
            return header.toArray()[1].toString();
    return {};
}

} // namespace

TEST_F(MailSender, SendsTheReportAndClosesTheConnectionEachTime)
{
    SmtpServer server;
    ASSERT_TRUE(server.IsRunning());
    const QString address = "127.0.0.1:" + QString::number(server.Port());
    const QDateTime moment(QDate(2026, 12, 8), QTime(22, 0, 5));
    Clock::pin(moment);
    MailFields first = reportFields({"first report"});
    first.bcc = "audit@example.org";
    sendMail(m_smtp, m_coder, address, first);
    EXPECT_FALSE(m_smtp.Connected());

    // The same components serve the next report, without anything left over from the first.
    sendMail(m_smtp, m_coder, address, reportFields({"second report", " "}));
    EXPECT_FALSE(m_smtp.Connected());
    Clock::useSystemTime();
    const ReceivedMail mail = server.WaitMessage(2);
    EXPECT_EQ(mail.mailFrom, "backup@example.org");
    EXPECT_EQ(mail.rcptTos, QStringList{"ops@example.org"});
    EXPECT_FALSE(mail.tls);
    const QByteArray header = "To: ops@example.org\r\n"
                              "From: backup@example.org\r\n"
                              "Subject: Backup report for profile : site\r\n"
                              "Reply-To: backup@example.org\r\n"
                              "Date: " +
                              MailDate(moment).toUtf8() + "\r\nMessage-ID: <ID>\r\n";
    EXPECT_EQ(maskedMessageId(mail.message), header + "X-Mailer: Halvorn's Corvale Backup\r\n"
                                                      "\r\n"
                                                      "second report\r\n"
                                                      " \r\n"
                                                      "\r\n");
    EXPECT_EQ(server.WaitMessage(1).rcptTos, (QStringList{"ops@example.org", "audit@example.org"}));
    // Each message has an identifier of its own.
    EXPECT_NE(headerOf(parsed(server.FileOf(1)), "Message-ID"),
              headerOf(parsed(server.FileOf(2)), "Message-ID"));
}

// The report as a mail provider takes it: submission with STARTTLS, the log-in of the settings
// file, the certificate pinned in known-servers. A mail reader finds a Date it can read and a
// Message-ID of the sender's domain; the password is nowhere in the message.
TEST_F(MailSender, AReportThroughSubmissionWithTheLogInOfTheSettingsFileAndTheHeadersAReaderNeeds)
{
    TestCertificate cert;
    ASSERT_TRUE(cert.ok()) << cert.error().toStdString();
    SmtpServerOptions options;
    options.tls = SmtpServerOptions::Tls::StartTls;
    options.pemFile = cert.pemFile();
    options.user = "reports";
    options.password = "s3cret pass";
    SmtpServer server(options);
    ASSERT_TRUE(server.IsRunning()) << server.Errors().toStdString();
    ProgramSettings settings(m_dir.path());
    settings.setMailUser(options.user);
    settings.setMailPassword(options.password);
    ASSERT_TRUE(settings.save().isEmpty());
    ASSERT_TRUE(pinFingerprint(m_dir.path(), "127.0.0.1", server.Port(), cert.fingerprint()).isEmpty());

    MailFields fields = reportFields({"report"});
    fields.from = "\"Corvale Backup\" <backup@example.org>";
    sendMail(m_smtp, m_coder, "submission://127.0.0.1:" + QString::number(server.Port()), fields);
    const ReceivedMail mail = server.WaitMessage(1);
    EXPECT_TRUE(mail.tls);
    EXPECT_EQ(mail.user, "reports");
    EXPECT_FALSE(mail.message.contains("s3cret"));

    const QJsonObject message = parsed(server.FileOf(1));
    EXPECT_TRUE(message["defects"].toArray().isEmpty());
    const QDateTime date = QDateTime::fromString(message["date"].toString(), Qt::ISODate);
    ASSERT_TRUE(date.isValid()) << message["date"].toString().toStdString();
    EXPECT_EQ(date.offsetFromUtc(), QDateTime::currentDateTime().offsetFromUtc());
    EXPECT_TRUE(
        QRegularExpression("^<[^<>@ ]+@example\\.org>$").match(headerOf(message, "Message-ID")).hasMatch())
        << headerOf(message, "Message-ID").toStdString();
}

TEST(MailComposer, TheDateIsInTheMailFormWithEnglishNamesAndTheMomentsOwnOffset)
{
    const QDate day(2026, 12, 8);
    EXPECT_EQ(MailDate(QDateTime(day, QTime(22, 0, 5), QTimeZone(3600))), "Tue, 8 Dec 2026 22:00:05 +0100");
    EXPECT_EQ(MailDate(QDateTime(day, QTime(7, 3), QTimeZone(-(3 * 3600 + 1800)))),
              "Tue, 8 Dec 2026 07:03:00 -0330");
    EXPECT_EQ(MailDate(QDateTime(QDate(2027, 1, 31), QTime(0, 0), QTimeZone::utc())),
              "Sun, 31 Jan 2027 00:00:00 +0000");
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
