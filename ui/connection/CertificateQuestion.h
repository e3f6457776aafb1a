// The question the connection test asks about a server certificate that the system's store does
// not vouch for: what the certificate says, and whether to trust it for this server from now on.
#pragma once

#include "socket/Tls.h"

#include <QString>

namespace cvb {

// `server` is "host:port".
QString certificateQuestion(const QString &server, const TlsCertificateInfo &certificate);

// The question about the host key of an SFTP server that known-servers does not name yet: its
// type ("ssh-ed25519") and fingerprint as OpenSSH prints it.
QString hostKeyQuestion(const QString &server, const QString &keyType, const QString &fingerprint);

} // namespace cvb
