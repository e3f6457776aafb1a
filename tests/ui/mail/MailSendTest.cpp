// The mail window: hidden as the backup uses it, and shown; the messages it composes as a real
// SMTP server (aiosmtpd) receives them, read back with Python's email package.
#include "mail/MailSend.h"
#include "mail/MailComposer.h"
#include "mail/NetCode.h"
#include "smtp/SMTP.h"
#include "tests/mail/MailTestFiles.h"
#include "tests/support/Peers.h"
#include "tests/support/ScriptedServer.h"
#include "tests/support/SmtpServer.h"

#include <QApplication>
#include <QCheckBox>
#include <QDir>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QPointer>
#include <QPushButton>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QTest>

#include <gtest/gtest.h>

using namespace cvb;
using namespace cvb::test;

namespace {

class MailSend : public InOwnFolder
{
protected:
    // A hidden window filled as the backup fills it.
    TFTP_MailSend *report(int port)
    {
        auto *window = new TFTP_MailSend;
        window->tSMTPSrv->setText("127.0.0.1:" + QString::number(port));
        window->tTo->setText("ops@example.org");
        window->tFrom->setText("backup@example.org");
        window->tSubject->setText("Backup report for profile : site");
        return window;
    }

    QJsonObject parsed(const QString &messageFile)
    {
        const ProcessResult r = runProcess(python(), {sourcePath("tests/mail/mail_parse.py"), messageFile});
        EXPECT_EQ(r.exitCode, 0) << r.err.constData();
        return QJsonDocument::fromJson(r.out).object();
    }
};

QByteArray payloadOf(const QJsonObject &message, int part)
{
    return QByteArray::fromBase64(
        message["parts"].toArray()[part].toObject()["payload"].toString().toLatin1());
}

void closeAndCheckFreed(TFTP_MailSend *window)
{
    QPointer<TFTP_MailSend> guard(window);
    window->close();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_TRUE(guard.isNull());
}

QByteArray randomBytes(int size)
{
    QByteArray data(size, '\0');
    QRandomGenerator rng(42);
    for (char &c : data)
        c = char(rng.bounded(256));
    return data;
}

const QByteArray kReportHeader = "To: ops@example.org\r\n"
                                 "From: backup@example.org\r\n"
                                 "Subject: Backup report for profile : site\r\n"
                                 "Reply-To: backup@example.org\r\n";

} // namespace

TEST_F(MailSend, HiddenPlainReport)
{
    SmtpServer server;
    ASSERT_TRUE(server.IsRunning());
    TFTP_MailSend *window = report(server.Port());
    window->tMessage->setPlainText("12/8/2026 10:00:00 PM The backup was successful.\n \n.\nBye");
    window->Button1Click();

    const ReceivedMail mail = server.WaitMessage(1);
    EXPECT_EQ(mail.mailFrom, "backup@example.org");
    EXPECT_EQ(mail.rcptTos, QStringList{"ops@example.org"});
    EXPECT_EQ(mail.message, kReportHeader + "X-Mailer: Halvorn's Corvale Backup\r\n"
                                            "\r\n"
                                            "12/8/2026 10:00:00 PM The backup was successful.\r\n"
                                            " \r\n"
                                            ".\r\n"
                                            "Bye\r\n"
                                            "\r\n");
    EXPECT_FALSE(window->SMTP1->Connected());
    EXPECT_EQ(QApplication::overrideCursor(), nullptr);
    EXPECT_FALSE(QFile::exists(path("_dsmail.tmp")));

    QStringList trace;
    for (int i = 0; i < window->lbBtmLines->count(); ++i)
        trace << window->lbBtmLines->item(i)->text();
    EXPECT_EQ(trace.first(), "trace protocol here  -- right click to clear");
    EXPECT_TRUE(trace.contains("InfoConnecting to mail server.")) << trace.join('\n').toStdString();
    EXPECT_TRUE(trace.contains("From ClientRSET"));
    EXPECT_TRUE(trace.contains("Start transfer to 127.0.0.1"));
    EXPECT_TRUE(trace.contains("END transfer to 127.0.0.1"));
    EXPECT_TRUE(trace.contains(QString::number(mail.message.size() - kReportHeader.size() - 39) + " Bytes"));
    EXPECT_TRUE(trace.contains("From Server221 Bye"));
    closeAndCheckFreed(window);
}

TEST_F(MailSend, APlainReportWithNonAsciiNamesDeclaresUtf8)
{
    SmtpServer server;
    ASSERT_TRUE(server.IsRunning());
    TFTP_MailSend *window = report(server.Port());
    window->tMessage->setPlainText(QStringLiteral("Finished downloading /www/Über uns/café.html"));
    window->Button1Click();

    const ReceivedMail mail = server.WaitMessage(1);
    EXPECT_TRUE(mail.message.contains("MIME-Version: 1.0\r\n"
                                      "Content-Type: text/plain; charset=utf-8\r\n"
                                      "Content-Transfer-Encoding: 8bit\r\n"))
        << mail.message.toStdString();
    EXPECT_TRUE(mail.message.contains(QStringLiteral("/www/Über uns/café.html").toUtf8()));
    closeAndCheckFreed(window);
}

TEST_F(MailSend, QuotedPrintableTextWithoutAttachment)
{
    SmtpServer server;
    ASSERT_TRUE(server.IsRunning());
    TFTP_MailSend *window = report(server.Port());
    window->cbQuotedPrint->setChecked(true);
    window->tMessage->setPlainText(QString::fromUtf8("Grüße aus Köln = 100%\nend "));
    window->Button1Click();

    const ReceivedMail mail = server.WaitMessage(1);
    EXPECT_EQ(mail.message, kReportHeader + "MIME-Version: 1.0\r\n"
                                            "Content-Type: text/plain; charset=iso-8859-1\r\n"
                                            "Content-Transfer-Encoding: quoted-printable\r\n"
                                            "X-Mailer: Halvorn's Corvale Backup\r\n"
                                            "\r\n"
                                            "Gr=FC=DFe aus K=F6ln =3D 100%\r\n"
                                            "end=20\r\n"
                                            "\r\n");
    EXPECT_EQ(readFile(path("_dsmail.tmp")), "Gr\xfc\xdf"
                                             "e aus K\xf6ln = 100%\r\nend \r\n");
    EXPECT_EQ(readFile(path("_dsmail1.tmp")), "Gr=FC=DFe aus K=F6ln =3D 100%\r\nend=20\r\n");

    const QJsonObject message = parsed(server.FileOf(1));
    EXPECT_FALSE(message["multipart"].toBool());
    EXPECT_EQ(message["parts"].toArray()[0].toObject()["charset"].toString(), "iso-8859-1");
    EXPECT_TRUE(QString::fromLatin1(payloadOf(message, 0))
                    .replace("\r\n", "\n")
                    .startsWith(QString::fromUtf8("Grüße aus Köln = 100%\nend \n")));
    closeAndCheckFreed(window);
}

TEST_F(MailSend, MultipartWithQuotedPrintableTextAndAttachment)
{
    SmtpServer server;
    ASSERT_TRUE(server.IsRunning());
    const QByteArray attachment = randomBytes(5000);
    writeFile(path("backup-log.zip"), attachment);
    TFTP_MailSend *window = report(server.Port());
    window->cbQuotedPrint->setChecked(true);
    window->tAttachedFile->setText(path("backup-log.zip"));
    window->tMessage->setPlainText(QString::fromUtf8("Résumé attached."));
    window->Button1Click();

    const ReceivedMail mail = server.WaitMessage(1);
    const QList<QByteArray> lines = mail.message.split('\n');
    const QList<QByteArray> head = {"To: ops@example.org\r",
                                    "From: backup@example.org\r",
                                    "Subject: Backup report for profile : site\r",
                                    "Reply-To: backup@example.org\r",
                                    "MIME-Version: 1.0\r",
                                    "Content-Type: multipart/mixed; boundary=abcdfwefjsdvsdfg\r",
                                    "X-Mailer: Halvorn's Corvale Backup\r",
                                    "\r",
                                    "\r",
                                    "--abcdfwefjsdvsdfg\r",
                                    "Content-Type: text/plain; charset=iso-8859-1\r",
                                    "Content-Transfer-Encoding: quoted-printable\r",
                                    "\r",
                                    "R=E9sum=E9 attached.\r",
                                    "--abcdfwefjsdvsdfg\r",
                                    "Content-Type: application/octet-stream; name=backup-log.zip\r",
                                    "Content-Transfer-Encoding: base64\r",
                                    "\r"};
    ASSERT_GT(lines.size(), head.size());
    EXPECT_EQ(lines.mid(0, head.size()), head);
    // The base64 lines of the attachment, 72 characters each, then the closing boundary.
    const QList<QByteArray> data = lines.mid(head.size(), (5000 + 53) / 54);
    for (qsizetype i = 0; i + 1 < data.size(); ++i)
        EXPECT_EQ(data[i].size(), 73);
    EXPECT_TRUE(mail.message.endsWith("\r\n\r\n--abcdfwefjsdvsdfg--\r\n\r\n"));

    const QJsonObject message = parsed(server.FileOf(1));
    EXPECT_TRUE(message["multipart"].toBool());
    EXPECT_TRUE(message["defects"].toArray().isEmpty());
    const QJsonArray parts = message["parts"].toArray();
    ASSERT_EQ(parts.size(), 2);
    EXPECT_EQ(parts[0].toObject()["type"].toString(), "text/plain");
    EXPECT_EQ(QString::fromLatin1(payloadOf(message, 0)).trimmed(), QString::fromUtf8("Résumé attached."));
    EXPECT_EQ(parts[1].toObject()["type"].toString(), "application/octet-stream");
    EXPECT_EQ(parts[1].toObject()["filename"].toString(), "backup-log.zip");
    EXPECT_EQ(payloadOf(message, 1), attachment);
    closeAndCheckFreed(window);
}

TEST_F(MailSend, MultipartWithPlainTextStartsTheTextPartWithAnEmptyLine)
{
    SmtpServer server;
    ASSERT_TRUE(server.IsRunning());
    QDir(m_dir.path()).mkdir("sub dir");
    const QByteArray attachment = ".starts with a dot\n" + randomBytes(300);
    writeFile(path("sub dir/night run.log"), attachment);
    TFTP_MailSend *window = report(server.Port());
    window->tAttachedFile->setText(path("sub dir/night run.log"));
    window->tBCC->setText("audit@example.org");
    window->tMessage->setPlainText("first\nsecond");
    window->Button1Click();

    const ReceivedMail mail = server.WaitMessage(1);
    EXPECT_EQ(mail.rcptTos, (QStringList{"ops@example.org", "audit@example.org"}));
    EXPECT_FALSE(mail.message.contains("audit"));
    EXPECT_TRUE(
        mail.message.contains("X-Mailer: Halvorn's Corvale Backup\r\n\r\n"
                              "\r\n--abcdfwefjsdvsdfg\r\n\r\nfirst\r\nsecond\r\n--abcdfwefjsdvsdfg\r\n"
                              "Content-Type: application/octet-stream; name=\"night run.log\"\r\n"))
        << mail.message.constData();

    const QJsonObject message = parsed(server.FileOf(1));
    const QJsonArray parts = message["parts"].toArray();
    ASSERT_EQ(parts.size(), 2);
    EXPECT_EQ(payloadOf(message, 0), "first\nsecond"); // the line end before a boundary belongs to it
    EXPECT_EQ(parts[1].toObject()["filename"].toString(), "night run.log");
    EXPECT_EQ(payloadOf(message, 1), attachment);
    closeAndCheckFreed(window);
}

TEST_F(MailSend, ServerFailureDuringSendingStillDisconnectsAndRestoresTheCursor)
{
    ScriptedServer server;
    server.Send("220 ready\r\n")
        .ExpectLine()
        .Send("250 hello\r\n")
        .ExpectLine("RSET")
        .Send("250 ok\r\n")
        .ExpectLine("MAIL FROM:<backup@example.org>")
        .Send("250 ok\r\n")
        .ExpectLine("RCPT TO:<ops@example.org>")
        .Send("250 ok\r\n")
        .ExpectLine("DATA")
        .Send("354 go ahead\r\n")
        .ExpectLine("To: ops@example.org")
        .Reset();
    server.Start();
    TFTP_MailSend *window = report(server.Port());
    window->tMessage->setPlainText("text");
    EXPECT_THROW(window->Button1Click(), EcvbComponent);
    EXPECT_FALSE(window->SMTP1->Connected());
    EXPECT_EQ(window->SMTP1->Action(), smtpIdle);
    EXPECT_EQ(QApplication::overrideCursor(), nullptr);
    EXPECT_TRUE(server.WaitDone());
    closeAndCheckFreed(window);
}

TEST_F(MailSend, MissingAttachmentFailsBeforeAnythingIsSent)
{
    SmtpServer server;
    ASSERT_TRUE(server.IsRunning());
    TFTP_MailSend *window = report(server.Port());
    window->tAttachedFile->setText(path("not-there.zip"));
    try {
        window->Button1Click();
        ADD_FAILURE() << "sent without its attachment";
    } catch (const EcvbNetCode &e) {
        EXPECT_EQ(e.Code(), 5);
    }
    EXPECT_EQ(QApplication::overrideCursor(), nullptr);
    EXPECT_FALSE(window->SMTP1->Connected());
    EXPECT_EQ(server.Count(), 0);

    window->tAttachedFile->clear();
    window->tSMTPSrv->setText("127.0.0.1:notaport");
    EXPECT_THROW(window->Button1Click(), EcvbSMTP);
    closeAndCheckFreed(window);
}

TEST_F(MailSend, ShownWindowFormTraceBrowseAndLayout)
{
    SmtpServer server;
    ASSERT_TRUE(server.IsRunning());
    TFTP_MailSend *window = report(server.Port());
    window->show();
    EXPECT_EQ(window->windowTitle(), "EMAIL DEMO - Send Mail");
    std::map<QString, QWidget *> labels;
    for (QLabel *label : window->findChildren<QLabel *>())
        labels[label->text()] = label->buddy();
    EXPECT_EQ(labels["SMTP Ser&ver"], window->tSMTPSrv);
    EXPECT_EQ(labels["&To:"], window->tTo);
    EXPECT_EQ(labels["&BCC:"], window->tBCC);
    EXPECT_EQ(labels["&Subject:"], window->tSubject);
    EXPECT_EQ(labels["&From:"], window->tFrom);
    EXPECT_EQ(labels["&Attach binary file"], window->tAttachedFile);
    EXPECT_EQ(labels["Te&xt"], window->tMessage);
    EXPECT_EQ(window->Button1->text(), "Se&nd Mail");
    EXPECT_EQ(window->Button2->text(), "&Browse");
    EXPECT_EQ(window->cbQuotedPrint->text(), "&Encode accented chars");
    EXPECT_FALSE(window->cbQuotedPrint->isChecked());
    EXPECT_NE(window->findChild<TcvbSMTP *>("SMTP1"), nullptr);
    EXPECT_NE(window->findChild<TcvbNetCode *>("NetCode1"), nullptr);

    // Browse: a chosen file goes into the attachment field; cancelling changes nothing.
    QString title;
    QString answer = "/srv/backup/site.zip";
    window->ChooseFile = [&](const QString &caption, const QString &) {
        title = caption;
        return answer;
    };
    QTest::mouseClick(window->Button2, Qt::LeftButton);
    EXPECT_EQ(title, "Select File to Send");
    EXPECT_EQ(window->tAttachedFile->text(), "/srv/backup/site.zip");
    answer.clear();
    QTest::mouseClick(window->Button2, Qt::LeftButton);
    EXPECT_EQ(window->tAttachedFile->text(), "/srv/backup/site.zip");
    window->tAttachedFile->clear();

    // Send from the button: delivered, then a failure is shown rather than thrown.
    QStringList shown;
    window->ShowError = [&](const QString &text) { shown << text; };
    window->tMessage->setPlainText("sent from the button");
    QTest::mouseClick(window->Button1, Qt::LeftButton);
    EXPECT_TRUE(server.WaitMessage(1).message.endsWith("\r\n\r\nsent from the button\r\n\r\n"));
    EXPECT_TRUE(shown.isEmpty());
    window->tSMTPSrv->setText("127.0.0.1:" + QString::number(freePort()));
    QTest::mouseClick(window->Button1, Qt::LeftButton);
    ASSERT_EQ(shown.size(), 1);
    EXPECT_TRUE(shown[0].startsWith("10061: ")) << shown[0].toStdString();
    EXPECT_GT(window->lbBtmLines->count(), 3);
    bool errorTraced = false;
    for (int i = 0; i < window->lbBtmLines->count(); ++i)
        errorTraced |= window->lbBtmLines->item(i)->text().startsWith("ERROR Event: 162Failed to connect: ");
    EXPECT_TRUE(errorTraced);

    // A right click clears the trace.
    QTest::mouseClick(window->lbBtmLines->viewport(), Qt::RightButton);
    EXPECT_EQ(window->lbBtmLines->count(), 0);

    // Resizing stretches the text and keeps the trace list below it.
    window->resize(700, 600);
    QCoreApplication::processEvents();
    const int left = window->tMessage->x();
    EXPECT_EQ(window->tMessage->width(), 700 - 2 * left - 10);
    EXPECT_EQ(window->tMessage->height(), 600 - window->tMessage->y() - window->lbBtmLines->height() - 40);
    EXPECT_EQ(window->lbBtmLines->y(), window->tMessage->y() + window->tMessage->height() + 2);
    EXPECT_EQ(window->lbBtmLines->width(), 700 - window->lbBtmLines->x() - 15);
    closeAndCheckFreed(window);
}
