// How values are stored in the fixed-width fields of a record.
#pragma once
#include "data/Layouts.h"

#include <QByteArray>
#include <QDate>
#include <QString>

namespace cvb {

// The longest start of `text` whose UTF-8 form fits in `maxBytes` bytes; a character
// is never split.
QString cutToBytes(const QString &text, int maxBytes);

// UTF-8 of `text`, cut to `width` bytes as above and padded with blanks to exactly `width`.
QByteArray encodeText(const QString &text, int width);

// Field bytes as text without trailing blanks (and NULs that some writers pad with).
QString decodeText(const char *bytes, int width);

// T/t/Y/y are true; F/f/N/n/?/blank and anything else false.
bool decodeLogical(char byte);

// Whole number right-aligned in `width` bytes; blank or unreadable bytes give 0.
bool encodeNumber(qint64 value, int width, QByteArray *out);
qint64 decodeNumber(const char *bytes, int width);

// YYYYMMDD; an invalid date is stored blank and blank reads as an invalid date.
QByteArray encodeDate(const QDate &date);
QDate decodeDate(const char *bytes, int width);

// Accepts YYYYMMDD or YYYY-MM-DD; an empty text gives a null date. `ok` is false otherwise.
QDate parseDateText(const QString &text, bool *ok);

// Accepts T/F/Y/N/True/False/Yes/No/1/0 (any case) and blank (false).
bool parseLogicalText(const QString &text, bool *ok);

} // namespace cvb

namespace cvb {

// A new record: not deleted, every field blank except logical fields, which are F.
QByteArray blankRecord(const QList<FieldDef> &fields);

} // namespace cvb
