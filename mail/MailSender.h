// Sending one message: the fields become the SMTP component's headers, text and attached file
// (see MailComposer.h), and the component delivers them to the server that the SMTP server field
// names, over plain SMTP, STARTTLS or TLS, logged in with the account of the settings file.
#pragma once

#include <QString>

namespace cvb {

class TcvbSMTP;
class TcvbNetCode;
struct MailFields;

// Points smtp at the server the SMTP server field names (read as data/ServerAddress.h reads it):
// host, port, plain, STARTTLS or TLS, the name its certificate must carry and the fingerprint
// pinned for it in `folder`'s known-servers, and the log-in stored in `folder`'s settings file.
// Returns an empty text, or the text that says why the field cannot be read (smtp is then left as
// it was).
QString prepareMailServer(TcvbSMTP &smtp, const QString &smtpServer, const QString &folder);

// Loads the socket library in smtp, prepares it for the server with the database folder's trust
// and log-in, composes the message with coder and sends it. The connection is closed in every
// case; a failure raises the component's exception (EcvbSMTP, EcvbNetCode) after that clean-up,
// the first failure winning over one of the disconnect.
void sendMail(TcvbSMTP &smtp, TcvbNetCode &coder, const QString &smtpServer, const MailFields &fields);

} // namespace cvb
