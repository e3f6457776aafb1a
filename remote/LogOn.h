// How everything that connects to the web server (the backup, the remote browser, the connection
// test, the live session) sets the FTP component up from the one connection record: the account,
// the server as "host" or "host:port" with its scheme (plain, TLS or SFTP, and the certificate or
// host key pinned for it in the database folder), and passive mode when the user sits behind a firewall.
#pragma once

#include <QString>

#include <functional>

namespace cvb {

class TcvbFTP;
struct ConnectionSettings;
struct ServerAddress;

inline constexpr int kFtpPort = 21;

// Sets user, password, server, port, TLS and passive mode on `ftp`; nothing is sent yet. Returns an
// empty text, or the error text when the server field cannot be read (the component is then left
// as it was and must not log on).
QString prepareLogOn(TcvbFTP &ftp, const ConnectionSettings &settings);

// The server part of it: host, port, the name its certificate must carry, and plain, TLS or SFTP.
void applyServerAddress(TcvbFTP &ftp, const ServerAddress &server);

// Loads the socket library with its two lines for `trace` ("Loading Winsock", then its
// description and status as one line), sets the account and server from the settings and logs
// on. Raises EcvbFTP when any of it fails, a server field that cannot be read included.
void loadWinsockAndLogOn(TcvbFTP &ftp, const ConnectionSettings &settings,
                         const std::function<void(const QString &line)> &trace);

} // namespace cvb
