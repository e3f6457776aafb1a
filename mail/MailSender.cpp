#include "mail/MailSender.h"

#include "data/Database.h"
#include "data/KnownServers.h"
#include "data/ServerAddress.h"
#include "data/Settings.h"
#include "mail/MailComposer.h"
#include "mail/NetCode.h"
#include "smtp/SMTP.h"

namespace cvb {

QString prepareMailServer(TcvbSMTP &smtp, const QString &smtpServer, const QString &folder)
{
    const ServerAddress server = readMailServerAddress(smtpServer);
    if (!server.ok())
        return server.error;
    smtp.SetMailServer(server.host);
    smtp.SetMailPort(std::uint16_t(server.port));
    smtp.SetServerName(server.host);
    smtp.SetSecurity(server.security == ServerSecurity::ExplicitTls   ? smtpsStartTls
                     : server.security == ServerSecurity::ImplicitTls ? smtpsImplicit
                                                                      : smtpsNone);
    smtp.SetTrustedFingerprint(pinnedFingerprint(folder, server.host, server.port));
    const ProgramSettings settings(folder);
    smtp.SetUser(settings.mailUser());
    smtp.SetPassword(settings.mailPassword());
    return {};
}

void sendMail(TcvbSMTP &smtp, TcvbNetCode &coder, const QString &smtpServer, const MailFields &fields)
{
    smtp.SetWinsockLoaded(true);
    const QString serverError = prepareMailServer(smtp, smtpServer, aliasFolder());
    if (!serverError.isEmpty())
        smtp.ReportError(10022, serverError);

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
