// How the program reads the server fields of the connection record (DOMAIN for FTP, SMTP for
// mail): "host" or "host:port" with an optional scheme in front. For FTP: "ftp://" (plain),
// "ftpes://" (TLS after AUTH TLS, required), "ftps://" (TLS from the first byte) or "sftp://"
// (SFTP over SSH instead of FTP). For mail:
// "smtp://" (plain), "submission://" (STARTTLS, required) or "smtps://" (TLS from the first
// byte). Every place that connects to a server reads them through here.
#pragma once

#include <QString>

namespace cvb {

// Ssh: not FTP at all, but SFTP over SSH.
enum class ServerSecurity { Plain, ExplicitTls, ImplicitTls, Ssh };

// The port of FTP with TLS from the first byte.
inline constexpr int kImplicitTlsFtpPort = 990;
// The port of SSH, for SFTP.
inline constexpr int kSftpPort = 22;
// The ports of plain SMTP, of mail submission (STARTTLS) and of SMTP with TLS from the first byte.
inline constexpr int kSmtpPort = 25;
inline constexpr int kSubmissionPort = 587;
inline constexpr int kSmtpsPort = 465;

struct ServerAddress
{
    ServerSecurity security = ServerSecurity::Plain;
    QString host;
    int port = 0;
    QString error; // empty when the text could be read

    bool ok() const { return error.isEmpty(); }
};

// Reads "host" (giving defaultPort) or "host:port" (port 1 to 65535), after a scheme when there
// is one ("ftps://" gives port 990 by default, "sftp://" port 22; a "/" after the host is ignored). Blanks
// around the text and around the port are ignored; an unknown scheme is an error. An unreadable port leaves
// `error` set with a text that names the field's value; host and port are then not to be used.
ServerAddress readServerAddress(const QString &text, int defaultPort);

// Reads the SMTP server field the same way: no scheme or "smtp://" gives plain SMTP on port 25,
// "submission://" STARTTLS on port 587, "smtps://" TLS from the first byte on port 465; an FTP
// scheme is as unknown here as any other.
ServerAddress readMailServerAddress(const QString &text);

} // namespace cvb
