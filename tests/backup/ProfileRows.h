// The log rows of one profile among all the rows of the log.
#pragma once

#include <QString>
#include <QStringList>

namespace cvb::test {

// The EVENTs that begin with `profile` and a blank, without them, in order.
inline QStringList rowsOfProfile(const QStringList &events, const QString &profile)
{
    QStringList rows;
    for (const QString &row : events) {
        if (row.startsWith(profile + QLatin1Char(' ')))
            rows << row.mid(profile.size() + 1);
    }
    return rows;
}

} // namespace cvb::test
