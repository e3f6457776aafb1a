#include "ui/connection/ConnectionEntries.h"

#include "data/Settings.h"

#include <QStringList>

#include <initializer_list>

namespace cvb {

namespace {

bool allFilled(std::initializer_list<const QString *> entries)
{
    for (const QString *entry : entries)
        if (entry->isEmpty())
            return false;
    return true;
}

} // namespace

bool entriesComplete(const ConnectionSettings &typed)
{
    if (!allFilled({&typed.user, &typed.password, &typed.server, &typed.smtpServer, &typed.returnAddress}))
        return false;
    return typed.useDefaultConnection ||
           allFilled({&typed.dialUser, &typed.dialPassword, &typed.phoneNumber});
}

ConnectionSettings settingsToStore(const ConnectionSettings &stored, const ConnectionSettings &typed)
{
    ConnectionSettings result = typed;
    result.isp = stored.isp;
    if (typed.useDefaultConnection) {
        result.dialUser = stored.dialUser;
        result.dialPassword = stored.dialPassword;
        result.phoneNumber = stored.phoneNumber;
    }
    return result;
}

TransferOptions readTransferOptions(const ProgramSettings &settings)
{
    return {settings.pauses(), settings.connections(), settings.fetchOnlyChanged()};
}

void storeTransferOptions(ProgramSettings &settings, const TransferOptions &options)
{
    settings.setPauses(options.pauses);
    settings.setConnections(options.connections);
    settings.setFetchOnlyChanged(options.fetchOnlyChanged);
}

UnreadableNote unreadableTransfersNote(const ProgramSettings &settings)
{
    const QStringList unreadable = settings.unreadable();
    if (unreadable.contains(settings.filePath()))
        return {QStringLiteral("The settings file could not be read; the defaults are shown."),
                QStringLiteral("%1 could not be read.").arg(settings.filePath())};
    QStringList options;
    if (unreadable.contains(QLatin1String("transfer/pauses")))
        options << QStringLiteral("\"Pause between transfers\"");
    if (unreadable.contains(QLatin1String("transfer/connections")))
        options << QStringLiteral("\"Connections per backup\"");
    if (unreadable.contains(QLatin1String("transfer/fetch_only_changed")))
        options << QStringLiteral("\"Fetch only changed files\"");
    if (options.isEmpty())
        return {};
    return {QStringLiteral("A stored value could not be read; the default is shown."),
            QStringLiteral("%1 holds a value for %2 that cannot be read.")
                .arg(settings.filePath(), options.join(QStringLiteral(" and ")))};
}

} // namespace cvb
