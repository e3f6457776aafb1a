#include "app/TestMail.h"

#include "data/ConnectionSettings.h"
#include "data/DataError.h"
#include "data/Database.h"
#include "data/Layouts.h"
#include "data/Table.h"
#include "mail/NetCode.h"
#include "mail/TestMail.h"
#include "smtp/SMTP.h"
#include "ui/common/FtpTrace.h"

#include <QDir>
#include <QFileInfo>
#include <QTextStream>

namespace cvb {

int testMail(const QString &dataFolder, QTextStream &out, QTextStream &err)
{
    const QString folder = resolveDataFolder(dataFolder);
    const QString path = QDir(folder).filePath(ConnectionTable);
    if (!QFileInfo::exists(path)) {
        err << QStringLiteral("corvale-backup: there are no connection settings in %1; enter them in the "
                              "connection window first\n")
                   .arg(folder);
        return 1;
    }
    ConnectionSettings settings;
    try {
        Table connection(QStringLiteral("Table_Cnct"), nullptr);
        connection.setFolder(folder);
        connection.open(ConnectionTable);
        settings = readConnectionSettings(connection);
    } catch (const DataError &e) {
        err << QStringLiteral("corvale-backup: ") << e.message() << '\n';
        return 1;
    }
    if (!canSendTestMail(settings)) {
        err << QStringLiteral("corvale-backup: the e-mail settings in %1 are not filled in (SMTP server and "
                              "return address); no test mail was sent\n")
                   .arg(path);
        return 1;
    }
    // The log-in and the pinned certificates of this folder count.
    setAliasFolder(folder);

    TcvbSMTP smtp;
    TcvbNetCode coder;
    smtp.OnPITrail = [&out](QObject *, int direction, const QString &message) {
        out << directionPrefix(direction) << message << '\n';
        out.flush();
    };
    smtp.OnError = [&out](QObject *, int code, const QString &description) {
        out << errorEventLine(code, description) << '\n';
    };
    try {
        sendTestMail(smtp, coder, settings);
    } catch (const EcvbComponent &e) {
        err << QStringLiteral("corvale-backup: the test mail to %1 was not sent: %2\n")
                   .arg(settings.returnAddress, e.Message());
        return 1;
    }
    out << QStringLiteral("The mail server %1 accepted the test mail to %2.\n")
               .arg(settings.smtpServer, settings.returnAddress);
    return 0;
}

} // namespace cvb
