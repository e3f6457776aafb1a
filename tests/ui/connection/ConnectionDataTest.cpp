// The connection window driven as a user drives it, by object name, with scripted message boxes:
// what "Done" requires and stores (read back with dbfread), "Cancel", and the connection test
// against a real FTP server on loopback and the dial-up simulator.
#include "ui/connection/ConnectionEntries.h"
#include "ui/connection/TFTP_ConnectionData.h"

#include "data/ConnectionSettings.h"
#include "data/KnownServers.h"
#include "data/Settings.h"
#include "ftp/FtpClient.h"
#include "mail/TestMail.h"
#include "tests/support/DbfRead.h"
#include "tests/support/Files.h"
#include "tests/support/FtpServer.h"
#include "tests/support/MainWindowStub.h"
#include "tests/support/ScriptedServer.h"
#include "tests/support/SmtpServer.h"
#include "tests/support/SshServer.h"
#include "tests/support/TestCertificate.h"
#include "ui/common/ScriptedDialogs.h"

#include <QCheckBox>
#include <QDir>
#include <QFileInfo>
#include <QJsonArray>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPointer>
#include <QPushButton>
#include <QSpinBox>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <functional>
#include <gtest/gtest.h>

using namespace cvb;

namespace {

const QString kMailQuestion = QStringLiteral("Send a test mail to backup@example.org?");

class ConnectionWindowTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(dir.isValid());
        main = std::make_unique<test::MainWindowStub>(dir.path());
        qputenv("CVB_RAS", "sim");
        qunsetenv("CVB_RAS_SIM");
    }
    void TearDown() override
    {
        delete window;
        main.reset();
        qunsetenv("CVB_RAS_SIM");
    }

    TFTP_ConnectionData *open()
    {
        window = new TFTP_ConnectionData(*main);
        window->show();
        return window;
    }
    // The keyboard reaches the window once it is the active one.
    void activate() const
    {
        window->activateWindow();
        EXPECT_TRUE(QTest::qWaitForWindowActive(window));
    }
    template <typename T> T *child(const char *name) const
    {
        T *w = window->findChild<T *>(QString::fromLatin1(name));
        EXPECT_NE(w, nullptr) << name;
        return w;
    }
    void type(const char *entry, const QString &text) const { child<QLineEdit>(entry)->setText(text); }
    void click(const char *button) const { child<QAbstractButton>(button)->click(); }
    QStringList traceLines() const
    {
        QStringList lines;
        auto *trace = child<QListWidget>("lTrace");
        for (int i = 0; i < trace->count(); ++i)
            lines << trace->item(i)->text();
        return lines;
    }

    // Every entry filled; the system's own connection used unless `dials`.
    void fillAll(const QString &server, const QString &password, bool dials = false)
    {
        type("eAccountName", QStringLiteral("tester"));
        type("eAccountPassword", password);
        type("eFtpDomain", server);
        type("eSmtpServer", QStringLiteral("mail.example.org"));
        type("eReturnAddress", QStringLiteral("backup@example.org"));
        if (child<QCheckBox>("cbUseDefault")->isChecked() == dials)
            click("cbUseDefault");
        type("eDialUser", QStringLiteral("dialer"));
        type("eDialPassword", QStringLiteral("dialpw"));
        type("ePhoneNumber", QStringLiteral("555-0100"));
    }

    // The connection record as dbfread reads it: empty when the table has none.
    QJsonObject storedRecord() const
    {
        const QString path = QDir(dir.path()).filePath(ConnectionTable);
        const QJsonArray records =
            describeWithDbfread({path}).value(path).toObject().value("records").toArray();
        return records.isEmpty() ? QJsonObject() : records.first().toObject();
    }

    QTemporaryDir dir;
    ScriptedDialogs dialogs;
    std::unique_ptr<test::MainWindowStub> main;
    QPointer<TFTP_ConnectionData> window;
};

} // namespace

TEST(ConnectionEntries, RequiredEntriesAndTheDialUpValuesKeptWhileTheSystemConnectionIsUsed)
{
    ConnectionSettings typed;
    typed.user = "u";
    typed.password = "p";
    typed.server = "ftp.example.org";
    typed.smtpServer = "smtp.example.org";
    typed.returnAddress = "a@example.org";
    typed.useDefaultConnection = true;
    EXPECT_TRUE(entriesComplete(typed));
    for (QString ConnectionSettings::*field :
         {&ConnectionSettings::user, &ConnectionSettings::password, &ConnectionSettings::server,
          &ConnectionSettings::smtpServer, &ConnectionSettings::returnAddress}) {
        ConnectionSettings missing = typed;
        (missing.*field).clear();
        EXPECT_FALSE(entriesComplete(missing));
    }
    typed.useDefaultConnection = false;
    EXPECT_FALSE(entriesComplete(typed));
    typed.dialUser = "d";
    typed.dialPassword = "dp";
    typed.phoneNumber = "1";
    EXPECT_TRUE(entriesComplete(typed));

    ConnectionSettings stored;
    stored.dialUser = "old user";
    stored.phoneNumber = "old number";
    stored.isp = "Old ISP";
    typed.useDefaultConnection = true;
    const ConnectionSettings kept = settingsToStore(stored, typed);
    EXPECT_EQ(kept.dialUser, "old user");
    EXPECT_EQ(kept.dialPassword, "");
    EXPECT_EQ(kept.phoneNumber, "old number");
    EXPECT_EQ(kept.isp, "Old ISP");
    EXPECT_EQ(kept.user, "u");
    typed.useDefaultConnection = false;
    EXPECT_EQ(settingsToStore(stored, typed).phoneNumber, "1");
}

TEST_F(ConnectionWindowTest, DoneRefusesWhileARequiredEntryIsEmptyAndStoresNothing)
{
    const QJsonObject before = storedRecord();
    open();
    EXPECT_TRUE(child<QListWidget>("lTrace")->isHidden());
    for (const char *entry :
         {"eAccountName", "eAccountPassword", "eFtpDomain", "eSmtpServer", "eReturnAddress"}) {
        fillAll(QStringLiteral("ftp.example.org"), QStringLiteral("pw"));
        type(entry, QString());
        dialogs.clear();
        click("DoneButton");
        EXPECT_EQ(dialogs.texts(), QStringList{IncompleteEntriesMessage}) << entry;
    }
    // With the system's connection unticked the dial-up entries are required too.
    for (const char *entry : {"eDialUser", "eDialPassword", "ePhoneNumber"}) {
        fillAll(QStringLiteral("ftp.example.org"), QStringLiteral("pw"), true);
        EXPECT_TRUE(child<QWidget>(entry)->isEnabled());
        type(entry, QString());
        dialogs.clear();
        click("DoneButton");
        EXPECT_EQ(dialogs.texts(), QStringList{IncompleteEntriesMessage}) << entry;
    }
    EXPECT_TRUE(window->isVisible());
    EXPECT_EQ(storedRecord(), before);

    // "Cancel" with every entry filled stores nothing either.
    fillAll(QStringLiteral("ftp.example.org"), QStringLiteral("pw"));
    click("CancelButton");
    EXPECT_FALSE(window->isVisible());
    EXPECT_EQ(main->menuShown, 1);
    EXPECT_EQ(storedRecord(), before);
}

TEST_F(ConnectionWindowTest, DoneStoresTheRecordAndKeepsTheStoredDialUpValuesWhileTheBoxIsTicked)
{
    ConnectionSettings before;
    before.useDefaultConnection = true;
    before.dialUser = "kept user";
    before.dialPassword = "kept pw";
    before.phoneNumber = "555-9999";
    before.isp = "Kept ISP";
    writeConnectionSettings(*main->cnct, before);

    open();
    EXPECT_EQ(child<QLineEdit>("ePhoneNumber")->text(), "555-9999");
    EXPECT_EQ(child<QLineEdit>("eAccountPassword")->echoMode(), QLineEdit::Password);
    EXPECT_EQ(child<QLineEdit>("eDialPassword")->echoMode(), QLineEdit::Password);
    fillAll(QStringLiteral("ftp.example.org:2121"), QStringLiteral("secret"));
    type("ePhoneNumber", QString()); // disabled and ignored while the box is ticked
    click("cbFirewall");
    dialogs.prepareAnswers({Answer::No});
    click("DoneButton");
    EXPECT_EQ(dialogs.texts(), QStringList{TestQuestion});
    EXPECT_FALSE(window->isVisible());

    const QJsonObject record = storedRecord();
    EXPECT_EQ(record.value("USERNAME").toString(), "tester");
    EXPECT_EQ(record.value("PASSWORD").toString(), "secret");
    EXPECT_EQ(record.value("DOMAIN").toString(), "ftp.example.org:2121");
    EXPECT_EQ(record.value("FIREWALL").toBool(), true);
    EXPECT_EQ(record.value("USEDEFAULT").toBool(), true);
    EXPECT_EQ(record.value("USERID").toString(), "kept user");
    EXPECT_EQ(record.value("PASSCODE").toString(), "kept pw");
    EXPECT_EQ(record.value("PHONENUM").toString(), "555-9999");
    EXPECT_EQ(record.value("ISP").toString(), "Kept ISP");
    EXPECT_EQ(record.value("SMTP").toString(), "mail.example.org");
    EXPECT_EQ(record.value("EMAILADDR").toString(), "backup@example.org");
}

// The window fills the main window's 632 x 418 client area: every group, and the trace list
// while a test runs, must fit in it.
TEST_F(ConnectionWindowTest, TheWindowFitsTheMainWindowsAreaWhileTheTraceIsShown)
{
    open();
    child<QListWidget>("lTrace")->show();
    const QSize least = window->minimumSizeHint();
    EXPECT_LE(least.width(), 632);
    EXPECT_LE(least.height(), 418);
}

TEST_F(ConnectionWindowTest, EntriesAreLimitedToWhatTheirFieldsHold)
{
    open();
    // The phone number and return address fields are 40 characters wide: longer entries would be
    // cut when stored.
    EXPECT_EQ(child<QLineEdit>("ePhoneNumber")->maxLength(), 40);
    EXPECT_EQ(child<QLineEdit>("eReturnAddress")->maxLength(), 40);
    EXPECT_EQ(child<QLineEdit>("eAccountName")->maxLength(), 15);
    EXPECT_EQ(child<QLineEdit>("eFtpDomain")->maxLength(), 100);
}

TEST_F(ConnectionWindowTest, ASuccessfulTestLogsOnThroughTheServersPortAndClosesTheWindow)
{
    test::PyFtpServer server;
    ASSERT_TRUE(server.isListening()) << server.error().toStdString();
    open();
    fillAll(QStringLiteral("127.0.0.1:%1").arg(server.port()), server.password());
    dialogs.prepareAnswers({Answer::Yes});
    click("DoneButton");
    EXPECT_EQ(dialogs.texts(),
              (QStringList{TestQuestion, DisconnectNotice, kMailQuestion, TestSucceededMessage}));
    const QStringList trace = traceLines();
    ASSERT_FALSE(trace.isEmpty());
    EXPECT_EQ(trace.first(), "Loading Winsock");
    EXPECT_TRUE(trace.contains("USER tester")) << trace.join('\n').toStdString();
    EXPECT_TRUE(std::none_of(trace.begin(), trace.end(), [&](const QString &line) {
        return line.contains(server.password());
    })) << "the password reached the trace";
    EXPECT_FALSE(window->isVisible());
}

TEST_F(ConnectionWindowTest, AFailedTestSaysWhatFailedAndLeavesTheWindowOpenWithTheSettingsStored)
{
    test::PyFtpServer server;
    ASSERT_TRUE(server.isListening()) << server.error().toStdString();
    open();

    // A wrong password: the server refuses the log-on.
    fillAll(QStringLiteral("127.0.0.1:%1").arg(server.port()), QStringLiteral("wrong"));
    dialogs.prepareAnswers({Answer::Yes});
    click("DoneButton");
    ASSERT_EQ(dialogs.texts().size(), 3);
    const QString refused = dialogs.texts().at(2);
    EXPECT_TRUE(refused.startsWith(LogonFailedMessage + "\n\n")) << refused.toStdString();
    EXPECT_TRUE(refused.contains("530")) << refused.toStdString();
    EXPECT_TRUE(traceLines().filter("EXCEPTION: ").join("").contains("530"));
    EXPECT_TRUE(window->isVisible());
    EXPECT_TRUE(child<QListWidget>("lTrace")->isHidden());
    EXPECT_EQ(storedRecord().value("PASSWORD").toString(), "wrong");

    // Nobody listens on port 1: the message says so and differs from a refused log-on.
    type("eFtpDomain", QStringLiteral("127.0.0.1:1"));
    dialogs.clear();
    dialogs.prepareAnswers({Answer::Yes});
    click("DoneButton");
    ASSERT_EQ(dialogs.texts().size(), 3);
    const QString unreachable = dialogs.texts().at(2);
    EXPECT_TRUE(unreachable.startsWith(LogonFailedMessage + "\n\n"));
    EXPECT_NE(unreachable, refused);
    EXPECT_TRUE(unreachable.contains("refused", Qt::CaseInsensitive)) << unreachable.toStdString();

    // A server name that does not resolve: the message names the lookup failure.
    type("eFtpDomain", QStringLiteral("no-such-host.invalid"));
    dialogs.clear();
    dialogs.prepareAnswers({Answer::Yes});
    click("DoneButton");
    ASSERT_EQ(dialogs.texts().size(), 3);
    const QString unknown = dialogs.texts().at(2);
    EXPECT_NE(unknown, unreachable);
    EXPECT_NE(unknown, refused);
    EXPECT_TRUE(unknown.contains("Host not found")) << unknown.toStdString();
    EXPECT_TRUE(window->isVisible());
    EXPECT_TRUE(child<QPushButton>("DoneButton")->isEnabled());
}

TEST_F(ConnectionWindowTest, TheTestDialsFirstWhenAskedAndADialThatCannotStartEndsIt)
{
    test::PyFtpServer server;
    ASSERT_TRUE(server.isListening()) << server.error().toStdString();
    open();
    fillAll(QStringLiteral("127.0.0.1:%1").arg(server.port()), server.password(), true);
    dialogs.prepareAnswers({Answer::Yes});
    click("DoneButton");
    EXPECT_EQ(dialogs.texts(),
              (QStringList{TestQuestion, DisconnectNotice, kMailQuestion, TestSucceededMessage}));
    const QStringList trace = traceLines();
    const qsizetype winsock = trace.indexOf("Loading Winsock");
    ASSERT_GT(winsock, 0) << "no dial-up status before the log-on: " << trace.join('\n').toStdString();
    delete window;

    // The dial-up library lacks its dial function: the dial fails at once.
    qputenv("CVB_RAS_SIM", "missing=RasDialA");
    open();
    dialogs.clear();
    dialogs.prepareAnswers({Answer::Yes});
    click("DoneButton");
    EXPECT_EQ(dialogs.texts(), (QStringList{TestQuestion, DisconnectNotice, DialFailedMessage}));
    EXPECT_TRUE(window->isVisible());
    EXPECT_TRUE(child<QListWidget>("lTrace")->isHidden());
    EXPECT_EQ(storedRecord().value("PHONENUM").toString(), "555-0100");
}

// Only the person running the connection test is ever asked to trust a certificate. No keeps
// nothing; Yes pins it for the server, and the log-on goes on.
TEST_F(ConnectionWindowTest, AnUntrustedCertificateIsShownAndPinnedOnlyWhenTheUserSaysYes)
{
    test::TestCertificate cert;
    ASSERT_TRUE(cert.ok()) << cert.error().toStdString();
    test::PyFtpServer server(QStringLiteral("tester"), QStringLiteral("secret"), cert.pemFile());
    ASSERT_TRUE(server.isListening()) << server.error().toStdString();
    open();
    fillAll(QStringLiteral("ftpes://127.0.0.1:%1").arg(server.port()), server.password());
    const QString name = QStringLiteral("127.0.0.1:%1").arg(server.port());

    dialogs.prepareAnswers({Answer::Yes, Answer::No});
    click("DoneButton");
    ASSERT_EQ(dialogs.shown().size(), 4);
    const ScriptedDialogs::Shown question = dialogs.shown().at(2);
    EXPECT_EQ(question.kind, ScriptedDialogs::Kind::Warning);
    EXPECT_EQ(question.buttons, Buttons::YesNo);
    for (const QString &part :
         {name, cert.fingerprint().left(47), cert.fingerprint().mid(48), QStringLiteral("CN = localhost")})
        EXPECT_TRUE(question.text.contains(part)) << question.text.toStdString();
    EXPECT_TRUE(dialogs.texts().at(3).startsWith(LogonFailedMessage));
    EXPECT_TRUE(pinnedFingerprint(dir.path(), QStringLiteral("127.0.0.1"), server.port()).isEmpty());
    EXPECT_TRUE(window->isVisible());

    dialogs.clear();
    dialogs.prepareAnswers({Answer::Yes, Answer::Yes});
    click("DoneButton");
    EXPECT_EQ(dialogs.texts().size(), 5);
    EXPECT_EQ(dialogs.texts().mid(3), (QStringList{kMailQuestion, TestSucceededMessage}));
    EXPECT_EQ(pinnedFingerprint(dir.path(), QStringLiteral("127.0.0.1"), server.port()), cert.fingerprint());
    EXPECT_FALSE(traceLines().filter(QStringLiteral("TLS established")).isEmpty())
        << traceLines().join('\n').toStdString();
}

TEST_F(ConnectionWindowTest, AnUnknownSftpHostKeyIsShownAndPinnedOnlyWhenTheUserSaysYes)
{
    test::SshServer server;
    ASSERT_TRUE(server.isListening()) << server.error().toStdString();
    if (server.passwordUser().isEmpty())
        GTEST_SKIP() << "the password account needs the tests to run as root";
    open();
    fillAll(server.address(), test::SshServer::password());
    type("eAccountName", server.passwordUser());
    const QString name = QStringLiteral("127.0.0.1:%1").arg(server.port());

    dialogs.prepareAnswers({Answer::Yes, Answer::No});
    click("DoneButton");
    ASSERT_EQ(dialogs.shown().size(), 4);
    const ScriptedDialogs::Shown question = dialogs.shown().at(2);
    EXPECT_EQ(question.kind, ScriptedDialogs::Kind::Warning);
    EXPECT_EQ(question.buttons, Buttons::YesNo);
    for (const QString &part : {name, server.hostKeyFingerprint(), QStringLiteral("ssh-ed25519")})
        EXPECT_TRUE(question.text.contains(part)) << question.text.toStdString();
    EXPECT_TRUE(dialogs.texts().at(3).startsWith(LogonFailedMessage));
    EXPECT_TRUE(pinnedFingerprint(dir.path(), QStringLiteral("127.0.0.1"), server.port()).isEmpty());

    dialogs.clear();
    dialogs.prepareAnswers({Answer::Yes, Answer::Yes});
    click("DoneButton");
    EXPECT_EQ(dialogs.texts().mid(3), (QStringList{kMailQuestion, TestSucceededMessage}));
    EXPECT_EQ(pinnedFingerprint(dir.path(), QStringLiteral("127.0.0.1"), server.port()),
              server.hostKeyFingerprint());
    const QStringList trace = traceLines();
    EXPECT_FALSE(trace.filter(QStringLiteral("Key exchange")).isEmpty()) << trace.join('\n').toStdString();
    EXPECT_TRUE(trace.filter(test::SshServer::password()).isEmpty()) << "the password reached the trace";
}

TEST_F(ConnectionWindowTest, EscapeCancelsTheWindowAndStoresNothing)
{
    const QJsonObject before = storedRecord();
    open();
    activate();
    fillAll(QStringLiteral("ftp.example.org"), QStringLiteral("pw"));
    QTest::keyClick(child<QLineEdit>("eAccountName"), Qt::Key_Escape);
    EXPECT_FALSE(window->isVisible());
    EXPECT_EQ(main->menuShown, 1);
    EXPECT_EQ(storedRecord(), before);
    EXPECT_TRUE(dialogs.shown().isEmpty());
}

// The test waits for a server that never greets. Escape, "Cancel" or closing the window then
// ends the wait; the window closes once the test has unwound (never under the component's own
// wait), says nothing of a failure, and keeps the settings stored.
TEST_F(ConnectionWindowTest, CancellingDuringTheTestEndsItsWaitAndClosesTheWindowAfterwards)
{
    test::ScriptedServer silent; // accepts, never answers
    const std::function<void()> ways[] = {
        [&] { QTest::keyClick(child<QLineEdit>("eFtpDomain"), Qt::Key_Escape); },
        [&] { click("CancelButton"); },
        [&] { window->close(); },
    };
    int way = 0;
    for (const auto &cancel : ways) {
        SCOPED_TRACE(way++);
        open();
        activate();
        fillAll(QStringLiteral("127.0.0.1:%1").arg(silent.Port()), QStringLiteral("pw%1").arg(way));
        auto *ftp = window->findChild<TcvbFTP *>(QStringLiteral("cvbFTP1"));
        ASSERT_NE(ftp, nullptr);
        bool cancelled = false;
        QTimer poll;
        QObject::connect(&poll, &QTimer::timeout, [&] {
            if (!cancelled && ftp->Action() == ftpLogon) {
                cancelled = true;
                cancel();
            }
        });
        poll.start(10);
        dialogs.clear();
        dialogs.prepareAnswers({Answer::Yes});
        const int menuShown = main->menuShown;
        click("DoneButton");
        poll.stop();
        EXPECT_TRUE(cancelled);
        EXPECT_EQ(dialogs.texts(), (QStringList{TestQuestion, DisconnectNotice}));
        EXPECT_FALSE(window->isVisible());
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        EXPECT_TRUE(window.isNull());
        EXPECT_EQ(main->menuShown, menuShown + 1);
        EXPECT_EQ(storedRecord().value("PASSWORD").toString(), QStringLiteral("pw%1").arg(way));
    }
}

TEST_F(ConnectionWindowTest, TheMailLogInIsTypedMaskedAndStoredInTheSettingsFileAndCancelStoresNothing)
{
    const QString settingsFile = QDir(dir.path()).filePath(SettingsFileName);
    open();
    EXPECT_EQ(child<QLineEdit>("eSmtpPassword")->echoMode(), QLineEdit::Password);
    fillAll(QStringLiteral("ftp.example.org"), QStringLiteral("pw"));
    type("eSmtpUser", QStringLiteral("reports@example.org"));
    type("eSmtpPassword", QStringLiteral("mail secret"));
    click("CancelButton");
    EXPECT_FALSE(QFileInfo::exists(settingsFile));

    open();
    fillAll(QStringLiteral("ftp.example.org"), QStringLiteral("pw"));
    type("eSmtpUser", QStringLiteral("reports@example.org"));
    type("eSmtpPassword", QStringLiteral("mail secret"));
    dialogs.prepareAnswers({Answer::No});
    click("DoneButton");
    const ProgramSettings stored(dir.path());
    EXPECT_EQ(stored.mailUser(), QStringLiteral("reports@example.org"));
    EXPECT_EQ(stored.mailPassword(), QStringLiteral("mail secret"));
    EXPECT_EQ(QFileInfo(settingsFile).permissions() & 0x7777,
              QFile::ReadOwner | QFile::WriteOwner | QFile::ReadUser | QFile::WriteUser);
    for (const QJsonValue &value : storedRecord())
        EXPECT_NE(value.toString(), QStringLiteral("mail secret"));

    open();
    EXPECT_EQ(child<QLineEdit>("eSmtpUser")->text(), QStringLiteral("reports@example.org"));
    EXPECT_EQ(child<QLineEdit>("eSmtpPassword")->text(), QStringLiteral("mail secret"));
}

// The test mail goes through submission with STARTTLS and the log-in. The server's own
// certificate is shown and trusted once; a wrong password shows the server's answer and leaves
// the window open, the right one sends the mail and closes it.
TEST_F(ConnectionWindowTest, TheConnectionTestSendsATestMailWhenTheUserAgrees)
{
    test::PyFtpServer ftp;
    ASSERT_TRUE(ftp.isListening()) << ftp.error().toStdString();
    test::TestCertificate cert;
    ASSERT_TRUE(cert.ok()) << cert.error().toStdString();
    test::SmtpServerOptions options;
    options.tls = test::SmtpServerOptions::Tls::StartTls;
    options.pemFile = cert.pemFile();
    options.user = QStringLiteral("reports");
    options.password = QStringLiteral("mail secret");
    test::SmtpServer smtp(options);
    ASSERT_TRUE(smtp.IsRunning()) << smtp.Errors().toStdString();
    const QString mailServer = QStringLiteral("127.0.0.1:%1").arg(smtp.Port());

    open();
    fillAll(QStringLiteral("127.0.0.1:%1").arg(ftp.port()), ftp.password());
    type("eSmtpServer", QStringLiteral("submission://") + mailServer);
    type("eSmtpUser", options.user);
    type("eSmtpPassword", QStringLiteral("wrong one"));
    dialogs.prepareAnswers({Answer::Yes, Answer::Yes, Answer::Yes});
    click("DoneButton");
    ASSERT_EQ(dialogs.texts().size(), 5) << dialogs.texts().join('\n').toStdString();
    EXPECT_EQ(dialogs.texts().at(2), kMailQuestion);
    EXPECT_TRUE(dialogs.texts().at(3).contains(mailServer + QStringLiteral(" shows a certificate")));
    EXPECT_TRUE(dialogs.texts().at(4).startsWith(TestMailFailedMessage + "\n\n"));
    EXPECT_TRUE(dialogs.texts().at(4).contains("535 5.7.8")) << dialogs.texts().at(4).toStdString();
    EXPECT_EQ(pinnedFingerprint(dir.path(), QStringLiteral("127.0.0.1"), smtp.Port()), cert.fingerprint());
    EXPECT_TRUE(window->isVisible());
    EXPECT_EQ(smtp.Count(), 0);

    type("eSmtpPassword", options.password);
    dialogs.clear();
    dialogs.prepareAnswers({Answer::Yes, Answer::Yes});
    click("DoneButton");
    EXPECT_EQ(dialogs.texts(),
              (QStringList{TestQuestion, DisconnectNotice, kMailQuestion, TestSucceededMessage}));
    const test::ReceivedMail mail = smtp.WaitMessage(1);
    EXPECT_TRUE(mail.tls);
    EXPECT_EQ(mail.user, options.user);
    EXPECT_EQ(mail.rcptTos, QStringList{QStringLiteral("backup@example.org")});
    EXPECT_TRUE(mail.message.contains("Subject: " + TestMailSubject.toUtf8()));
    const QStringList trace = traceLines();
    EXPECT_TRUE(trace.contains(QStringLiteral("AUTH PLAIN ****"))) << trace.join('\n').toStdString();
    EXPECT_TRUE(std::none_of(trace.begin(), trace.end(), [&](const QString &line) {
        return line.contains(options.password) || line.contains(QStringLiteral("wrong one"));
    }));
    EXPECT_FALSE(window->isVisible());
}

TEST_F(ConnectionWindowTest, TheTransferOptionsAreStoredInTheSettingsFileAndCancelStoresNothing)
{
    const QString settingsFile = QDir(dir.path()).filePath(SettingsFileName);
    open();
    EXPECT_TRUE(child<QCheckBox>("cbPauses")->isChecked());
    EXPECT_TRUE(child<QCheckBox>("cbFetchOnlyChanged")->isChecked());
    EXPECT_EQ(child<QCheckBox>("cbFetchOnlyChanged")->text(), QStringLiteral("Fetch only changed files"));
    auto *connections = child<QSpinBox>("sbConnections");
    EXPECT_EQ(connections->value(), 3);
    EXPECT_EQ(connections->minimum(), 1);
    EXPECT_EQ(connections->maximum(), 8);
    EXPECT_TRUE(child<QLabel>("lTransfersUnreadable")->isHidden());
    fillAll(QStringLiteral("ftp.example.org"), QStringLiteral("pw"));
    click("cbPauses");
    connections->setValue(5);
    click("CancelButton");
    EXPECT_FALSE(QFileInfo::exists(settingsFile));

    open();
    fillAll(QStringLiteral("ftp.example.org"), QStringLiteral("pw"));
    click("cbPauses");
    click("cbFetchOnlyChanged");
    child<QSpinBox>("sbConnections")->setValue(5);
    dialogs.prepareAnswers({Answer::No});
    click("DoneButton");
    const ProgramSettings stored(dir.path());
    EXPECT_FALSE(stored.pauses());
    EXPECT_FALSE(stored.fetchOnlyChanged());
    EXPECT_EQ(stored.connections(), 5);
}

// A value the file holds but that cannot be read counts as its default, and the group says so.
TEST_F(ConnectionWindowTest, AnUnreadableTransferOptionShowsItsDefaultAndTheGroupSaysSo)
{
    ASSERT_TRUE(test::writeFile(QDir(dir.path()).filePath(SettingsFileName),
                                "[transfer]\nconnections=many\npauses=false\nretries=0\n"));
    open();
    EXPECT_FALSE(child<QCheckBox>("cbPauses")->isChecked());
    EXPECT_EQ(child<QSpinBox>("sbConnections")->value(), 3);
    auto *note = child<QLabel>("lTransfersUnreadable");
    EXPECT_FALSE(note->isHidden());
    EXPECT_FALSE(note->text().isEmpty());
    EXPECT_TRUE(note->toolTip().contains(QStringLiteral("\"Connections per backup\"")));
    // The retries this window does not show are not its business.
    EXPECT_FALSE(note->toolTip().contains(QStringLiteral("Pause"))) << note->toolTip().toStdString();

    ASSERT_TRUE(test::writeFile(QDir(dir.path()).filePath(SettingsFileName), "[transfer\nconnections=2\n"));
    open();
    EXPECT_EQ(child<QLabel>("lTransfersUnreadable")->text(),
              QStringLiteral("The settings file could not be read; the defaults are shown."));
}
