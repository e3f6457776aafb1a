// Report and test mails as the program sends them, end to end: corvale-backup --test-mail and
// --run-profile against a mail server (aiosmtpd) that wants STARTTLS and a log-in, with the
// database folder written by cvb-dbf and the settings file. The log-in must work, a wrong one must
// show the server's answer, and the password must appear in no output, log row or mail.
#include "data/KnownServers.h"
#include "data/Settings.h"
#include "mail/TestMail.h"
#include "tests/support/Files.h"
#include "tests/support/FtpServer.h"
#include "tests/support/Peers.h"
#include "tests/support/SmtpServer.h"
#include "tests/support/TestCertificate.h"

#include <QDir>
#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace {

const QString kUser = QStringLiteral("reports");
const QString kPassword = QStringLiteral("Tr0ub4dor&3");

class ReportMail : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(cert.ok()) << cert.error().toStdString();
        cvb::test::SmtpServerOptions options;
        options.tls = cvb::test::SmtpServerOptions::Tls::StartTls;
        options.pemFile = cert.pemFile();
        options.user = kUser;
        options.password = kPassword;
        smtp = std::make_unique<cvb::test::SmtpServer>(options);
        ASSERT_TRUE(smtp->IsRunning()) << smtp->Errors().toStdString();
        ASSERT_TRUE(QDir().mkpath(data));
        dbf({QStringLiteral("init"), data});
        dbf({QStringLiteral("set"), data + QStringLiteral("/FTP Connection.dbf"), QStringLiteral("1"),
             QStringLiteral("SMTP=submission://127.0.0.1:%1").arg(smtp->Port()),
             QStringLiteral("EMAILADDR=backup@example.org")});
        ASSERT_TRUE(cvb::pinFingerprint(data, QStringLiteral("127.0.0.1"), smtp->Port(), cert.fingerprint())
                        .isEmpty());
    }

    void setMailPassword(const QString &password) const
    {
        cvb::ProgramSettings settings(data);
        settings.setMailUser(kUser);
        settings.setMailPassword(password);
        ASSERT_TRUE(settings.save().isEmpty());
    }

    void dbf(const QStringList &args) const
    {
        const auto r = cvb::test::runProcess(build + QStringLiteral("/tools/cvb-dbf/cvb-dbf"), args);
        ASSERT_EQ(r.exitCode, 0) << r.err.toStdString();
    }

    cvb::test::ProcessResult program(const QStringList &args) const
    {
        return cvb::test::runProcess(build + QStringLiteral("/app/corvale-backup"),
                                     QStringList{QStringLiteral("--data"), data} + args, 180000);
    }

    QByteArray logTable() const
    {
        return cvb::test::runProcess(build + QStringLiteral("/tools/cvb-dbf/cvb-dbf"),
                                     {QStringLiteral("dump"), data + QStringLiteral("/FTP Log.dbf")})
            .out;
    }

    QTemporaryDir dir;
    const QString data = dir.filePath(QStringLiteral("data"));
    const QString build = qEnvironmentVariable("CVB_BUILD_DIR");
    cvb::test::TestCertificate cert;
    std::unique_ptr<cvb::test::SmtpServer> smtp;
};

} // namespace

TEST_F(ReportMail, TheTestMailFromTheCommandLineLogsInAndAWrongPasswordShowsTheServersAnswer)
{
    setMailPassword(kPassword);
    const auto sent = program({QStringLiteral("--test-mail")});
    EXPECT_EQ(sent.exitCode, 0) << sent.out.toStdString() << sent.err.toStdString();
    const cvb::test::ReceivedMail mail = smtp->WaitMessage(1);
    EXPECT_TRUE(mail.tls);
    EXPECT_EQ(mail.user, kUser);
    EXPECT_EQ(mail.rcptTos, QStringList{QStringLiteral("backup@example.org")});
    EXPECT_TRUE(mail.message.contains("Subject: " + cvb::TestMailSubject.toUtf8()));
    EXPECT_TRUE(sent.out.contains("CLIENT: AUTH PLAIN ****")) << sent.out.toStdString();
    EXPECT_FALSE(sent.out.contains(kPassword.toUtf8()));

    setMailPassword(QStringLiteral("wrong one"));
    const auto refused = program({QStringLiteral("--test-mail")});
    EXPECT_EQ(refused.exitCode, 1);
    EXPECT_TRUE(refused.err.contains("535 5.7.8 Authentication credentials invalid"))
        << refused.err.toStdString();
    EXPECT_FALSE((refused.out + refused.err).contains("wrong one"));
    EXPECT_EQ(smtp->Count(), 1);
}

TEST_F(ReportMail, AReportRefusedForAWrongPasswordNamesTheServersAnswerInTheLogAndNoPasswordIsKept)
{
    cvb::test::PyFtpServer ftp;
    ASSERT_TRUE(ftp.isListening()) << ftp.error().toStdString();
    ASSERT_TRUE(cvb::test::writeFile(ftp.path(QStringLiteral("page.html")), "<p>page</p>\n"));
    const QString target = dir.filePath(QStringLiteral("target"));
    ASSERT_TRUE(QDir().mkpath(target));
    dbf({QStringLiteral("set"), data + QStringLiteral("/FTP Connection.dbf"), QStringLiteral("1"),
         QStringLiteral("DOMAIN=127.0.0.1:%1").arg(ftp.port()), QStringLiteral("USERNAME=") + ftp.user(),
         QStringLiteral("PASSWORD=") + ftp.password()});
    dbf({QStringLiteral("add"), data + QStringLiteral("/FTP Profiles.DBF"), QStringLiteral("PROFILE=Site"),
         QStringLiteral("TARGET_LOC=") + target, QStringLiteral("EMAIL=T"),
         QStringLiteral("EM_ADDR=owner@example.org")});
    dbf({QStringLiteral("add"), data + QStringLiteral("/FTP Sources.DBF"), QStringLiteral("PROFILE=Site"),
         QStringLiteral("SOURCE=/page.html"), QStringLiteral("MODE=Binary")});

    setMailPassword(QStringLiteral("wrong one"));
    const auto refused = program({QStringLiteral("--run-profile"), QStringLiteral("Site")});
    EXPECT_EQ(smtp->Count(), 0) << refused.err.toStdString();
    const QString rows = QString::fromUtf8(logTable());
    EXPECT_TRUE(
        rows.contains(QStringLiteral("Site EXCEPTION: 161: 535 5.7.8 Authentication credentials invalid")))
        << rows.toStdString();

    setMailPassword(kPassword);
    const auto sent = program({QStringLiteral("--run-profile"), QStringLiteral("Site")});
    EXPECT_EQ(sent.exitCode, 0) << sent.err.toStdString();
    const cvb::test::ReceivedMail mail = smtp->WaitMessage(1);
    EXPECT_EQ(mail.user, kUser);
    EXPECT_TRUE(mail.message.contains(" The backup was successful.")) << mail.message.toStdString();
    for (const QString &secret : {kPassword, QStringLiteral("wrong one")}) {
        EXPECT_FALSE(mail.message.contains(secret.toUtf8()));
        EXPECT_FALSE(logTable().contains(secret.toUtf8()));
        EXPECT_FALSE((sent.out + sent.err + refused.out + refused.err).contains(secret.toUtf8()));
    }
}
