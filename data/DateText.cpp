#include "data/DateText.h"

#include "data/Clock.h"

#include <QLocale>
#include <QStringList>
#include <QtGlobal>
#include <algorithm>
#include <optional>

namespace cvb {

namespace {

// Blanks that some locales put into their forms; the program's texts use plain spaces.
QString plainSpaces(QString text)
{
    text.replace(QChar(0x00A0), QLatin1Char(' '));
    text.replace(QChar(0x202F), QLatin1Char(' '));
    return text;
}

// A pattern split into its fields (runs of one pattern letter, "AP"/"ap" as one) and literals.
struct PatternPart
{
    bool field = false;
    QString text;
};

bool isPatternLetter(QChar c)
{
    return QStringLiteral("dMyhHmszaApPt").contains(c);
}

QList<PatternPart> splitPattern(const QString &pattern)
{
    QList<PatternPart> parts;
    auto literal = [&parts](const QString &text) {
        if (!parts.isEmpty() && !parts.last().field)
            parts.last().text += text;
        else
            parts.append({false, text});
    };
    for (qsizetype i = 0; i < pattern.size();) {
        const QChar c = pattern[i];
        if (c == QLatin1Char('\'')) {
            qsizetype j = i + 1;
            QString text;
            while (j < pattern.size()) {
                if (pattern[j] == QLatin1Char('\'')) {
                    if (j + 1 < pattern.size() && pattern[j + 1] == QLatin1Char('\'')) {
                        text += QLatin1Char('\'');
                        j += 2;
                        continue;
                    }
                    break;
                }
                text += pattern[j++];
            }
            literal(text.isEmpty() && j == i + 1 ? QStringLiteral("'") : text);
            i = j + 1;
        } else if (isPatternLetter(c)) {
            qsizetype j = i + 1;
            if ((c == QLatin1Char('A') || c == QLatin1Char('a')) && j < pattern.size() &&
                pattern[j].toLower() == QLatin1Char('p'))
                ++j;
            else
                while (j < pattern.size() && pattern[j] == c)
                    ++j;
            parts.append({true, pattern.mid(i, j - i)});
            i = j;
        } else {
            literal(QString(c));
            ++i;
        }
    }
    return parts;
}

// The long-time pattern without its time-zone fields and the blanks before them.
QString withoutZone(const QString &pattern)
{
    QString out;
    bool quoted = false;
    for (qsizetype i = 0; i < pattern.size(); ++i) {
        const QChar c = pattern[i];
        if (c == QLatin1Char('\''))
            quoted = !quoted;
        if (!quoted && c == QLatin1Char('t')) {
            while (!out.isEmpty() && out.back().isSpace())
                out.chop(1);
            continue;
        }
        out += c;
    }
    return out.trimmed();
}

enum class DatePart { Day, Month, Year };

struct Forms
{
    QLocale locale = QLocale::system();
    QString shortDate;
    QString longTime;
    QList<DatePart> dateOrder;  // the order of day, month and year in the short date
    QStringList timeSeparators; // literals between hour, minute and second
    QStringList dateLiterals;   // literal words of the short date (e.g. "de")
    QStringList markers[2];     // texts that mean AM and PM, longest first
};

Forms makeForms()
{
    Forms f;
    const QString shortDate = qEnvironmentVariable("CVB_SHORTDATE");
    const QString longTime = qEnvironmentVariable("CVB_LONGTIME");
    f.shortDate = plainSpaces(shortDate.isEmpty() ? f.locale.dateFormat(QLocale::ShortFormat) : shortDate);
    f.longTime =
        plainSpaces(withoutZone(longTime.isEmpty() ? f.locale.timeFormat(QLocale::LongFormat) : longTime));

    for (const PatternPart &part : splitPattern(f.shortDate)) {
        if (!part.field) {
            const QString word = part.text.trimmed();
            if (!word.isEmpty())
                f.dateLiterals.append(word);
            continue;
        }
        const QChar c = part.text[0];
        DatePart kind;
        if (c == QLatin1Char('d') && part.text.size() <= 2)
            kind = DatePart::Day;
        else if (c == QLatin1Char('M'))
            kind = DatePart::Month;
        else if (c == QLatin1Char('y'))
            kind = DatePart::Year;
        else
            continue;
        if (!f.dateOrder.contains(kind))
            f.dateOrder.append(kind);
    }
    if (f.dateOrder.size() != 3)
        f.dateOrder = {DatePart::Month, DatePart::Day, DatePart::Year};

    f.timeSeparators.append(QStringLiteral(":"));
    for (const PatternPart &part : splitPattern(f.longTime)) {
        const QString word = part.text.trimmed();
        if (!part.field && !word.isEmpty() && !f.timeSeparators.contains(word))
            f.timeSeparators.append(word);
    }

    const QString am = plainSpaces(f.locale.amText()).trimmed();
    const QString pm = plainSpaces(f.locale.pmText()).trimmed();
    f.markers[0] = {am, QStringLiteral("AM"), QStringLiteral("A")};
    f.markers[1] = {pm, QStringLiteral("PM"), QStringLiteral("P")};
    for (QStringList &list : f.markers) {
        list.removeAll(QString());
        list.removeDuplicates();
        std::stable_sort(list.begin(), list.end(),
                         [](const QString &a, const QString &b) { return a.size() > b.size(); });
    }
    return f;
}

std::optional<Forms> &cache()
{
    static std::optional<Forms> forms;
    return forms;
}

const Forms &forms()
{
    std::optional<Forms> &f = cache();
    if (!f)
        f = makeForms();
    return *f;
}

// Reads a run of decimal digits at `pos` (at most `maxDigits`); -1 when there is none.
int readNumber(QStringView text, qsizetype &pos, int maxDigits, int *digits = nullptr)
{
    int value = 0;
    int count = 0;
    while (pos < text.size() && count < maxDigits && text[pos].isDigit() && text[pos].unicode() < 128) {
        value = value * 10 + (text[pos].unicode() - '0');
        ++pos;
        ++count;
    }
    if (digits)
        *digits = count;
    return count == 0 ? -1 : value;
}

// Takes an AM/PM marker off the front or the back of `text`: 0 for AM, 1 for PM, -1 for none.
int takeMarker(QStringView &text, const Forms &f)
{
    for (int which = 0; which < 2; ++which) {
        for (const QString &marker : f.markers[which]) {
            if (text.size() > marker.size() && text.endsWith(marker, Qt::CaseInsensitive) &&
                !text[text.size() - marker.size() - 1].isLetter()) {
                text = text.first(text.size() - marker.size()).trimmed();
                return which;
            }
            if (text.size() > marker.size() && text.startsWith(marker, Qt::CaseInsensitive) &&
                !text[marker.size()].isLetter()) {
                text = text.sliced(marker.size()).trimmed();
                return which;
            }
        }
    }
    return -1;
}

// Skips the separator between two numbers of a time; false when it is not one.
bool skipTimeSeparator(QStringView text, qsizetype &pos, const Forms &f)
{
    qsizetype end = pos;
    while (end < text.size() && !text[end].isDigit())
        ++end;
    const QStringView separator = text.sliced(pos, end - pos).trimmed();
    pos = end;
    return std::any_of(f.timeSeparators.cbegin(), f.timeSeparators.cend(),
                       [separator](const QString &known) { return separator == known; });
}

int monthFromName(QStringView word, const Forms &f)
{
    for (int month = 1; month <= 12; ++month) {
        for (QLocale::FormatType type : {QLocale::LongFormat, QLocale::ShortFormat}) {
            if (word.compare(f.locale.monthName(month, type), Qt::CaseInsensitive) == 0 ||
                word.compare(f.locale.standaloneMonthName(month, type), Qt::CaseInsensitive) == 0)
                return month;
        }
    }
    return 0;
}

bool isDayName(QStringView word, const Forms &f)
{
    for (int day = 1; day <= 7; ++day)
        for (QLocale::FormatType type : {QLocale::LongFormat, QLocale::ShortFormat})
            if (word.compare(f.locale.dayName(day, type), Qt::CaseInsensitive) == 0)
                return true;
    return false;
}

// The year of a two-digit year text: the one within fifty years of the clock's today.
int fullYear(int twoDigits)
{
    const int current = Clock::today().year();
    int year = current - current % 100 + twoDigits;
    if (year > current + 49)
        year -= 100;
    else if (year < current - 50)
        year += 100;
    return year;
}

} // namespace

QString DateText::shortDatePattern()
{
    return forms().shortDate;
}

QString DateText::longTimePattern()
{
    return forms().longTime;
}

QString DateText::date(const QDate &date)
{
    const Forms &f = forms();
    return plainSpaces(f.locale.toString(date, f.shortDate));
}

QString DateText::time(const QTime &time)
{
    const Forms &f = forms();
    return plainSpaces(f.locale.toString(time, f.longTime));
}

QString DateText::moment(const QDateTime &moment)
{
    return date(moment.date()) + QLatin1Char(' ') + time(moment.time());
}

QTime DateText::parseTime(QStringView text)
{
    const Forms &f = forms();
    QString cleaned;
    if (text.contains(QChar(0x00A0)) || text.contains(QChar(0x202F))) {
        cleaned = plainSpaces(text.toString());
        text = cleaned;
    }
    text = text.trimmed();
    const int marker = takeMarker(text, f);

    qsizetype pos = 0;
    int hour = readNumber(text, pos, 2);
    if (hour < 0 || !skipTimeSeparator(text, pos, f))
        return {};
    const int minute = readNumber(text, pos, 2);
    if (minute < 0)
        return {};
    int second = 0;
    if (pos < text.size()) {
        if (!skipTimeSeparator(text, pos, f))
            return {};
        if (pos < text.size()) {
            second = readNumber(text, pos, 2);
            // Only a closing literal of the form (a unit after the seconds) may follow.
            if (pos < text.size() && (!skipTimeSeparator(text, pos, f) || pos < text.size()))
                return {};
        }
    }
    if (marker >= 0) {
        if (hour > 12)
            return {};
        hour = hour % 12 + (marker == 1 ? 12 : 0);
    }
    if (hour > 23 || minute > 59 || second > 59)
        return {};
    return QTime(hour, minute, second);
}

QDate DateText::parseDate(QStringView text)
{
    const Forms &f = forms();
    int values[3] = {0, 0, 0};
    bool twoDigitYear = false;
    int count = 0;
    for (qsizetype pos = 0; pos < text.size();) {
        const QChar c = text[pos];
        if (c.isDigit()) {
            int digits = 0;
            const int value = readNumber(text, pos, 4, &digits);
            if (count == 3 || (pos < text.size() && text[pos].isDigit()))
                return {};
            if (f.dateOrder[count] == DatePart::Year)
                twoDigitYear = digits <= 2;
            values[count++] = value;
        } else if (c.isLetter()) {
            qsizetype end = pos;
            while (end < text.size() && text[end].isLetter())
                ++end;
            const QStringView word = text.sliced(pos, end - pos);
            pos = end;
            if (const int month = monthFromName(word, f)) {
                if (count == 3 || f.dateOrder[count] != DatePart::Month)
                    return {};
                values[count++] = month;
            } else if (!isDayName(word, f) && !f.dateLiterals.contains(word.toString())) {
                return {};
            }
        } else {
            ++pos;
        }
    }
    if (count != 3)
        return {};
    int day = 0, month = 0, year = 0;
    for (int i = 0; i < 3; ++i) {
        switch (f.dateOrder[i]) {
        case DatePart::Day:
            day = values[i];
            break;
        case DatePart::Month:
            month = values[i];
            break;
        case DatePart::Year:
            year = twoDigitYear ? fullYear(values[i]) : values[i];
            break;
        }
    }
    const QDate date(year, month, day);
    return date.isValid() ? date : QDate();
}

void DateText::reload()
{
    cache() = makeForms();
}

} // namespace cvb
