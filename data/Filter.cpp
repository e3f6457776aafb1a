#include "data/Filter.h"

#include "data/DataError.h"
#include "data/FieldCodec.h"

namespace cvb {

QString quoteFilterText(const QString &text)
{
    QString quoted = text;
    quoted.replace(QLatin1Char('\''), QStringLiteral("''"));
    return QLatin1Char('\'') + quoted + QLatin1Char('\'');
}

QString profileFilter(const QString &profileName)
{
    return QStringLiteral("PROFILE=") + quoteFilterText(profileName);
}

Condition::Condition(const QList<FieldDef> &fields, const QString &field, const QString &value)
{
    const QByteArray wanted = field.trimmed().toUpper().toLatin1();
    int offset = 1;
    int index = -1;
    for (int i = 0; i < fields.size(); ++i) {
        if (fields[i].name == wanted) {
            index = i;
            break;
        }
        offset += fields[i].width;
    }
    if (index < 0)
        throw DataError(QStringLiteral("Field '%1' not found").arg(field));
    m_field = fields[index];
    m_offset = offset;
    bool ok = true;
    switch (m_field.type) {
    case FieldType::Character:
        m_text = cutToBytes(value, m_field.width).toUtf8();
        while (m_text.endsWith(' '))
            m_text.chop(1);
        break;
    case FieldType::Logical:
        m_flag = parseLogicalText(value, &ok);
        break;
    case FieldType::Numeric:
        m_number = value.trimmed().toLongLong(&ok);
        break;
    case FieldType::Date:
        m_text = encodeDate(parseDateText(value, &ok));
        break;
    }
    if (!ok)
        throw DataError(
            QStringLiteral("'%1' is not a value for field %2").arg(value, describeField(m_field)));
}

bool Condition::matches(const char *record) const
{
    const char *bytes = record + m_offset;
    switch (m_field.type) {
    case FieldType::Character: {
        int end = m_field.width;
        while (end > 0 && (bytes[end - 1] == ' ' || bytes[end - 1] == '\0'))
            --end;
        return end == m_text.size() && std::equal(bytes, bytes + end, m_text.constData());
    }
    case FieldType::Logical:
        return decodeLogical(bytes[0]) == m_flag;
    case FieldType::Numeric:
        return decodeNumber(bytes, m_field.width) == m_number;
    case FieldType::Date:
        return encodeDate(decodeDate(bytes, m_field.width)) == m_text;
    }
    return false;
}

namespace {

[[noreturn]] void notUnderstood(const QString &expression, const QString &why)
{
    throw DataError(QStringLiteral("Filter expression \"%1\" is not understood: %2").arg(expression, why));
}

// The text inside a quoted literal, where a doubled quote stands for one.
QString unquote(const QString &expression, const QString &literal)
{
    const QChar quote = literal.front();
    QString text;
    int i = 1;
    for (; i < literal.size(); ++i) {
        if (literal[i] != quote) {
            text += literal[i];
            continue;
        }
        if (i + 1 < literal.size() && literal[i + 1] == quote) {
            text += quote;
            ++i;
            continue;
        }
        break;
    }
    if (i >= literal.size())
        notUnderstood(expression, QStringLiteral("the quoted text has no closing quote"));
    if (i != literal.size() - 1)
        notUnderstood(expression, QStringLiteral("unexpected text after the closing quote"));
    return text;
}

} // namespace

Condition parseFilter(const QList<FieldDef> &fields, const QString &expression)
{
    const int equals = expression.indexOf(QLatin1Char('='));
    if (equals < 0)
        notUnderstood(expression, QStringLiteral("expected FIELD=value"));
    const QString field = expression.left(equals).trimmed();
    const QString literal = expression.mid(equals + 1).trimmed();
    if (field.isEmpty() || literal.isEmpty())
        notUnderstood(expression, QStringLiteral("expected FIELD=value"));
    const bool quoted = literal.front() == QLatin1Char('\'') || literal.front() == QLatin1Char('"');
    const QString value = quoted ? unquote(expression, literal) : literal;
    try {
        return Condition(fields, field, value);
    } catch (const DataError &e) {
        notUnderstood(expression, e.message());
    }
}

} // namespace cvb
