#include "data/ServerAddress.h"

#include <QStringList>

#include <algorithm>
#include <initializer_list>

namespace cvb {

namespace {

struct Scheme
{
    const char *name;
    ServerSecurity security;
    int defaultPort; // 0: the caller's default
};

ServerAddress readAddress(const QString &text, int defaultPort, std::initializer_list<Scheme> schemes)
{
    ServerAddress address;
    QString trimmed = text.trimmed();
    const qsizetype schemeEnd = trimmed.indexOf(QLatin1String("://"));
    if (schemeEnd >= 0) {
        const QString name = trimmed.left(schemeEnd).toLower();
        const auto scheme = std::find_if(schemes.begin(), schemes.end(),
                                         [&](const Scheme &s) { return name == QLatin1String(s.name); });
        if (scheme == schemes.end()) {
            QStringList known;
            for (const Scheme &s : schemes)
                known << QLatin1String(s.name) + QStringLiteral("://");
            address.error =
                QStringLiteral("The server address \"%1\" begins with an unknown scheme; use %2 or %3.")
                    .arg(text, known.mid(0, known.size() - 1).join(QStringLiteral(", ")), known.constLast());
            return address;
        }
        address.security = scheme->security;
        if (scheme->defaultPort != 0)
            defaultPort = scheme->defaultPort;
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

} // namespace

ServerAddress readServerAddress(const QString &text, int defaultPort)
{
    return readAddress(text, defaultPort,
                       {{"ftp", ServerSecurity::Plain, 0},
                        {"ftpes", ServerSecurity::ExplicitTls, 0},
                        {"ftps", ServerSecurity::ImplicitTls, kImplicitTlsFtpPort},
                        {"sftp", ServerSecurity::Ssh, kSftpPort}});
}

ServerAddress readMailServerAddress(const QString &text)
{
    return readAddress(text, kSmtpPort,
                       {{"smtp", ServerSecurity::Plain, 0},
                        {"submission", ServerSecurity::ExplicitTls, kSubmissionPort},
                        {"smtps", ServerSecurity::ImplicitTls, kSmtpsPort}});
}

} // namespace cvb
