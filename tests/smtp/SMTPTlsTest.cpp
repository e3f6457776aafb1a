// The SMTP component with TLS and a log-in, against a real SMTP server (aiosmtpd) on loopback with
// a certificate made by the test: STARTTLS, TLS from the first byte, AUTH PLAIN and AUTH LOGIN,
// and what a server that cannot secure the connection gets to see (its transcript).
#include "smtp/SMTP.h"
#include "tests/support/SmtpServer.h"
#include "tests/support/TestCertificate.h"

#include <QRegularExpression>

#include <gtest/gtest.h>

using namespace cvb;
using namespace cvb::test;

namespace {

const QString kUser = QStringLiteral("reports@example.org");
const QString kPassword = QStringLiteral("Pa55:wörd");

struct Client
{
    TcvbSMTP smtp;
    QStringList trace;

    Client(const SmtpServer &server, TSMTPSecurity security, const QString &fingerprint)
    {
        smtp.SetWinsockLoaded(true);
        smtp.SetMailServer("127.0.0.1");
        smtp.SetMailPort(std::uint16_t(server.Port()));
        smtp.SetSecurity(security);
        smtp.SetTrustedFingerprint(fingerprint);
        smtp.SetUser(kUser);
        smtp.SetPassword(kPassword);
        smtp.OnPITrail = [this](QObject *, int direction, const QString &message) {
            trace << QString::number(direction) + ":" + message;
        };
        smtp.SetFrom("backup@example.org");
        smtp.SendTo() << "ops@example.org";
        smtp.MessageText() << "report";
    }

    // Sends and disconnects; the code the send raised (0 when it did not).
    int send()
    {
        int code = 0;
        try {
            smtp.SetAction(smtpSend);
        } catch (const EcvbSMTP &e) {
            code = e.Code();
            message = e.Message();
        }
        smtp.SetAction(smtpDisconnect);
        return code;
    }

    // True when neither the password nor anything encoding it is in the trace.
    bool traceKeepsThePassword() const
    {
        const QString b64 = QString::fromLatin1(kPassword.toUtf8().toBase64());
        const QString plain = QString::fromLatin1(
            (QByteArray(1, '\0') + kUser.toUtf8() + '\0' + kPassword.toUtf8()).toBase64());
        const QString all = trace.join('\n');
        return !all.contains(kPassword) && !all.contains(b64) && !all.contains(plain);
    }

    QString message;
};

SmtpServerOptions tlsServer(SmtpServerOptions::Tls tls, const TestCertificate &cert)
{
    SmtpServerOptions options;
    options.tls = tls;
    options.pemFile = cert.pemFile();
    options.user = kUser;
    options.password = kPassword;
    return options;
}

class SMTPTls : public ::testing::Test
{
protected:
    void SetUp() override { ASSERT_TRUE(cert.ok()) << cert.error().toStdString(); }
    TestCertificate cert;
};

} // namespace

TEST_F(SMTPTls, StartTlsIsRequiredThenTheClientGreetsAgainAndLogsInWithPlain)
{
    SmtpServer server(tlsServer(SmtpServerOptions::Tls::StartTls, cert));
    ASSERT_TRUE(server.IsRunning()) << server.Errors().toStdString();
    Client client(server, smtpsStartTls, cert.fingerprint());
    ASSERT_EQ(client.send(), 0) << client.message.toStdString() << client.trace.join('\n').toStdString();

    const ReceivedMail mail = server.WaitMessage(1);
    EXPECT_TRUE(mail.tls);
    EXPECT_EQ(mail.user, kUser);
    EXPECT_EQ(client.trace.filter(QRegularExpression("^0:EHLO ")).size(), 2);
    const qsizetype startTls = client.trace.indexOf("0:STARTTLS");
    ASSERT_GE(startTls, 0);
    EXPECT_LT(startTls, client.trace.indexOf("0:AUTH PLAIN ****"));
    EXPECT_FALSE(client.trace.filter("TLS established").isEmpty());
    EXPECT_TRUE(client.traceKeepsThePassword()) << client.trace.join('\n').toStdString();
}

TEST_F(SMTPTls, TlsFromTheFirstByteWithAuthLoginWhereTheServerOffersNoPlain)
{
    SmtpServerOptions options = tlsServer(SmtpServerOptions::Tls::Implicit, cert);
    options.loginOnly = true;
    SmtpServer server(options);
    ASSERT_TRUE(server.IsRunning()) << server.Errors().toStdString();
    Client client(server, smtpsImplicit, cert.fingerprint());
    ASSERT_EQ(client.send(), 0) << client.message.toStdString() << client.trace.join('\n').toStdString();

    const ReceivedMail mail = server.WaitMessage(1);
    EXPECT_TRUE(mail.tls);
    EXPECT_EQ(mail.user, kUser);
    EXPECT_TRUE(client.trace.contains("0:AUTH LOGIN"));
    EXPECT_TRUE(client.trace.contains("0:****"));
    EXPECT_FALSE(client.trace.contains("0:STARTTLS"));
    EXPECT_TRUE(client.traceKeepsThePassword()) << client.trace.join('\n').toStdString();
}

TEST_F(SMTPTls, AWrongPasswordFailsWithTheServersAnswerAndNoMessageGoes)
{
    SmtpServerOptions options = tlsServer(SmtpServerOptions::Tls::StartTls, cert);
    options.password = QStringLiteral("another");
    SmtpServer server(options);
    ASSERT_TRUE(server.IsRunning()) << server.Errors().toStdString();
    Client client(server, smtpsStartTls, cert.fingerprint());
    EXPECT_EQ(client.send(), 161);
    EXPECT_EQ(client.message, "161: 535 5.7.8 Authentication credentials invalid");
    EXPECT_FALSE(server.Transcript().contains("MAIL FROM"));
    EXPECT_EQ(server.Count(), 0);
    EXPECT_TRUE(client.traceKeepsThePassword()) << client.trace.join('\n').toStdString();
}

// A server that offers no STARTTLS (here one that would take the log-in in the clear) hears the
// greeting and the good-bye, nothing else.
TEST_F(SMTPTls, AServerWithoutStartTlsNeverReceivesTheLogInOrTheMessage)
{
    SmtpServerOptions options;
    options.user = kUser;
    options.password = kPassword;
    options.authOverPlain = true;
    SmtpServer server(options);
    ASSERT_TRUE(server.IsRunning()) << server.Errors().toStdString();
    Client client(server, smtpsStartTls, QString());
    EXPECT_EQ(client.send(), kSmtpNotSecured);
    EXPECT_TRUE(client.message.contains("does not offer STARTTLS")) << client.message.toStdString();
    EXPECT_TRUE(client.message.contains("neither the log-in nor the message was sent"));
    const QList<QByteArray> lines = server.Transcript().split('\n');
    ASSERT_EQ(lines.size(), 3) << server.Transcript().toStdString();
    EXPECT_TRUE(lines[0].startsWith("EHLO "));
    EXPECT_EQ(lines[1], "QUIT\r");
    EXPECT_EQ(server.Count(), 0);
}

// Without encryption in the server address a set user is a mistake: nothing is sent at all. An
// untrusted certificate ends the connection before the log-in.
TEST_F(SMTPTls, NoLogInOverPlainSmtpAndNoneToAServerWhoseCertificateIsNotTrusted)
{
    SmtpServer plain;
    ASSERT_TRUE(plain.IsRunning()) << plain.Errors().toStdString();
    Client unencrypted(plain, smtpsNone, QString());
    EXPECT_EQ(unencrypted.send(), kSmtpNoLogIn);
    EXPECT_TRUE(unencrypted.message.contains("never sent unencrypted")) << unencrypted.message.toStdString();
    EXPECT_TRUE(plain.Transcript().isEmpty()) << plain.Transcript().toStdString();

    SmtpServer server(tlsServer(SmtpServerOptions::Tls::StartTls, cert));
    ASSERT_TRUE(server.IsRunning()) << server.Errors().toStdString();
    Client untrusting(server, smtpsStartTls, QString());
    EXPECT_EQ(untrusting.send(), kTlsUntrusted);
    EXPECT_TRUE(untrusting.message.contains(cert.fingerprint())) << untrusting.message.toStdString();
    EXPECT_EQ(untrusting.smtp.PeerCertificate().fingerprint, cert.fingerprint());
    EXPECT_FALSE(untrusting.smtp.Connected());
    EXPECT_FALSE(server.Transcript().contains("AUTH")) << server.Transcript().toStdString();
    EXPECT_EQ(server.Count(), 0);
}
