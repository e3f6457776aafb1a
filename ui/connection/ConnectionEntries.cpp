#include "ui/connection/ConnectionEntries.h"

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

} // namespace cvb
