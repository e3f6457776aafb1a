// Sending one message: the fields become the SMTP component's headers, text and attached file
// (see MailComposer.h), and the component delivers them to the server named by "host[:port]".
#pragma once

#include <QString>

namespace cvb {

class TcvbSMTP;
class TcvbNetCode;
struct MailFields;

// Loads the socket library in smtp, points it at the server ("host" or "host:port", port 25 by
// default; an FTP scheme is refused), composes the message with coder and sends it. The
// connection is closed in every case; a failure raises the component's exception (EcvbSMTP,
// EcvbNetCode) after that clean-up, the first failure winning over one of the disconnect.
void sendMail(TcvbSMTP &smtp, TcvbNetCode &coder, const QString &smtpServer, const MailFields &fields);

} // namespace cvb
