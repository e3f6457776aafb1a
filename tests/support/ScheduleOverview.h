// Waiting windows that show the schedule overview and wait until it is closed: the test closes
// it as soon as it shows, as a user clicking "Done" would.
#pragma once

#include <QApplication>
#include <QTimer>
#include <QWidget>
#include <memory>

namespace cvb::test {

// From now on, while the returned timer lives, closes the first visible schedule overview and
// then sets `*shown`.
[[nodiscard]] inline std::unique_ptr<QTimer> closeScheduleOverviewWhenShown(bool *shown)
{
    *shown = false;
    auto poll = std::make_unique<QTimer>();
    QTimer *timer = poll.get();
    QObject::connect(timer, &QTimer::timeout, timer, [shown, timer] {
        for (QWidget *w : QApplication::topLevelWidgets()) {
            if (w->objectName() == QLatin1String("FTP_ProfileStatus") && w->isVisible()) {
                *shown = true;
                timer->stop();
                w->close();
                return;
            }
        }
    });
    timer->start(10);
    return poll;
}

} // namespace cvb::test
