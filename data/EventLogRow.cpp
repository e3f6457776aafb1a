#include "data/EventLogRow.h"

#include "data/Clock.h"
#include "data/DateText.h"
#include "data/Table.h"

namespace cvb {

void writeLogRow(Table &log, const QString &profile, const QString &message)
{
    // One reading of the clock for both fields, so a row written at midnight cannot pair
    // the new day's date with the old day's time.
    writeLogRow(log, profile, message, Clock::now());
}

void writeLogRow(Table &log, const QString &profile, const QString &message, const QDateTime &now)
{
    log.insert();
    log.setDate(QStringLiteral("DATE"), now.date());
    log.setString(QStringLiteral("TIME"), DateText::time(now.time()));
    log.setString(QStringLiteral("EVENT"), profile + QLatin1Char(' ') + message);
    log.post();
}

} // namespace cvb
