#include "data/ServerAddress.h"

#include <algorithm>

namespace cvb {

ServerAddress readServerAddress(const QString &text, int defaultPort)
{
    ServerAddress address;
    QString trimmed = text.trimmed();
    const qsizetype schemeEnd = trimmed.indexOf(QLatin1String("://"));
    if (schemeEnd >= 0) {
        const QString scheme = trimmed.left(schemeEnd).toLower();
        if (scheme == QLatin1String("ftpes")) {
            address.security = ServerSecurity::ExplicitTls;
        } else if (scheme == QLatin1String("ftps")) {
            address.security = ServerSecurity::ImplicitTls;
            defaultPort = kImplicitTlsFtpPort;
        } else if (scheme != QLatin1String("ftp")) {
            address.error =
                QStringLiteral("The server address \"%1\" begins with an unknown scheme; use ftp://, "
                               "ftpes:// or ftps://.")
                    .arg(text);
            return address;
        }
        trimmed = trimmed.mid(schemeEnd + 3);
        if (trimmed.endsWith(QLatin1Char('/')))
            trimmed.chop(1);
    }
    const qsizetype colon = trimmed.indexOf(QLatin1Char(':'));
    if (colon < 0) {
        address.host = trimmed;
        address.port = defaultPort;
        return address;
    }
    address.host = trimmed.left(colon).trimmed();
    const QString portText = trimmed.mid(colon + 1).trimmed();
    bool ok = false;
    const int port = portText.toInt(&ok, 10);
    const bool digitsOnly = !portText.isEmpty() && std::all_of(portText.begin(), portText.end(),
                                                               [](QChar c) { return c.isDigit(); });
    if (!ok || !digitsOnly || port < 1 || port > 65535) {
        address.error =
            QStringLiteral("The server address \"%1\" has no valid port number after \":\".").arg(text);
        return address;
    }
    address.port = port;
    return address;
}

} // namespace cvb
