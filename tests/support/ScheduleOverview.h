// Waiting windows that show the schedule overview and wait until it is closed: the test closes
// it as soon as it shows, as a user clicking "Done" would.
#pragma once

#include <QApplication>
#include <QTimer>
#include <QWidget>

namespace cvb::test {

// From now on, closes the first visible schedule overview and then sets `*shown`.
inline void closeScheduleOverviewWhenShown(bool *shown)
{
    *shown = false;
    auto *poll = new QTimer;
    QObject::connect(poll, &QTimer::timeout, poll, [shown, poll] {
        for (QWidget *w : QApplication::topLevelWidgets()) {
            if (w->objectName() == QLatin1String("FTP_ProfileStatus") && w->isVisible()) {
                *shown = true;
                w->close();
                poll->deleteLater();
                return;
            }
        }
    });
    poll->start(10);
}

} // namespace cvb::test
