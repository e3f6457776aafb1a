// How everything that connects to the web server (the backup, the remote browser, the connection
// test, the live session) sets the FTP component up from the one connection record: the account,
// the server as "host" or "host:port", and passive mode when the user sits behind a firewall.
#pragma once

#include <QString>

namespace cvb {

class TcvbFTP;
struct ConnectionSettings;

inline constexpr int kFtpPort = 21;

// Sets user, password, server, port and passive mode on `ftp`; nothing is sent yet. Returns an
// empty text, or the error text when the server field cannot be read (the component is then left
// as it was and must not log on).
QString prepareLogOn(TcvbFTP &ftp, const ConnectionSettings &settings);

} // namespace cvb
