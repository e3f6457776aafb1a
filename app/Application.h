// The program's application object. An error that escapes a handler (a failed table operation,
// for example) ends that handler only: it is shown in the general error box and the message loop
// goes on, so the scheduler keeps running.
#pragma once

#include <QApplication>

#include <functional>

namespace cvb {

class Application : public QApplication
{
    Q_OBJECT
public:
    Application(int &argc, char **argv);
    bool notify(QObject *receiver, QEvent *event) override;
};

// Runs `deliver`; an exception that escapes it is shown in the general error box (through the
// program's dialogs) instead of ending the program, and counts as not handled.
bool deliverReportingErrors(const std::function<bool()> &deliver);

// Ends the program as closing its main window would when the system asks it to stop (SIGTERM,
// SIGINT, SIGHUP): `stop` runs from the message loop, never inside the signal handler.
// Call once, before the tables are opened.
void stopOnTerminationSignals(QObject *context, std::function<void()> stop);

} // namespace cvb
