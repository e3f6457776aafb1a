#include "remote/LogOn.h"

#include "data/ConnectionSettings.h"
#include "data/Database.h"
#include "data/KnownServers.h"
#include "data/ServerAddress.h"
#include "ftp/FtpClient.h"

namespace cvb {

void applyServerAddress(TcvbFTP &ftp, const ServerAddress &server)
{
    ftp.SetControlPort(static_cast<std::uint16_t>(server.port));
    ftp.SetRemoteHost(server.host);
    ftp.SetServerName(server.host);
    ftp.SetSftp(server.security == ServerSecurity::Ssh);
    ftp.SetSecurity(server.security == ServerSecurity::ExplicitTls   ? ftpsExplicit
                    : server.security == ServerSecurity::ImplicitTls ? ftpsImplicit
                                                                     : ftpsNone);
}

QString prepareLogOn(TcvbFTP &ftp, const ConnectionSettings &settings)
{
    const ServerAddress server = readServerAddress(settings.server, kFtpPort);
    if (!server.ok())
        return server.error;
    ftp.SetUser(settings.user);
    ftp.SetPassword(settings.password);
    applyServerAddress(ftp, server);
    ftp.SetTrustedFingerprint(pinnedFingerprint(aliasFolder(), server.host, server.port));
    // Behind a firewall or NAT the server cannot open data connections to us.
    ftp.SetPassive(settings.passive);
    return {};
}

void loadWinsockAndLogOn(TcvbFTP &ftp, const ConnectionSettings &settings,
                         const std::function<void(const QString &line)> &trace)
{
    trace(QStringLiteral("Loading Winsock"));
    ftp.SetWinsockLoaded(true);
    trace(ftp.WinsockInfo() + ftp.WinsockStatus());
    const QString serverError = prepareLogOn(ftp, settings);
    if (!serverError.isEmpty())
        throw EcvbFTP(0, serverError);
    ftp.SetAction(ftpLogon);
}

} // namespace cvb
