#include "ftp/ListingParser.h"

#include <QStringView>
#include <cstring>

namespace cvb::ftp {

namespace {

bool isBlank(QChar c)
{
    return c == u' ' || c == u'\t';
}

bool isBlankLine(QStringView line)
{
    for (QChar c : line) {
        if (!isBlank(c))
            return false;
    }
    return true;
}

// True when `c` is one of the ASCII characters of `set`.
bool oneOf(QChar c, const char *set)
{
    return c.unicode() > 0 && c.unicode() < 128 && std::strchr(set, char(c.unicode())) != nullptr;
}

// ASCII digits only (QChar::isDigit would take the digits of other scripts too).
bool allDigits(QStringView text)
{
    if (text.isEmpty())
        return false;
    for (QChar c : text) {
        if (c < u'0' || c > u'9')
            return false;
    }
    return true;
}

// The number a run of digits stands for; -1 when it is no run of digits or does not fit.
qint64 sizeValue(QStringView text)
{
    if (!allDigits(text))
        return -1;
    bool ok = false;
    const qint64 value = text.toLongLong(&ok);
    return ok ? value : -1;
}

// A number of one or two digits.
int smallNumber(QStringView text)
{
    if (text.size() > 2 || !allDigits(text))
        return -1;
    return text.toInt();
}

bool isSelfOrParent(QStringView name)
{
    return name == u"." || name == u"..";
}

// "H:MM" or "HH:MM" with an hour below 24; an invalid time otherwise.
QTime clockTime(QStringView text)
{
    const qsizetype colon = text.indexOf(u':');
    if (colon < 1 || text.size() - colon != 3)
        return {};
    const int hour = smallNumber(text.left(colon));
    const int minute = smallNumber(text.mid(colon + 1));
    if (hour < 0 || minute < 0)
        return {};
    return QTime(hour, minute); // invalid when out of range
}

QDateTime utc(const QDate &date, const QTime &time)
{
    if (!date.isValid() || !time.isValid())
        return {};
    return QDateTime(date, time, Qt::UTC);
}

// Where the blank-separated words of a line begin and end.
struct Word
{
    qsizetype begin = 0;
    qsizetype end = 0;
};

// The first `limit` words of `line`.
QList<Word> leadingWords(QStringView line, int limit)
{
    QList<Word> words;
    qsizetype i = 0;
    while (words.size() < limit) {
        while (i < line.size() && isBlank(line[i]))
            ++i;
        if (i == line.size())
            break;
        Word w;
        w.begin = i;
        while (i < line.size() && !isBlank(line[i]))
            ++i;
        w.end = i;
        words.append(w);
    }
    return words;
}

QStringView wordText(QStringView line, const Word &w)
{
    return line.mid(w.begin, w.end - w.begin);
}

// ---- Unix "ls -l" lines ----

// "drwxr-xr-x", with an ACL or security-context mark ("+", ".", "@") allowed after it.
bool isUnixMode(QStringView word)
{
    if (word.size() == 11) {
        if (!oneOf(word[10], "+.@"))
            return false;
    } else if (word.size() != 10) {
        return false;
    }
    if (!oneOf(word[0], "-dlbcpsD"))
        return false;
    for (int i = 1; i < 10; ++i) {
        if (!oneOf(word[i], "-rwxsStTlL"))
            return false;
    }
    return true;
}

EntryType unixType(QChar modeLetter)
{
    switch (modeLetter.unicode()) {
    case '-':
        return EntryType::File;
    case 'd':
        return EntryType::Folder;
    case 'l':
        return EntryType::Link;
    default:
        return EntryType::Unknown;
    }
}

int monthNumber(QStringView word)
{
    static const char16_t *const names[] = {u"jan", u"feb", u"mar", u"apr", u"may", u"jun",
                                            u"jul", u"aug", u"sep", u"oct", u"nov", u"dec"};
    if (word.size() != 3)
        return 0;
    for (int i = 0; i < 12; ++i) {
        if (word.compare(QStringView(names[i]), Qt::CaseInsensitive) == 0)
            return i + 1;
    }
    return 0;
}

// "major," or "major,minor" of a device file.
bool isDeviceNumbers(QStringView word, bool withMinor)
{
    const qsizetype comma = word.indexOf(u',');
    if (comma < 1 || !allDigits(word.left(comma)))
        return false;
    const QStringView rest = word.mid(comma + 1);
    return withMinor ? allDigits(rest) : rest.isEmpty();
}

// The date of "Mon DD YYYY" or "Mon DD HH:MM"; `shapeOk` tells whether the words have that shape.
// An HH:MM date gets the latest year that puts it no more than three months after `nowUtc`.
QDateTime unixDate(int month, QStringView dayWord, QStringView yearOrTime, const QDateTime &nowUtc,
                   bool &shapeOk)
{
    const int day = smallNumber(dayWord);
    shapeOk = false;
    if (day < 1 || day > 31)
        return {};
    if (yearOrTime.size() == 4 && allDigits(yearOrTime)) {
        shapeOk = true;
        return utc(QDate(yearOrTime.toInt(), month, day), QTime(0, 0));
    }
    const QTime time = clockTime(yearOrTime);
    if (!time.isValid())
        return {};
    shapeOk = true;
    if (!nowUtc.isValid())
        return {};
    const QDateTime latest = nowUtc.addMonths(3);
    const int thisYear = nowUtc.date().year();
    for (int year = thisYear + 1; year >= thisYear - 1; --year) {
        const QDateTime candidate = utc(QDate(year, month, day), time);
        if (candidate.isValid() && candidate <= latest)
            return candidate;
    }
    return {}; // 29 February with no leap year near
}

bool parseUnixLine(QStringView line, const QDateTime &nowUtc, ParsedLine &out)
{
    // mode, at most three of links/owner/group, one or two words of size or device numbers,
    // month, day, year or time: nine words at most before the name.
    const QList<Word> words = leadingWords(line, 9);
    if (words.size() < 5 || words[0].begin != 0 || !isUnixMode(wordText(line, words[0])))
        return false;
    const QChar modeLetter = line[0];
    for (qsizetype m = 3; m + 2 < words.size(); ++m) {
        const int month = monthNumber(wordText(line, words[m]));
        if (month == 0)
            continue;
        // The size column just before the month: a size, "major,minor" or "major, minor".
        const QStringView last = wordText(line, words[m - 1]);
        qsizetype sizeWords = 0;
        qint64 size = -1;
        if (isDeviceNumbers(last, true)) {
            sizeWords = 1;
        } else if (allDigits(last) && isDeviceNumbers(wordText(line, words[m - 2]), false)) {
            sizeWords = 2;
        } else if (allDigits(last)) {
            sizeWords = 1;
            size = sizeValue(last);
        } else {
            continue;
        }
        const qsizetype ownerWords = m - sizeWords - 1; // links, owner, group
        if (ownerWords < 1 || ownerWords > 3)
            continue;
        bool shapeOk = false;
        const QDateTime modified =
            unixDate(month, wordText(line, words[m + 1]), wordText(line, words[m + 2]), nowUtc, shapeOk);
        if (!shapeOk)
            continue;
        // The name follows the one blank after the time column.
        const qsizetype nameStart = words[m + 2].end + 1;
        if (nameStart >= line.size())
            return false;
        QStringView name = line.mid(nameStart);
        ListedEntry &e = out.entry;
        e.type = unixType(modeLetter);
        if (e.type == EntryType::Link) {
            const qsizetype arrow = name.indexOf(u" -> ");
            if (arrow >= 0) {
                e.linkTarget = name.mid(arrow + 4).toString();
                name = name.left(arrow);
            }
        }
        if (name.isEmpty())
            return false;
        e.name = name.toString();
        e.size = size;
        e.modified = modified;
        out.kind = isSelfOrParent(name) ? LineKind::Ignore : LineKind::Entry;
        return true;
    }
    return false;
}

// ---- DOS/IIS lines ----

// "MM-DD-YY" or "MM-DD-YYYY"; a two-digit year below 70 is in the 2000s.
QDate dosDate(QStringView word)
{
    const QList<QStringView> parts = word.split(u'-');
    if (parts.size() != 3)
        return {};
    const int month = smallNumber(parts[0]);
    const int day = smallNumber(parts[1]);
    const QStringView yearText = parts[2];
    if (month < 0 || day < 0 || !allDigits(yearText) || (yearText.size() != 2 && yearText.size() != 4))
        return {};
    int year = yearText.toInt();
    if (yearText.size() == 2)
        year += year < 70 ? 2000 : 1900;
    return QDate(year, month, day);
}

// "15:04", or "03:04PM" / "12:30am" on the twelve-hour clock.
QTime dosTime(QStringView word)
{
    if (word.size() > 2) {
        const QStringView marker = word.right(2);
        const bool am = marker.compare(u"AM", Qt::CaseInsensitive) == 0;
        const bool pm = marker.compare(u"PM", Qt::CaseInsensitive) == 0;
        if (am || pm) {
            const QTime t = clockTime(word.chopped(2));
            if (!t.isValid() || t.hour() < 1 || t.hour() > 12)
                return {};
            return QTime(t.hour() % 12 + (pm ? 12 : 0), t.minute());
        }
    }
    return clockTime(word);
}

bool parseDosLine(QStringView line, ParsedLine &out)
{
    const QList<Word> words = leadingWords(line, 3);
    if (words.size() < 3 || words[0].begin != 0)
        return false;
    const QDate date = dosDate(wordText(line, words[0]));
    const QTime time = dosTime(wordText(line, words[1]));
    if (!date.isValid() || !time.isValid())
        return false;
    const QStringView third = wordText(line, words[2]);
    ListedEntry &e = out.entry;
    qsizetype nameStart = words[2].end + 1; // a size is followed by one blank
    if (third == u"<DIR>") {
        e.type = EntryType::Folder;
        // The column after <DIR> is padded: a folder name begins at its first non-blank.
        nameStart = words[2].end;
        while (nameStart < line.size() && isBlank(line[nameStart]))
            ++nameStart;
    } else if (allDigits(third)) {
        e.type = EntryType::File;
        e.size = sizeValue(third);
    } else {
        return false;
    }
    if (nameStart >= line.size())
        return false;
    const QStringView name = line.mid(nameStart);
    e.name = name.toString();
    e.modified = utc(date, time);
    out.kind = isSelfOrParent(name) ? LineKind::Ignore : LineKind::Entry;
    return true;
}

// "total 12" (some servers add a unit: "total 12K").
bool isTotalLine(QStringView line)
{
    if (!line.startsWith(u"total") || line.size() < 7 || !isBlank(line[5]))
        return false;
    QStringView number = line.mid(6).trimmed();
    if (!number.isEmpty() && oneOf(number.back(), "KMGkmg"))
        number.chop(1);
    return allDigits(number);
}

// ---- MLSD ----

EntryType mlsdType(QStringView value, QString &linkTarget, bool &ignore)
{
    static constexpr QStringView slink = u"os.unix=slink:";
    if (value.compare(u"file", Qt::CaseInsensitive) == 0)
        return EntryType::File;
    if (value.compare(u"dir", Qt::CaseInsensitive) == 0)
        return EntryType::Folder;
    if (value.compare(u"cdir", Qt::CaseInsensitive) == 0 ||
        value.compare(u"pdir", Qt::CaseInsensitive) == 0) {
        ignore = true;
        return EntryType::Unknown;
    }
    if (value.compare(u"os.unix=symlink", Qt::CaseInsensitive) == 0 ||
        value.compare(u"os.unix=slink", Qt::CaseInsensitive) == 0)
        return EntryType::Link;
    if (value.startsWith(slink, Qt::CaseInsensitive)) {
        linkTarget = value.mid(slink.size()).toString();
        return EntryType::Link;
    }
    return EntryType::Unknown;
}

template <typename Parse> Listing parseLines(const QStringList &lines, Parse parse)
{
    Listing listing;
    for (const QString &line : lines) {
        ParsedLine parsed = parse(line);
        if (parsed.kind == LineKind::Entry)
            listing.entries.append(std::move(parsed.entry));
        else if (parsed.kind == LineKind::Unparsed)
            listing.allParsed = false;
    }
    return listing;
}

} // namespace

ParsedLine parseMlsdLine(const QString &line)
{
    ParsedLine out;
    if (isBlankLine(line)) {
        out.kind = LineKind::Ignore;
        return out;
    }
    // "facts; name", or " name" for a server that gives no facts.
    QStringView facts;
    qsizetype nameStart = 1;
    if (!line.startsWith(u' ')) {
        const qsizetype end = line.indexOf(u"; ");
        if (end < 0)
            return out;
        facts = QStringView(line).left(end);
        nameStart = end + 2;
    }
    if (nameStart >= line.size())
        return out;
    ListedEntry &e = out.entry;
    bool ignore = false;
    for (QStringView fact : facts.split(u';', Qt::SkipEmptyParts)) {
        const qsizetype eq = fact.indexOf(u'=');
        if (eq < 1)
            return out;
        const QStringView name = fact.left(eq);
        const QStringView value = fact.mid(eq + 1);
        if (name.compare(u"type", Qt::CaseInsensitive) == 0) {
            e.type = mlsdType(value, e.linkTarget, ignore);
        } else if (name.compare(u"size", Qt::CaseInsensitive) == 0) {
            e.size = sizeValue(value);
        } else if (name.compare(u"modify", Qt::CaseInsensitive) == 0) {
            e.modified = parseFactTime(value.toString());
            e.modifiedExact = e.modified.isValid();
        }
    }
    e.name = line.mid(nameStart);
    out.kind = ignore || isSelfOrParent(e.name) ? LineKind::Ignore : LineKind::Entry;
    return out;
}

ParsedLine parseListLine(const QString &line, const QDateTime &nowUtc)
{
    ParsedLine out;
    if (isBlankLine(line) || isTotalLine(line)) {
        out.kind = LineKind::Ignore;
        return out;
    }
    if (parseUnixLine(line, nowUtc, out) || parseDosLine(line, out))
        return out;
    return ParsedLine{};
}

Listing parseMlsd(const QStringList &lines)
{
    return parseLines(lines, [](const QString &line) { return parseMlsdLine(line); });
}

Listing parseList(const QStringList &lines, const QDateTime &nowUtc)
{
    return parseLines(lines, [&nowUtc](const QString &line) { return parseListLine(line, nowUtc); });
}

ServerFeatures parseFeatures(const QList<QByteArray> &replyLines)
{
    ServerFeatures f;
    // Only a multi-line 211 reply lists features; "211 no features" or an error lists none.
    if (replyLines.isEmpty() || !replyLines.first().startsWith("211-"))
        return f;
    for (qsizetype i = 1; i < replyLines.size(); ++i) {
        QByteArray line = replyLines[i];
        if (line.startsWith("211 ") || line.trimmed() == "211")
            break;
        if (line.startsWith("211-")) // some servers lead every line with the code
            line = line.mid(4);
        line = line.trimmed();
        if (line.isEmpty())
            continue;
        const qsizetype blank = line.indexOf(' ');
        const QString word = QString::fromLatin1(blank < 0 ? line : line.left(blank)).toUpper();
        const QString params = blank < 0 ? QString() : QString::fromUtf8(line.mid(blank + 1)).trimmed();
        if (word == u"MLST") {
            f.mlsd = true;
            for (const QString &fact : params.split(u';', Qt::SkipEmptyParts)) {
                QString name = fact.trimmed().toLower();
                name.remove(u'*');
                if (!name.isEmpty() && !f.mlstFacts.contains(name))
                    f.mlstFacts.append(name);
            }
        } else if (word == u"MLSD") {
            f.mlsd = true;
        } else if (word == u"EPSV") {
            f.epsv = true;
        } else if (word == u"REST" && params.compare(u"STREAM", Qt::CaseInsensitive) == 0) {
            f.restStream = true;
        } else if (word == u"MDTM") {
            f.mdtm = true;
        } else if (word == u"SIZE") {
            f.size = true;
        } else if (word == u"UTF8") {
            f.utf8 = true;
        } else if (word == u"HASH") {
            for (const QString &entry : params.split(u';', Qt::SkipEmptyParts)) {
                QString name = entry.trimmed().toUpper();
                const bool isDefault = name.endsWith(u'*');
                name.remove(u'*');
                if (name.isEmpty())
                    continue;
                if (!f.hashes.contains(name))
                    f.hashes.append(name);
                if (isDefault)
                    f.hashDefault = name;
            }
        } else if (!f.otherCommands.contains(word)) {
            f.otherCommands.append(word);
        }
    }
    return f;
}

QDateTime parseMdtmReply(const QByteArray &line)
{
    if (!line.startsWith("213 "))
        return {};
    return parseFactTime(QString::fromLatin1(line.mid(4).trimmed()));
}

QDateTime parseFactTime(const QString &value)
{
    const QStringView text(value);
    if (text.size() < 14 || !allDigits(text.left(14)))
        return {};
    if (text.size() > 14 && (text[14] != u'.' || !allDigits(text.mid(15))))
        return {};
    const auto number = [&text](qsizetype from, qsizetype length) { return text.mid(from, length).toInt(); };
    return utc(QDate(number(0, 4), number(4, 2), number(6, 2)),
               QTime(number(8, 2), number(10, 2), number(12, 2)));
}

} // namespace cvb::ftp
