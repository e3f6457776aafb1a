// The backup as a plain class: a whole run, with its report mail, and no window anywhere.
#include "backup/BackupRun.h"
#include "data/Table.h"
#include "tests/backup/BackupHarness.h"
#include "tests/support/Files.h"
#include "tests/support/FtpServer.h"
#include "tests/support/SmtpServer.h"

#include <QApplication>
#include <gtest/gtest.h>

namespace {

TEST(BackupRun, AWholeBackupWithItsReportRunsWithoutAnyWidget)
{
    cvb::test::SmtpServer smtp;
    ASSERT_TRUE(smtp.IsRunning());
    cvb::test::PyFtpServer server;
    ASSERT_TRUE(server.isListening());
    ASSERT_TRUE(cvb::test::writeFile(server.path(QStringLiteral("www/index.html")), "<p>home</p>\r\n"));
    ASSERT_TRUE(cvb::test::writeFile(server.path(QStringLiteral("www/site/a.txt")), "a\r\n"));
    ASSERT_TRUE(
        cvb::test::writeFile(server.path(QStringLiteral("www/site/img/b.gif")), QByteArray("G\0\r\n", 4)));

    cvb::test::BackupHarness h;
    h.setConnection(QStringLiteral("127.0.0.1:%1").arg(server.port()), server.user(), server.password());
    h.setConnectionField(QStringLiteral("SMTP"), QStringLiteral("127.0.0.1:%1").arg(smtp.Port()));
    h.setConnectionField(QStringLiteral("EMAILADDR"), QStringLiteral("backup@example.org"));
    h.addProfile({QStringLiteral("Plain")});
    h.addSource(QStringLiteral("Plain"), QStringLiteral("/www/index.html"));
    h.addSource(QStringLiteral("Plain"), QStringLiteral("/www/site"));
    h.enqueue(QStringLiteral("Plain"));
    h.queue().last();

    cvb::BackupRun run(h.queue(), h.connection());
    QStringList shown;
    QObject::connect(&run, &cvb::BackupRun::logged, [&shown](const QString &message) { shown << message; });
    cvb::BackupRequest request{QStringLiteral("Plain"),
                               h.queue().recNo(),
                               h.target(),
                               true,
                               true,
                               QStringLiteral("owner@example.org"),
                               {}};
    ASSERT_TRUE(run.begin(request));
    EXPECT_TRUE(h.queue().isEmpty());
    run.setBackupFolder(request.folder);
    run.setReport(request.email, request.detailed, request.recipient);
    run.LogonStep();
    run.TransferStep();
    run.complete({});

    EXPECT_TRUE(run.BackupDone);
    EXPECT_TRUE(run.BackupOk) << shown.join(QLatin1Char('\n')).toStdString();
    EXPECT_TRUE(QApplication::allWidgets().isEmpty());
    EXPECT_EQ(shown, h.eventsOf(QStringLiteral("Plain")));
    EXPECT_EQ(cvb::test::readFile(h.target() + QStringLiteral("/index.html")), "<p>home</p>\r\n");
    EXPECT_EQ(cvb::test::readFile(h.target() + QStringLiteral("/site/a.txt")), "a\r\n");
    EXPECT_EQ(cvb::test::readFile(h.target() + QStringLiteral("/site/img/b.gif")), QByteArray("G\0\r\n", 4));
    const cvb::test::ReceivedMail mail = smtp.WaitMessage(1);
    EXPECT_TRUE(mail.message.contains("Subject: Backup report for profile : Plain"))
        << mail.message.toStdString();
    EXPECT_TRUE(mail.message.contains(" Finished downloading /www/index.html\r\n"));
    EXPECT_TRUE(mail.message.contains(" The backup was successful.\r\n"));
}

} // namespace
