#include "ui/connection/TFTP_ConnectionData.h"

#include "ui_TFTP_ConnectionData.h"

#include "data/DataError.h"
#include "data/Database.h"
#include "data/KnownServers.h"
#include "data/ServerAddress.h"
#include "data/Settings.h"
#include "data/Table.h"
#include "dialup/NetDial.h"
#include "ftp/FtpClient.h"
#include "mail/NetCode.h"
#include "mail/TestMail.h"
#include "remote/LogOn.h"
#include "smtp/SMTP.h"
#include "ui/common/Dialogs.h"
#include "ui/common/FtpTrace.h"
#include "ui/common/MainWindowAccess.h"
#include "ui/common/TraceList.h"
#include "ui/common/WaitCursor.h"
#include "ui/connection/CertificateQuestion.h"
#include "ui/connection/ConnectionEntries.h"

#include <QCloseEvent>
#include <QScopeGuard>
#include <QShortcut>

namespace cvb {

QString testMailQuestion(const QString &address)
{
    return QStringLiteral("Send a test mail to %1?").arg(address);
}

TFTP_ConnectionData::TFTP_ConnectionData(MainWindowAccess &main, QWidget *parent)
    : QWidget(parent), ui_(std::make_unique<Ui::TFTP_ConnectionData>()), main_(main), ftp_(new TcvbFTP(this)),
      dial_(new TcvbNetDial(this)), smtp_(new TcvbSMTP(this)), netCode_(new TcvbNetCode(this))
{
    ui_->setupUi(this);
    setObjectName(QStringLiteral("FTP_ConnectionData"));
    setAttribute(Qt::WA_DeleteOnClose);
    setAutoFillBackground(true);
    ftp_->setObjectName(QStringLiteral("cvbFTP1"));
    dial_->setObjectName(QStringLiteral("cvbNetDial1"));
    smtp_->setObjectName(QStringLiteral("cvbSMTP1"));
    netCode_->setObjectName(QStringLiteral("cvbNetCode1"));

    const TraceSink sink = [this](const QString &line) { trace(line); };
    FtpTraceOptions plain;
    plain.directionPrefixes = false;
    plain.transferLines = false;
    traceFtpEvents(*ftp_, sink, plain);
    traceDialUpStatus(*dial_, sink);
    // The mail dialogue as the FTP one: each line alone (the component masks the password).
    smtp_->OnPITrail = [this](QObject *, int, const QString &message) { trace(message); };
    smtp_->OnError = [this](QObject *, int code, const QString &description) {
        trace(errorEventLine(code, description));
    };

    connect(ui_->cbUseDefault, &QCheckBox::clicked, this, &TFTP_ConnectionData::UseDefaultClick);
    connect(ui_->CancelButton, &QPushButton::clicked, this, &TFTP_ConnectionData::CancelButtonClick);
    connect(ui_->DoneButton, &QPushButton::clicked, this, &TFTP_ConnectionData::DoneButtonClick);
    // Escape is "Cancel", during a test as well.
    connect(new QShortcut(QKeySequence(Qt::Key_Escape), this), &QShortcut::activated, this,
            &TFTP_ConnectionData::CancelButtonClick);

    showSettings(readConnectionSettings(main_.Table_Cnct()));
    const ProgramSettings programSettings;
    ui_->eSmtpUser->setText(programSettings.mailUser());
    ui_->eSmtpPassword->setText(programSettings.mailPassword());
    const TransferOptions transfers = readTransferOptions(programSettings);
    ui_->cbPauses->setChecked(transfers.pauses);
    ui_->cbFetchOnlyChanged->setChecked(transfers.fetchOnlyChanged);
    ui_->sbConnections->setRange(SettingsLimits::kMinConnections, SettingsLimits::kMaxConnections);
    ui_->sbConnections->setValue(transfers.connections);
    const UnreadableNote unreadable = unreadableTransfersNote(programSettings);
    ui_->lTransfersUnreadable->setText(unreadable.text);
    ui_->lTransfersUnreadable->setToolTip(unreadable.details);
    ui_->lTransfersUnreadable->setVisible(!unreadable.text.isEmpty());
}

TFTP_ConnectionData::~TFTP_ConnectionData() = default;

void TFTP_ConnectionData::showSettings(const ConnectionSettings &s)
{
    ui_->eAccountName->setText(s.user);
    ui_->eAccountPassword->setText(s.password);
    ui_->eFtpDomain->setText(s.server);
    ui_->cbFirewall->setChecked(s.passive);
    ui_->cbUseDefault->setChecked(s.useDefaultConnection);
    ui_->eDialUser->setText(s.dialUser);
    ui_->eDialPassword->setText(s.dialPassword);
    ui_->ePhoneNumber->setText(s.phoneNumber);
    ui_->eSmtpServer->setText(s.smtpServer);
    ui_->eReturnAddress->setText(s.returnAddress);
    enableDialEntries();
}

ConnectionSettings TFTP_ConnectionData::typedSettings() const
{
    ConnectionSettings s;
    s.user = ui_->eAccountName->text();
    s.password = ui_->eAccountPassword->text();
    s.server = ui_->eFtpDomain->text();
    s.passive = ui_->cbFirewall->isChecked();
    s.useDefaultConnection = ui_->cbUseDefault->isChecked();
    s.dialUser = ui_->eDialUser->text();
    s.dialPassword = ui_->eDialPassword->text();
    s.phoneNumber = ui_->ePhoneNumber->text();
    s.smtpServer = ui_->eSmtpServer->text();
    s.returnAddress = ui_->eReturnAddress->text();
    return s;
}

MailLogIn TFTP_ConnectionData::typedLogIn() const
{
    return {ui_->eSmtpUser->text(), ui_->eSmtpPassword->text()};
}

void TFTP_ConnectionData::enableDialEntries()
{
    const bool dials = !ui_->cbUseDefault->isChecked();
    for (QWidget *w : {static_cast<QWidget *>(ui_->eDialUser), static_cast<QWidget *>(ui_->eDialPassword),
                       static_cast<QWidget *>(ui_->ePhoneNumber)})
        w->setEnabled(dials);
}

void TFTP_ConnectionData::UseDefaultClick()
{
    enableDialEntries();
}

void TFTP_ConnectionData::CancelButtonClick()
{
    close();
}

void TFTP_ConnectionData::DoneButtonClick()
{
    if (testing_)
        return;
    const ConnectionSettings typed = typedSettings();
    if (!entriesComplete(typed)) {
        dialogs().information(IncompleteEntriesMessage);
        return;
    }
    Table &cnct = main_.Table_Cnct();
    ConnectionSettings stored;
    try {
        stored = settingsToStore(readConnectionSettings(cnct), typed);
        writeConnectionSettings(cnct, stored);
    } catch (const DataError &e) {
        dialogs().error(e.message());
        return;
    }
    ProgramSettings programSettings;
    programSettings.setMailUser(typedLogIn().user);
    programSettings.setMailPassword(typedLogIn().password);
    storeTransferOptions(programSettings, {ui_->cbPauses->isChecked(), ui_->sbConnections->value(),
                                           ui_->cbFetchOnlyChanged->isChecked()});
    const QString unsaved = programSettings.save();
    if (!unsaved.isEmpty()) {
        dialogs().error(unsaved);
        return;
    }
    if (dialogs().confirmation(TestQuestion, Buttons::YesNo) != Answer::Yes) {
        close();
        return;
    }
    // A close asked for during the test was put off until the test had unwound.
    if (runConnectionTest(stored) || closeRequested_)
        close();
}

bool TFTP_ConnectionData::runConnectionTest(const ConnectionSettings &settings)
{
    // The test waits inside this click while the components process window messages: "Done"
    // may not start another, and the window may not close under the test. "Cancel" (or Escape,
    // or closing) ends the test's wait, and the window closes once the test has unwound.
    testing_ = true;
    ui_->DoneButton->setEnabled(false);
    const auto done = qScopeGuard([this] {
        testing_ = false;
        ui_->DoneButton->setEnabled(true);
    });

    dialogs().information(DisconnectNotice);
    disconnectQuietly();
    ui_->lTrace->clear();
    ui_->lTrace->show();
    QString failure;
    {
        WaitCursor wait;
        failure = dialAndLogOn(settings);
    }
    if (closeRequested_) {
        disconnectQuietly();
        return false;
    }
    if (failure.isEmpty() && canSendTestMail(settings) &&
        dialogs().confirmation(testMailQuestion(settings.returnAddress), Buttons::YesNo) == Answer::Yes) {
        WaitCursor wait;
        failure = sendTestMail(settings);
    }
    if (closeRequested_) {
        disconnectQuietly();
        return false;
    }
    if (!failure.isEmpty()) {
        dialogs().information(failure);
        ui_->lTrace->hide();
        disconnectQuietly();
        return false;
    }
    dialogs().information(TestSucceededMessage);
    return true;
}

QString TFTP_ConnectionData::sendTestMail(const ConnectionSettings &settings)
{
    for (bool firstTry = true;; firstTry = false) {
        try {
            cvb::sendTestMail(*smtp_, *netCode_, settings);
            trace(QStringLiteral("The mail server accepted the test mail to ") + settings.returnAddress +
                  QLatin1Char('.'));
            return {};
        } catch (const EcvbComponent &e) {
            trace(QStringLiteral("EXCEPTION: ") + e.Message());
            if (closeRequested_)
                return {};
            const ServerAddress server = readMailServerAddress(settings.smtpServer);
            if (firstTry && e.Code() == kTlsUntrusted &&
                trustCertificate(server.host, server.port, smtp_->PeerCertificate()))
                continue;
            return TestMailFailedMessage + QStringLiteral("\n\n") + e.Message();
        }
    }
}

QString TFTP_ConnectionData::dialAndLogOn(const ConnectionSettings &settings)
{
    if (settings.dialsUp()) {
        try {
            settings.setDialUpAccount(*dial_);
            dial_->SetAction(ntdConnect);
        } catch (const EcvbComponent &) {
            return DialFailedMessage;
        }
        if (closeRequested_)
            return {};
    }
    for (bool firstTry = true;; firstTry = false) {
        try {
            loadWinsockAndLogOn(*ftp_, settings, [this](const QString &line) { trace(line); });
            return {};
        } catch (const EcvbFTP &e) {
            // What failed is named in the trace and in the message, so that a wrong server can be
            // told from a wrong password.
            trace(QStringLiteral("EXCEPTION: ") + e.Message());
            // Only here, with a person at the keyboard, may a certificate become trusted.
            if (closeRequested_)
                return {};
            const ServerAddress server = readServerAddress(settings.server, kFtpPort);
            if (firstTry && e.Code() == kTlsUntrusted &&
                trustCertificate(server.host, server.port, ftp_->PeerCertificate()))
                continue;
            if (firstTry && e.Code() == kSshHostKeyUnknown &&
                trustHostKey(server.host, server.port, ftp_->HostKey()))
                continue;
            return LogonFailedMessage + QStringLiteral("\n\n") + e.Message();
        }
    }
}

bool TFTP_ConnectionData::trustCertificate(const QString &host, int port,
                                           const TlsCertificateInfo &certificate)
{
    if (certificate.isEmpty())
        return false;
    const QString name = host + QLatin1Char(':') + QString::number(port);
    return pinOnYes(host, port, certificateQuestion(name, certificate), certificate.fingerprint,
                    QStringLiteral("Certificate"));
}

bool TFTP_ConnectionData::trustHostKey(const QString &host, int port, const SshHostKey &key)
{
    if (key.isEmpty())
        return false;
    const QString name = host + QLatin1Char(':') + QString::number(port);
    return pinOnYes(host, port, hostKeyQuestion(name, key.type, key.fingerprint), key.fingerprint,
                    QStringLiteral("Host key"));
}

bool TFTP_ConnectionData::pinOnYes(const QString &host, int port, const QString &question,
                                   const QString &fingerprint, const QString &what)
{
    if (host.isEmpty() || dialogs().warning(question, Buttons::YesNo) != Answer::Yes)
        return false;
    const QString failure = pinFingerprint(aliasFolder(), host, port, fingerprint);
    if (!failure.isEmpty()) {
        trace(failure);
        return false;
    }
    trace(what + QStringLiteral(" of ") + host + QLatin1Char(':') + QString::number(port) +
          QStringLiteral(" trusted from now on."));
    return true;
}

void TFTP_ConnectionData::disconnectQuietly()
{
    try {
        ftp_->SetAction(ftpLogoff);
    } catch (const EcvbComponent &) {
    }
    try {
        dial_->SetAction(ntdDisconnect);
    } catch (const EcvbComponent &) {
    }
}

void TFTP_ConnectionData::trace(const QString &line)
{
    addTraceLine(ui_->lTrace, line);
}

void TFTP_ConnectionData::closeEvent(QCloseEvent *event)
{
    if (testing_) {
        // The components wait further down the stack: they must outlive their waits.
        event->ignore();
        closeRequested_ = true;
        ftp_->Interrupt();
        smtp_->Interrupt();
        return;
    }
    QWidget::closeEvent(event);
    main_.ShowMenuPanel();
}

} // namespace cvb
