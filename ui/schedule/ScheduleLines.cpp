#include "ui/schedule/ScheduleLines.h"

#include "data/Table.h"

namespace cvb {

QString scheduleLine(const QString &profile, const QString &performIn)
{
    const QString head = QStringLiteral("Profile ") + profile + QStringLiteral(" is next scheduled to run ");
    if (performIn.startsWith(QLatin1Char('1'))) {
        // The date runs from the third character up to the first "|" at or after the second one.
        const qsizetype bar = performIn.indexOf(QLatin1Char('|'), 1);
        // Without a "|" the value is damaged: show what follows the kind as the date, no time.
        const QString date = bar < 0 ? performIn.mid(2) : performIn.mid(2, bar - 2);
        QString time = bar < 0 ? QString() : performIn.mid(bar + 1);
        if (time.size() == 8)
            time += QStringLiteral(" AM");
        return head + QStringLiteral("on ") + date + QStringLiteral(" at ") + time;
    }
    QString time = performIn.mid(2);
    if (time.startsWith(QLatin1String("00")))
        time.replace(0, 2, QStringLiteral("12"));
    return head + QStringLiteral("at ") + time;
}

QStringList activeScheduleLines(Table &profiles)
{
    profiles.first();
    profiles.setFilter(QStringLiteral("ACTIVE=True"));
    profiles.setFiltered(true);
    QStringList lines;
    for (profiles.first(); !profiles.eof(); profiles.next())
        lines << scheduleLine(profiles.asString(QStringLiteral("PROFILE")),
                              profiles.asString(QStringLiteral("PERFORM_IN")));
    return lines;
}

} // namespace cvb
