#include "smtp/SMTPAddress.h"

namespace cvb::smtp {

namespace {

// Removes a leading part that ends at `close` (e.g. a comment "(...)" or a quoted name),
// unless the closing character is the last one or missing.
QString dropLeading(const QString &text, QChar close)
{
    const qsizetype end = text.indexOf(close, 1);
    if (end < 0 || end == text.size() - 1)
        return text;
    return text.mid(end + 1);
}

// Removes a trailing part that begins at `open` (e.g. a comment "(...)" or a quoted name).
QString dropTrailing(const QString &text, QChar open)
{
    const qsizetype begin = text.lastIndexOf(open, text.size() - 2);
    return begin < 0 ? text : text.left(begin);
}

bool isBlank(QChar c)
{
    return c == QLatin1Char(' ') || c == QLatin1Char('\t');
}

QChar closerOf(QChar open)
{
    return open == QLatin1Char('(') ? QLatin1Char(')') : open;
}

} // namespace

QString SenderAddress(const QString &from)
{
    QString value = from.trimmed();
    if (value.startsWith(QLatin1Char('(')))
        value = dropLeading(value, QLatin1Char(')'));
    else if (value.endsWith(QLatin1Char(')')))
        value = dropTrailing(value, QLatin1Char('('));
    if (value.startsWith(QLatin1Char('"')))
        value = dropLeading(value, QLatin1Char('"'));
    else if (value.endsWith(QLatin1Char('"')) && value.size() > 1)
        value = dropTrailing(value, QLatin1Char('"')); // "a@b.org \"A. Person\""
    value = value.trimmed();
    // A display name without quotes before the bracketed address ("A. Person <a@b.org>") is
    // not part of the envelope address.
    const qsizetype bracket = value.lastIndexOf(QLatin1Char('<'));
    if (bracket > 0 && value.endsWith(QLatin1Char('>')))
        value = value.mid(bracket);
    if (value.startsWith(QLatin1Char('<')) || value.endsWith(QLatin1Char('>')))
        return value;
    return QLatin1Char('<') + value + QLatin1Char('>');
}

QStringList ParseRecipients(const QString &entry)
{
    QStringList addresses;
    QString current;
    QString nesting; // the closing characters awaited, innermost last
    bool inAngle = false;
    bool afterAngle = false;
    auto finish = [&] {
        const QString address = current.trimmed();
        if (!address.isEmpty())
            addresses << address;
        current.clear();
        inAngle = false;
        afterAngle = false;
    };
    for (qsizetype i = 0; i < entry.size(); ++i) {
        const QChar c = entry.at(i);
        if (!nesting.isEmpty()) {
            if (c == nesting.back())
                nesting.chop(1);
            else if (c == QLatin1Char('(') || c == QLatin1Char('"'))
                nesting += closerOf(c);
            continue;
        }
        // An apostrophe inside a word (o'brien@example.org) is part of the address; a single
        // quote only opens quoted text at the start of a word.
        const bool wordStart = i == 0 || isBlank(entry.at(i - 1)) || entry.at(i - 1) == QLatin1Char(',');
        if (c == QLatin1Char('(') || c == QLatin1Char('"') || (c == QLatin1Char('\'') && wordStart)) {
            nesting += closerOf(c);
            continue;
        }
        if (c == QLatin1Char(',')) {
            finish();
            continue;
        }
        if (afterAngle)
            continue;
        if (c == QLatin1Char('<')) {
            inAngle = true;
            current.clear();
        } else if (c == QLatin1Char('>') && inAngle) {
            inAngle = false;
            afterAngle = true;
        } else if (inAngle || !isBlank(c) || !current.isEmpty()) {
            current += c;
        }
    }
    finish();
    return addresses;
}

} // namespace cvb::smtp
