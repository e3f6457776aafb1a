#include "ui/session/SessionRules.h"

namespace cvb {

QString refusedNameLine(const QString &name)
{
    return QStringLiteral("ERR:Refused the name \"%1\": it would be written outside the local folder")
        .arg(name);
}

} // namespace cvb
