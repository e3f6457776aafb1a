// The servers whose certificates the user trusts although the system's store does not vouch for
// them, and the SSH host keys of SFTP servers: the file "known-servers" in the database folder,
// one line per server, "host:port" and the SHA-256 fingerprint of its certificate or host key,
// readable by people, private to the user (0600).
#pragma once

#include <QString>

namespace cvb {

inline const QString KnownServersFileName = QStringLiteral("known-servers");

// The fingerprint pinned for host and port, as written in the file; empty when there is none
// (or no file).
QString pinnedFingerprint(const QString &folder, const QString &host, int port);

// Pins `fingerprint` for host and port, replacing what was pinned for them before. Returns an
// empty text, or the error text when the file could not be written.
QString pinFingerprint(const QString &folder, const QString &host, int port, const QString &fingerprint);

} // namespace cvb
