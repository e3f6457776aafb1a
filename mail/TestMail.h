// The test mail that the connection test and "corvale-backup --test-mail" send: from the return
// address to the return address, through the SMTP server of the connection record, so that a
// wrong mail setting shows while the user is at it rather than after the first failed backup.
#pragma once

#include "mail/MailComposer.h"

#include <QString>

namespace cvb {

class TcvbSMTP;
class TcvbNetCode;
struct ConnectionSettings;

inline const QString TestMailSubject = QStringLiteral("Corvale Backup test mail");

// True when the e-mail settings are filled in: an SMTP server and a return address.
bool canSendTestMail(const ConnectionSettings &settings);

// The test mail's fields: to and from the return address, with a text that says what it is.
MailFields testMailFields(const ConnectionSettings &settings);

// Sends the test mail as a report is sent (sendMail): raises the component's exception when the
// server did not accept it.
void sendTestMail(TcvbSMTP &smtp, TcvbNetCode &coder, const ConnectionSettings &settings);

} // namespace cvb
