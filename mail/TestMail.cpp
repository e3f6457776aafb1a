#include "mail/TestMail.h"

#include "data/ConnectionSettings.h"
#include "mail/MailSender.h"

namespace cvb {

bool canSendTestMail(const ConnectionSettings &settings)
{
    return !settings.smtpServer.trimmed().isEmpty() && !settings.returnAddress.trimmed().isEmpty();
}

MailFields testMailFields(const ConnectionSettings &settings)
{
    MailFields fields;
    fields.to = settings.returnAddress;
    fields.from = settings.returnAddress;
    fields.subject = TestMailSubject;
    fields.text = {
        QStringLiteral("This is a test mail from Corvale Backup."), QStringLiteral(" "),
        QStringLiteral("It went through the mail server %1 with the e-mail settings of the connection")
            .arg(settings.smtpServer),
        QStringLiteral("window. The reports of your backups will reach you the same way.")};
    return fields;
}

void sendTestMail(TcvbSMTP &smtp, TcvbNetCode &coder, const ConnectionSettings &settings)
{
    sendMail(smtp, coder, settings.smtpServer, testMailFields(settings));
}

} // namespace cvb
