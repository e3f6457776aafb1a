// The mail window: filled and sent hidden, and shown; the messages it composes as a real SMTP
// server (aiosmtpd) receives them, read back with Python's email package.
#include "data/Clock.h"
#include "data/Database.h"
#include "mail/MailComposer.h"
#include "mail/NetCode.h"
#include "smtp/SMTP.h"
#include "tests/mail/MailTestFiles.h"
#include "tests/support/Peers.h"
#include "tests/support/ScriptedServer.h"
#include "tests/support/SmtpServer.h"
#include "ui/common/ScriptedDialogs.h"
#include "ui/mail/TFTP_MailSend.h"

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

// The window and its controls, found by their names.
struct MailForm
{
    explicit MailForm(TFTP_MailSend *mailWindow) : window(mailWindow) {}

    template <typename T> T *named(const char *name) const
    {
        T *child = window->findChild<T *>(QLatin1String(name));
        EXPECT_NE(child, nullptr) << name;
        return child;
    }

    void Button1Click() const { window->Button1Click(); }

    TFTP_MailSend *window;
    QLineEdit *tSMTPSrv = named<QLineEdit>("tSMTPSrv");
    QLineEdit *tTo = named<QLineEdit>("tTo");
    QLineEdit *tBCC = named<QLineEdit>("tBCC");
    QLineEdit *tSubject = named<QLineEdit>("tSubject");
    QLineEdit *tFrom = named<QLineEdit>("tFrom");
    QLineEdit *tAttachedFile = named<QLineEdit>("tAttachedFile");
    QCheckBox *cbQuotedPrint = named<QCheckBox>("cbQuotedPrint");
    QPlainTextEdit *tMessage = named<QPlainTextEdit>("tMessage");
    QListWidget *lbBtmLines = named<QListWidget>("lbBtmLines");
    QPushButton *Button1 = named<QPushButton>("Button1");
    QPushButton *Button2 = named<QPushButton>("Button2");
    TcvbSMTP *SMTP1 = named<TcvbSMTP>("SMTP1");
};

// Every message is sent at the same moment; the test's folder is the database folder.
const QDateTime kSent(QDate(2026, 12, 8), QTime(22, 0, 5));

class MailSend : public InOwnFolder
{
protected:
    void SetUp() override
    {
        InOwnFolder::SetUp();
        setAliasFolder(m_dir.path());
        Clock::pin(kSent);
    }
    void TearDown() override
    {
        Clock::useSystemTime();
        setAliasFolder(QString());
        InOwnFolder::TearDown();
    }

    // A hidden window filled as a report is filled.
    MailForm report(int port)
    {
        MailForm form(new TFTP_MailSend);
        form.tSMTPSrv->setText("127.0.0.1:" + QString::number(port));
        form.tTo->setText("ops@example.org");
        form.tFrom->setText("backup@example.org");
        form.tSubject->setText("Backup report for profile : site");
        return form;
    }

    QJsonObject parsed(const QString &messageFile)
    {
        const ProcessResult r = runProcess(python(), {sourcePath("tests/mail/mail_parse.py"), messageFile});
        EXPECT_EQ(r.exitCode, 0) << r.err.constData();
        return QJsonDocument::fromJson(r.out).object();
    }

    // No real box ever opens; every text shown is recorded.
    ScriptedDialogs m_dialogs;
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

// The header of a report up to the headers that depend on the message; its Message-ID masked.
const QByteArray kReportHeader = "To: ops@example.org\r\n"
                                 "From: backup@example.org\r\n"
                                 "Subject: Backup report for profile : site\r\n"
                                 "Reply-To: backup@example.org\r\n"
                                 "Date: " +
                                 MailDate(kSent).toUtf8() +
                                 "\r\n"
                                 "Message-ID: <ID>\r\n";

} // namespace

TEST_F(MailSend, HiddenPlainReport)
{
    SmtpServer server;
    ASSERT_TRUE(server.IsRunning());
    MailForm form = report(server.Port());
    form.tMessage->setPlainText("12/8/2026 10:00:00 PM The backup was successful.\n \n.\nBye");
    form.Button1Click();

    const ReceivedMail mail = server.WaitMessage(1);
    EXPECT_EQ(mail.mailFrom, "backup@example.org");
    EXPECT_EQ(mail.rcptTos, QStringList{"ops@example.org"});
    EXPECT_EQ(maskedMessageId(mail.message), kReportHeader +
                                                 "X-Mailer: Halvorn's Corvale Backup\r\n"
                                                 "\r\n"
                                                 "12/8/2026 10:00:00 PM The backup was successful.\r\n"
                                                 " \r\n"
                                                 ".\r\n"
                                                 "Bye\r\n"
                                                 "\r\n");
    EXPECT_FALSE(form.SMTP1->Connected());
    EXPECT_EQ(QApplication::overrideCursor(), nullptr);
    EXPECT_FALSE(QFile::exists(path("_dsmail.tmp")));

    QStringList trace;
    for (int i = 0; i < form.lbBtmLines->count(); ++i)
        trace << form.lbBtmLines->item(i)->text();
    EXPECT_EQ(trace.first(), "trace protocol here  -- right click to clear");
    EXPECT_TRUE(trace.contains("InfoConnecting to mail server.")) << trace.join('\n').toStdString();
    EXPECT_TRUE(trace.contains("From ClientRSET"));
    EXPECT_TRUE(trace.contains("Start transfer to 127.0.0.1"));
    EXPECT_TRUE(trace.contains("END transfer to 127.0.0.1"));
    EXPECT_TRUE(trace.contains(
        QString::number(mail.message.size() - mail.message.indexOf("X-Mailer: ") - 39) + " Bytes"));
    EXPECT_TRUE(trace.contains("From Server221 Bye"));
    closeAndCheckFreed(form.window);
}

TEST_F(MailSend, APlainReportWithNonAsciiNamesDeclaresUtf8)
{
    SmtpServer server;
    ASSERT_TRUE(server.IsRunning());
    MailForm form = report(server.Port());
    form.tMessage->setPlainText(QStringLiteral("Finished downloading /www/Über uns/café.html"));
    form.Button1Click();

    const ReceivedMail mail = server.WaitMessage(1);
    EXPECT_TRUE(mail.message.contains("MIME-Version: 1.0\r\n"
                                      "Content-Type: text/plain; charset=utf-8\r\n"
                                      "Content-Transfer-Encoding: 8bit\r\n"))
        << mail.message.toStdString();
    EXPECT_TRUE(mail.message.contains(QStringLiteral("/www/Über uns/café.html").toUtf8()));
    closeAndCheckFreed(form.window);
}

TEST_F(MailSend, QuotedPrintableTextWithoutAttachment)
{
    SmtpServer server;
    ASSERT_TRUE(server.IsRunning());
    MailForm form = report(server.Port());
    form.cbQuotedPrint->setChecked(true);
    form.tMessage->setPlainText(QString::fromUtf8("Grüße aus Köln = 100%\nend "));
    form.Button1Click();

    const ReceivedMail mail = server.WaitMessage(1);
    EXPECT_EQ(maskedMessageId(mail.message), kReportHeader +
                                                 "MIME-Version: 1.0\r\n"
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
    closeAndCheckFreed(form.window);
}

TEST_F(MailSend, MultipartWithQuotedPrintableTextAndAttachment)
{
    SmtpServer server;
    ASSERT_TRUE(server.IsRunning());
    const QByteArray attachment = randomBytes(5000);
    writeFile(path("backup-log.zip"), attachment);
    MailForm form = report(server.Port());
    form.cbQuotedPrint->setChecked(true);
    form.tAttachedFile->setText(path("backup-log.zip"));
    form.tMessage->setPlainText(QString::fromUtf8("Résumé attached."));
    form.Button1Click();

    const ReceivedMail mail = server.WaitMessage(1);
    const QList<QByteArray> lines = maskedMessageId(mail.message).split('\n');
    const QList<QByteArray> head = {"To: ops@example.org\r",
                                    "From: backup@example.org\r",
                                    "Subject: Backup report for profile : site\r",
                                    "Reply-To: backup@example.org\r",
                                    "Date: " + MailDate(kSent).toUtf8() + "\r",
                                    "Message-ID: <ID>\r",
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
    closeAndCheckFreed(form.window);
}

TEST_F(MailSend, MultipartWithPlainTextStartsTheTextPartWithAnEmptyLine)
{
    SmtpServer server;
    ASSERT_TRUE(server.IsRunning());
    QDir(m_dir.path()).mkdir("sub dir");
    const QByteArray attachment = ".starts with a dot\n" + randomBytes(300);
    writeFile(path("sub dir/night run.log"), attachment);
    MailForm form = report(server.Port());
    form.tAttachedFile->setText(path("sub dir/night run.log"));
    form.tBCC->setText("audit@example.org");
    form.tMessage->setPlainText("first\nsecond");
    form.Button1Click();

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
    closeAndCheckFreed(form.window);
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
    MailForm form = report(server.Port());
    form.tMessage->setPlainText("text");
    EXPECT_THROW(form.Button1Click(), EcvbComponent);
    EXPECT_FALSE(form.SMTP1->Connected());
    EXPECT_EQ(form.SMTP1->Action(), smtpIdle);
    EXPECT_EQ(QApplication::overrideCursor(), nullptr);
    EXPECT_TRUE(server.WaitDone());
    closeAndCheckFreed(form.window);
}

TEST_F(MailSend, MissingAttachmentFailsBeforeAnythingIsSent)
{
    SmtpServer server;
    ASSERT_TRUE(server.IsRunning());
    MailForm form = report(server.Port());
    form.tAttachedFile->setText(path("not-there.zip"));
    try {
        form.Button1Click();
        ADD_FAILURE() << "sent without its attachment";
    } catch (const EcvbNetCode &e) {
        EXPECT_EQ(e.Code(), 5);
    }
    EXPECT_EQ(QApplication::overrideCursor(), nullptr);
    EXPECT_FALSE(form.SMTP1->Connected());
    EXPECT_EQ(server.Count(), 0);

    form.tAttachedFile->clear();
    form.tSMTPSrv->setText("127.0.0.1:notaport");
    EXPECT_THROW(form.Button1Click(), EcvbSMTP);
    closeAndCheckFreed(form.window);
}

TEST_F(MailSend, ShownWindowFormTraceBrowseAndLayout)
{
    SmtpServer server;
    ASSERT_TRUE(server.IsRunning());
    MailForm form = report(server.Port());
    form.window->show();
    EXPECT_EQ(form.window->windowTitle(), "EMAIL DEMO - Send Mail");
    std::map<QString, QWidget *> labels;
    for (QLabel *label : form.window->findChildren<QLabel *>())
        labels[label->text()] = label->buddy();
    EXPECT_EQ(labels["SMTP Ser&ver"], form.tSMTPSrv);
    EXPECT_EQ(labels["&To:"], form.tTo);
    EXPECT_EQ(labels["&BCC:"], form.tBCC);
    EXPECT_EQ(labels["&Subject:"], form.tSubject);
    EXPECT_EQ(labels["&From:"], form.tFrom);
    EXPECT_EQ(labels["&Attach binary file"], form.tAttachedFile);
    EXPECT_EQ(labels["Te&xt"], form.tMessage);
    EXPECT_EQ(form.Button1->text(), "Se&nd Mail");
    EXPECT_EQ(form.Button2->text(), "&Browse");
    EXPECT_EQ(form.cbQuotedPrint->text(), "&Encode accented chars");
    EXPECT_FALSE(form.cbQuotedPrint->isChecked());
    EXPECT_NE(form.window->findChild<TcvbSMTP *>("SMTP1"), nullptr);
    EXPECT_NE(form.window->findChild<TcvbNetCode *>("NetCode1"), nullptr);

    // Browse: a chosen file goes into the attachment field; cancelling changes nothing.
    m_dialogs.preparePaths({"/srv/backup/site.zip"});
    QTest::mouseClick(form.Button2, Qt::LeftButton);
    ASSERT_EQ(m_dialogs.shown().size(), 1);
    EXPECT_EQ(m_dialogs.shown()[0].kind, ScriptedDialogs::Kind::FileChooser);
    EXPECT_EQ(m_dialogs.shown()[0].text, "Select File to Send");
    EXPECT_EQ(m_dialogs.shown()[0].choice.filter, "All Files (*.*)|*.*|Archives (*.zip, *.arj)|*.zip;*.arj");
    EXPECT_FALSE(m_dialogs.shown()[0].choice.save);
    EXPECT_EQ(form.tAttachedFile->text(), "/srv/backup/site.zip");
    QTest::mouseClick(form.Button2, Qt::LeftButton);
    EXPECT_EQ(form.tAttachedFile->text(), "/srv/backup/site.zip");
    form.tAttachedFile->clear();
    m_dialogs.clear();

    // Send from the button: delivered, then a failure is shown rather than thrown.
    form.tMessage->setPlainText("sent from the button");
    QTest::mouseClick(form.Button1, Qt::LeftButton);
    EXPECT_TRUE(server.WaitMessage(1).message.endsWith("\r\n\r\nsent from the button\r\n\r\n"));
    EXPECT_TRUE(m_dialogs.shown().isEmpty());
    EXPECT_EQ(QApplication::overrideCursor(), nullptr);
    form.tSMTPSrv->setText("127.0.0.1:" + QString::number(freePort()));
    QTest::mouseClick(form.Button1, Qt::LeftButton);
    ASSERT_EQ(m_dialogs.shown().size(), 1);
    EXPECT_EQ(m_dialogs.shown()[0].kind, ScriptedDialogs::Kind::Error);
    EXPECT_TRUE(m_dialogs.texts()[0].startsWith("10061: ")) << m_dialogs.texts()[0].toStdString();
    EXPECT_EQ(QApplication::overrideCursor(), nullptr);
    EXPECT_GT(form.lbBtmLines->count(), 3);
    bool errorTraced = false;
    for (int i = 0; i < form.lbBtmLines->count(); ++i)
        errorTraced |= form.lbBtmLines->item(i)->text().startsWith("ERROR Event: 162Failed to connect: ");
    EXPECT_TRUE(errorTraced);

    // A right click clears the trace.
    QTest::mouseClick(form.lbBtmLines->viewport(), Qt::RightButton);
    EXPECT_EQ(form.lbBtmLines->count(), 0);

    // Resizing stretches the text by as much as the window grows; the trace list keeps its
    // height, sits 2 below the text and is as wide as the text.
    QCoreApplication::processEvents();
    const QRect text = form.tMessage->geometry();
    const QRect trace = form.lbBtmLines->geometry();
    const QSize before = form.window->size();
    form.window->resize(before + QSize(140, 130));
    QCoreApplication::processEvents();
    EXPECT_EQ(form.tMessage->geometry(), text.adjusted(0, 0, 140, 130));
    EXPECT_EQ(form.lbBtmLines->geometry(), trace.adjusted(0, 130, 140, 130));
    EXPECT_EQ(form.lbBtmLines->y(), form.tMessage->geometry().bottom() + 1 + 2);
    closeAndCheckFreed(form.window);
}
