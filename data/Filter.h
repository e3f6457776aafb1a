// Filter expressions of the form FIELD=value, and the equality test shared by
// filters and locate.
#pragma once
#include "data/Layouts.h"

#include <QByteArray>
#include <QList>
#include <QString>

namespace cvb {

// Builds the filter "PROFILE='name'" for a profile name; a single quote inside the
// name is written twice, as in "PROFILE='Bob''s site'".
QString profileFilter(const QString &profileName);

// Quotes a text for a filter expression: 'text' with every ' doubled.
QString quoteFilterText(const QString &text);

// "field equals value" on raw records of a table.
class Condition
{
public:
    Condition() = default;
    // `value` is compared as the field's type reads it: text without trailing blanks
    // (the value cut to the field's width as a write would cut it), a logical value
    // (True/False/T/F/Y/N), a whole number or a date (YYYYMMDD or YYYY-MM-DD).
    // Raises DataError for an unknown field or a value the field cannot hold.
    Condition(const QList<FieldDef> &fields, const QString &field, const QString &value);

    bool matches(const char *record) const;

private:
    FieldDef m_field;
    int m_offset = 0;
    QByteArray m_text; // encoded as stored, for text and date fields
    bool m_flag = false;
    qint64 m_number = 0;
};

// Parses "FIELD=literal" where literal is 'quoted text' (with '' for a quote),
// "double-quoted text", True/False or a number. Blanks around the parts are allowed.
// Raises DataError naming the expression when it is not understood.
Condition parseFilter(const QList<FieldDef> &fields, const QString &expression);

} // namespace cvb
