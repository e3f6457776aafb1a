#include "scheduler/ScheduleRules.h"

#include "data/Clock.h"
#include "data/DateText.h"

namespace cvb {

namespace {

bool isAsciiDigit(QChar c)
{
    return c >= QLatin1Char('0') && c <= QLatin1Char('9');
}

int twoDigits(const QString &text, int at)
{
    return (text[at].unicode() - '0') * 10 + (text[at + 1].unicode() - '0');
}

// The wizard writes TIME as "hh:mm am" or "hh:mm pm" with an hour from 01 to 12.
bool inWizardForm(const QString &time)
{
    if (time.size() < 7 || !isAsciiDigit(time[0]) || !isAsciiDigit(time[1]) || time[2] != QLatin1Char(':') ||
        !isAsciiDigit(time[3]) || !isAsciiDigit(time[4]))
        return false;
    const QChar half = time[6].toLower();
    return twoDigits(time, 0) <= 12 && twoDigits(time, 3) <= 59 &&
           (half == QLatin1Char('a') || half == QLatin1Char('p'));
}

NextRun readNextRun(QStringView text, bool forCatchUp)
{
    NextRun run;
    if (text.isEmpty())
        return run;
    QStringView timeText;
    if (text[0] == QLatin1Char('1')) {
        // The monitor looks for the "|" from the second character, the catch-up from the third.
        const qsizetype bar = text.indexOf(QLatin1Char('|'), forCatchUp ? 2 : 1);
        if (bar < 0)
            return run;
        run.date = DateText::parseDate(bar > 2 ? text.sliced(2, bar - 2) : QStringView());
        timeText = text.sliced(bar + 1);
        if (!run.date.isValid())
            return run;
        run.form = NextRun::Form::Daily;
    } else {
        timeText = text.size() > 2 ? text.sliced(2) : QStringView();
        run.form = NextRun::Form::Hourly;
    }
    if (forCatchUp)
        timeText = timeText.first(std::min<qsizetype>(timeText.size(), 11));
    run.time = DateText::parseTime(timeText);
    if (!run.time.isValid())
        return NextRun{};
    return run;
}

} // namespace

int dailyOffset(int weekday, const std::array<bool, 7> &days, bool includeToday)
{
    int offset = 0;
    if (weekday < 7) {
        for (int day = includeToday ? weekday : weekday + 1; day <= 7; ++day) {
            if (days[day - 1]) {
                offset = day - weekday;
                break;
            }
        }
    }
    if (offset == 0 && !includeToday) {
        for (int day = 1; day <= 7; ++day) {
            if (days[day - 1]) {
                offset = day - weekday + 7;
                break;
            }
        }
    }
    if (offset == 0 && !includeToday)
        offset = 7;
    return offset;
}

QString dailyTimeText(const QString &time)
{
    if (!inWizardForm(time)) {
        // Not the wizard's form (edited by hand): a time that reads as one still serves.
        const QTime read = DateText::parseTime(time);
        return read.isValid() ? DateText::time(QTime(read.hour(), read.minute())) : QString();
    }
    const QString hourMinute = time.left(5);
    const bool morning = time[6].toLower() == QLatin1Char('a');
    const bool twelve = hourMinute.startsWith(QLatin1String("12"));
    if (morning)
        return (twelve ? QStringLiteral("00") + hourMinute.mid(2) : hourMinute) + QStringLiteral(":00");
    if (twelve)
        return hourMinute + QStringLiteral(":00");
    return DateText::time(QTime(twoDigits(time, 0) + 12, twoDigits(time, 3)));
}

QString hourlyTimeText(int hour, int interval)
{
    const int hours = (hour + std::max(interval, 1)) % 24;
    if (hours == 0)
        return QStringLiteral("00:00:00");
    return DateText::time(QTime(hours, 0));
}

QString ComputeNextRun(const ProfileSchedule &schedule, bool includeToday)
{
    const QDateTime now = Clock::now();
    if (!schedule.kind.startsWith(QLatin1Char('D')))
        return QStringLiteral("2 ") + hourlyTimeText(now.time().hour(), schedule.interval);

    const QString timeText = dailyTimeText(schedule.time);
    if (timeText.isEmpty())
        return {};
    const QDate today = now.date();
    const int weekday = today.dayOfWeek() % 7 + 1; // Qt: 1 = Monday ... 7 = Sunday
    const QDate day = today.addDays(dailyOffset(weekday, schedule.days, includeToday));
    return QStringLiteral("1 ") + DateText::date(day) + QLatin1Char('|') + timeText;
}

QString ComputeNextRun(const QString &kind, const QString &time, int interval, bool sun, bool mon, bool tue,
                       bool wed, bool thu, bool fri, bool sat, bool includeToday)
{
    ProfileSchedule schedule;
    schedule.kind = kind;
    schedule.time = time;
    schedule.interval = interval;
    schedule.days = {sun, mon, tue, wed, thu, fri, sat};
    return ComputeNextRun(schedule, includeToday);
}

NextRun readNextRunForMonitor(QStringView text)
{
    return readNextRun(text, false);
}

NextRun readNextRunForCatchUp(QStringView text)
{
    return readNextRun(text, true);
}

} // namespace cvb
