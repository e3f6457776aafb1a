// The lines of the schedule overview: one line per active profile telling when it runs next, read
// from the profile's next-run text ("1 " date "|" time for a daily run, "2 " time for an hourly one).
#pragma once

#include <QString>
#include <QStringList>

namespace cvb {

class Table;

// The line for one profile and its next-run text. A daily time of exactly 8 characters gets " AM"
// appended; an hourly time that begins with "00" shows "12" in their place.
QString scheduleLine(const QString &profile, const QString &performIn);

// Goes to the first row of `profiles` (an open cursor on the profiles table), filters it to the
// active profiles and returns their lines in the cursor's order. The filter stays on.
QStringList activeScheduleLines(Table &profiles);

} // namespace cvb
