#include "mail/MailSender.h"

#include "data/ServerAddress.h"
#include "mail/MailComposer.h"
#include "mail/NetCode.h"
#include "smtp/SMTP.h"

namespace cvb {

namespace {

constexpr int kDefaultSmtpPort = 25;

} // namespace

void sendMail(TcvbSMTP &smtp, TcvbNetCode &coder, const QString &smtpServer, const MailFields &fields)
{
    smtp.SetWinsockLoaded(true);
    const ServerAddress server = readServerAddress(smtpServer, kDefaultSmtpPort);
    if (!server.ok())
        smtp.ReportError(10022, server.error);
    // A scheme for FTP over TLS would not make this mail encrypted: it is refused, not ignored.
    if (server.security != ServerSecurity::Plain)
        smtp.ReportError(
            10022, QStringLiteral("The mail server address \"%1\" names an FTP scheme.").arg(smtpServer));
    smtp.SetMailServer(server.host);
    smtp.SetMailPort(std::uint16_t(server.port));

    try {
        ComposeMail(fields, smtp, coder);
        smtp.SetAction(smtpSend);
    } catch (...) {
        try {
            smtp.SetAction(smtpDisconnect);
        } catch (const EcvbComponent &) {
            // The first failure is the one the caller hears about; the disconnect's own
            // failure has already been traced through OnPITrail.
        }
        throw;
    }
    smtp.SetAction(smtpDisconnect);
}

} // namespace cvb
