// One row of the event log, written the same way by every log writer of the program (the main
// window's EventLog and the backup window's BackupLog).
#pragma once

#include <QDateTime>
#include <QString>

namespace cvb {

class Table;

// Inserts a row through `log`, an open cursor on the log table, and posts it at once: DATE is the
// clock's today, TIME the time text of the same moment, EVENT the profile name, one blank and the
// message. EVENT is cut to its field width by the table, never inside a character. Table errors
// are not caught: they end the caller's operation.
void writeLogRow(Table &log, const QString &profile, const QString &message);
// The same, at the moment `now` (local time) read by the caller.
void writeLogRow(Table &log, const QString &profile, const QString &message, const QDateTime &now);

} // namespace cvb
