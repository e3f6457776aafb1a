// TFTP_ConnectionData, "Web Server Connection Information": edits the one connection record (FTP
// account and server, the dial-up connection, the report mail server and sender), and the mail
// server's log-in and the transfer options, which live in the settings file; after storing them
// it offers a connection
// test that dials when asked to, logs on to the FTP server and, when the user agrees, sends a test
// mail, showing the dialogue in the trace list. A child window inside the main window; it frees itself
// when closed and gives the main window its menu panel back. Escape is "Cancel"; either, or
// closing, during the test ends the test's wait and closes the window once the test has unwound.
//
// Object names: eAccountName, eAccountPassword, eFtpDomain, cbFirewall, cbUseDefault, eDialUser,
// eDialPassword, ePhoneNumber, eSmtpServer, eReturnAddress, eSmtpUser, eSmtpPassword, cbPauses,
// sbConnections, lTransfersUnreadable, lTrace, CancelButton, DoneButton, Heading, VendorLogo; the components
// cvbFTP1, cvbNetDial1, cvbSMTP1 and cvbNetCode1.
#pragma once

#include "data/ConnectionSettings.h"

#include <QWidget>
#include <memory>

namespace Ui {
class TFTP_ConnectionData;
}

namespace cvb {

class MainWindowAccess;
class TcvbFTP;
class TcvbNetCode;
class TcvbNetDial;
class TcvbSMTP;
struct SshHostKey;
struct TlsCertificateInfo;

inline const QString TestQuestion = QStringLiteral(
    "IMPORTANT! Corvale Web Backup will experience problems IF the connection information is not correct.  "
    "It "
    "is highly recommended that you test the connection paramters.  Do you want to test them now?");
inline const QString DisconnectNotice = QStringLiteral(
    "This procedure will test your Internet connection and FTP/Web Server connection. Please disconnect from "
    "any currently established Internet connection, and click \"OK\" when the system is disconnected.");
inline const QString DialFailedMessage =
    QStringLiteral("Counld not establish a connection to the Internet.  Please check the settings and make "
                   "certain the connection service is correct.");
inline const QString LogonFailedMessage =
    QStringLiteral("Corvale Backup could not login to the FTP/Web Server.  Please check the Web Server "
                   "Connection Information "
                   "ettings");
inline const QString TestSucceededMessage = QStringLiteral("The connection appears to be successful.");
inline const QString TestMailFailedMessage =
    QStringLiteral("Corvale Backup could not send the test mail.  Please check the E-Mail Notification "
                   "Information settings.");

// "Send a test mail to <address>?"
QString testMailQuestion(const QString &address);

// The mail server's log-in as the window shows and stores it.
struct MailLogIn
{
    QString user;
    QString password;
};

class TFTP_ConnectionData : public QWidget
{
    Q_OBJECT
public:
    explicit TFTP_ConnectionData(MainWindowAccess &main, QWidget *parent = nullptr);
    ~TFTP_ConnectionData() override;

    // Handlers.
    void UseDefaultClick();
    void CancelButtonClick();
    void DoneButtonClick();

    // What the entries hold now.
    ConnectionSettings typedSettings() const;
    MailLogIn typedLogIn() const;

protected:
    void closeEvent(QCloseEvent *event) override;

private:
    void showSettings(const ConnectionSettings &settings);
    void enableDialEntries();
    // The connection test; true when the log-on succeeded.
    bool runConnectionTest(const ConnectionSettings &settings);
    // Dials when the settings ask for it and logs on; the message that says what failed, or empty.
    QString dialAndLogOn(const ConnectionSettings &settings);
    // Sends the test mail; the message that says what failed, or empty.
    QString sendTestMail(const ConnectionSettings &settings);
    // Asks the user whether to trust the certificate the server at host and port just showed;
    // Yes pins it in the database folder. True when the connection should be tried again.
    bool trustCertificate(const QString &host, int port, const TlsCertificateInfo &certificate);
    // The same for the host key an SFTP server just showed.
    bool trustHostKey(const QString &host, int port, const SshHostKey &key);
    // Asks `question`; Yes pins `fingerprint` for host and port. True when it was pinned.
    bool pinOnYes(const QString &host, int port, const QString &question, const QString &fingerprint,
                  const QString &what);
    // Log-off and hang-up, their errors ignored.
    void disconnectQuietly();
    void trace(const QString &line);

    std::unique_ptr<Ui::TFTP_ConnectionData> ui_;
    MainWindowAccess &main_;
    TcvbFTP *ftp_;
    TcvbNetDial *dial_;
    TcvbSMTP *smtp_;
    TcvbNetCode *netCode_;
    bool testing_ = false;
    bool closeRequested_ = false; // asked to close during the test: closes once it has unwound
};

} // namespace cvb
