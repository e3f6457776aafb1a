// corvale-backup --print-log FILE.pdf: the event log's report written as PDF, for people and
// scripts without a display or a printer. It only reads the log, so it also works while the
// program runs on the same database folder.
#pragma once

#include <QString>

class QTextStream;

namespace cvb {

// Why the report must not be written to `pdfPath` (followed through symbolic links): it lies
// inside the database folder `dataFolder`, is a folder, or is a file that is not a PDF (an empty
// file counts as one); an empty string when it may be written.
QString refusedReportTarget(const QString &pdfPath, const QString &dataFolder);

// Writes the report of the log table in `dataFolder` (resolved as --data is) to `pdfPath`.
// Returns the exit status: 0 when the file was written, or when the log is empty (then no file is
// written and `out` says so); 1, with a message naming the file on `err`, when the log cannot be
// read or the PDF cannot be written; 2, with the reason on `err`, when the target is refused
// (refusedReportTarget), before the log is read.
int printLog(const QString &pdfPath, const QString &dataFolder, QTextStream &out, QTextStream &err);

} // namespace cvb
