#include "ftp/FtpLogOn.h"

#include "data/ConnectionSettings.h"
#include "data/ServerAddress.h"
#include "ftp/FtpClient.h"

namespace cvb {

QString prepareLogOn(TcvbFTP &ftp, const ConnectionSettings &settings)
{
    const ServerAddress server = readServerAddress(settings.server, kFtpPort);
    if (!server.ok())
        return server.error;
    ftp.SetUser(settings.user);
    ftp.SetPassword(settings.password);
    ftp.SetControlPort(static_cast<std::uint16_t>(server.port));
    ftp.SetRemoteHost(server.host);
    // Behind a firewall or NAT the server cannot open data connections to us.
    ftp.SetPassive(settings.passive);
    return {};
}

} // namespace cvb
