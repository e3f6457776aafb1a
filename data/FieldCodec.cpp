#include "data/FieldCodec.h"

namespace cvb {

QString cutToBytes(const QString &text, int maxBytes)
{
    const QByteArray utf8 = text.toUtf8();
    if (utf8.size() <= maxBytes)
        return text;
    int end = maxBytes;
    // Step back over continuation bytes (10xxxxxx) to the start of the character that does not fit.
    while (end > 0 && (static_cast<unsigned char>(utf8[end]) & 0xC0) == 0x80)
        --end;
    return QString::fromUtf8(utf8.left(end));
}

QByteArray encodeText(const QString &text, int width)
{
    QByteArray bytes = cutToBytes(text, width).toUtf8();
    bytes.append(width - bytes.size(), ' ');
    return bytes;
}

QString decodeText(const char *bytes, int width)
{
    int end = width;
    while (end > 0 && (bytes[end - 1] == ' ' || bytes[end - 1] == '\0'))
        --end;
    return QString::fromUtf8(bytes, end);
}

bool decodeLogical(char byte)
{
    return byte == 'T' || byte == 't' || byte == 'Y' || byte == 'y';
}

bool encodeNumber(qint64 value, int width, QByteArray *out)
{
    const QByteArray digits = QByteArray::number(value);
    if (digits.size() > width)
        return false;
    *out = QByteArray(width - digits.size(), ' ') + digits;
    return true;
}

qint64 decodeNumber(const char *bytes, int width)
{
    bool ok = false;
    const qint64 value = QByteArray(bytes, width).trimmed().toLongLong(&ok);
    if (ok)
        return value;
    // Some writers store decimals even in whole-number fields.
    const double real = QByteArray(bytes, width).trimmed().toDouble(&ok);
    return ok ? static_cast<qint64>(real) : 0;
}

QByteArray encodeDate(const QDate &date)
{
    if (!date.isValid() || date.year() < 1 || date.year() > 9999)
        return QByteArray(8, ' ');
    return date.toString(QStringLiteral("yyyyMMdd")).toLatin1();
}

QDate decodeDate(const char *bytes, int width)
{
    const QByteArray text = QByteArray(bytes, width).trimmed();
    if (text.size() != 8)
        return {};
    return QDate::fromString(QString::fromLatin1(text), QStringLiteral("yyyyMMdd"));
}

QDate parseDateText(const QString &text, bool *ok)
{
    const QString t = text.trimmed();
    *ok = true;
    if (t.isEmpty())
        return {};
    QDate date = QDate::fromString(t, QStringLiteral("yyyyMMdd"));
    if (!date.isValid())
        date = QDate::fromString(t, QStringLiteral("yyyy-MM-dd"));
    *ok = date.isValid();
    return date;
}

bool parseLogicalText(const QString &text, bool *ok)
{
    const QString t = text.trimmed().toLower();
    *ok = true;
    if (t == QLatin1String("t") || t == QLatin1String("true") || t == QLatin1String("y") ||
        t == QLatin1String("yes") || t == QLatin1String("1"))
        return true;
    if (t.isEmpty() || t == QLatin1String("f") || t == QLatin1String("false") || t == QLatin1String("n") ||
        t == QLatin1String("no") || t == QLatin1String("0") || t == QLatin1String("?"))
        return false;
    *ok = false;
    return false;
}

} // namespace cvb

namespace cvb {

QByteArray blankRecord(const QList<FieldDef> &fields)
{
    QByteArray record(1, ' ');
    for (const FieldDef &f : fields)
        record.append(f.width, f.type == FieldType::Logical ? 'F' : ' ');
    return record;
}

} // namespace cvb
