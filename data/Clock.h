// The program's one clock. Every date and time the program uses comes from here, so that a
// demonstration or a test can move time: CVB_NOW=YYYY-MM-DDTHH:MM:SS starts the clock at that
// local moment, from which it runs on in real time; tests may also set or pin it.
#pragma once
#include <QDate>
#include <QDateTime>
#include <QString>

namespace cvb {

class Clock
{
public:
    // The current local moment, and its date.
    static QDateTime now();
    static QDate today();

    // From now on the clock shows `moment` and runs on from there in real time.
    static void setNow(const QDateTime &moment);
    // The clock shows `moment` and stands still until it is set, pinned or released again.
    static void pin(const QDateTime &moment);
    // Back to the computer's own clock (CVB_NOW no longer counts).
    static void useSystemTime();

    // Reads CVB_NOW again. Returns an empty text when it is unset or valid, else a message that
    // names the variable and the expected form (the clock then keeps the computer's time).
    // The clock calls this itself before it is first read.
    static QString startFromEnvironment();
};

} // namespace cvb
