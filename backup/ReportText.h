// The texts of the report mail that a backup window sends when its profile asks for one.
#pragma once

#include "data/Vendor.h"

#include <QString>
#include <QStringList>

namespace cvb {

// One line of a detailed report: date text, time text and the log message.
QString reportDetailLine(const QString &dateText, const QString &timeText, const QString &message);

// The summary line: date text, time text and the outcome.
// `vanished`: files that were listed and gone from the server before they could be fetched; a
// backup complete but for them says so.
QString reportSummaryLine(const QString &dateText, const QString &timeText, bool backupOk, int vanished = 0);

// What follows the detail lines: the summary line, for a failed backup the line that points to
// the logs, then a line with one blank and the two closing lines.
QStringList reportClosingLines(const QString &summaryLine, bool backupOk);

QString reportSubject(const QString &profileName);

} // namespace cvb
