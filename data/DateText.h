// Date texts and time texts: how the program writes dates and times into text fields and reads
// them back. The forms are the system's short date and long time (QLocale::system(); the long
// time without its time-zone part), or the Qt patterns in CVB_SHORTDATE and CVB_LONGTIME.
// Reading is lenient: a time is hours, minutes and optional seconds with an optional AM/PM
// marker; a date is three numbers (or a month name) in the order of the short-date pattern.
//
// The forms are read once and kept; call reload() after changing the locale or the overrides.
// Main thread only.
#pragma once
#include <QDate>
#include <QDateTime>
#include <QString>
#include <QStringView>
#include <QTime>

namespace cvb {

class DateText
{
public:
    static QString shortDatePattern();
    static QString longTimePattern();

    // Date text and time text of a value.
    static QString date(const QDate &date);
    static QString time(const QTime &time);
    // Date text, one blank, time text: the form of LASTDONE and TIME_SUBMI.
    static QString moment(const QDateTime &moment);

    // Reads a date text or a time text; an invalid QDate / QTime when the text is unreadable.
    // Two-digit years fall into the hundred years around the clock's today.
    static QDate parseDate(QStringView text);
    static QTime parseTime(QStringView text);

    // Reads the system's forms and the overrides again.
    static void reload();
};

} // namespace cvb
