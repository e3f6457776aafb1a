#include "data/ConnectionSettings.h"

#include "data/Table.h"

namespace cvb {

ConnectionSettings readConnectionSettings(const Table &connection)
{
    ConnectionSettings s;
    s.user = connection.asString(QStringLiteral("USERNAME"));
    s.password = connection.asString(QStringLiteral("PASSWORD"));
    s.server = connection.asString(QStringLiteral("DOMAIN"));
    s.passive = connection.asBool(QStringLiteral("FIREWALL"));
    s.smtpServer = connection.asString(QStringLiteral("SMTP"));
    s.returnAddress = connection.asString(QStringLiteral("EMAILADDR"));
    s.useDefaultConnection = connection.asBool(QStringLiteral("USEDEFAULT"));
    s.dialUser = connection.asString(QStringLiteral("USERID"));
    s.dialPassword = connection.asString(QStringLiteral("PASSCODE"));
    s.phoneNumber = connection.asString(QStringLiteral("PHONENUM"));
    s.isp = connection.asString(QStringLiteral("ISP"));
    return s;
}

void writeConnectionSettings(Table &connection, const ConnectionSettings &s)
{
    if (connection.isEmpty())
        connection.insert();
    else
        connection.edit();
    connection.setString(QStringLiteral("USERNAME"), s.user);
    connection.setString(QStringLiteral("PASSWORD"), s.password);
    connection.setString(QStringLiteral("DOMAIN"), s.server);
    connection.setBool(QStringLiteral("FIREWALL"), s.passive);
    connection.setString(QStringLiteral("SMTP"), s.smtpServer);
    connection.setString(QStringLiteral("EMAILADDR"), s.returnAddress);
    connection.setBool(QStringLiteral("USEDEFAULT"), s.useDefaultConnection);
    connection.setString(QStringLiteral("USERID"), s.dialUser);
    connection.setString(QStringLiteral("PASSCODE"), s.dialPassword);
    connection.setString(QStringLiteral("PHONENUM"), s.phoneNumber);
    connection.setString(QStringLiteral("ISP"), s.isp);
    connection.post();
}

} // namespace cvb
