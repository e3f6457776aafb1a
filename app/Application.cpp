#include "app/Application.h"

#include "ui/common/Dialogs.h"

#include <QSocketNotifier>

#include <csignal>
#include <exception>
#include <sys/socket.h>
#include <unistd.h>

namespace cvb {

Application::Application(int &argc, char **argv) : QApplication(argc, argv)
{
}

bool Application::notify(QObject *receiver, QEvent *event)
{
    return deliverReportingErrors([&] { return QApplication::notify(receiver, event); });
}

bool deliverReportingErrors(const std::function<bool()> &deliver)
{
    try {
        return deliver();
    } catch (const std::exception &e) {
        dialogs().error(QString::fromUtf8(e.what()));
    } catch (...) {
        dialogs().error(QStringLiteral("An unknown error ended the operation."));
    }
    return false;
}

namespace {

int signalPipe[2] = {-1, -1};

extern "C" void onTerminationSignal(int signalNumber)
{
    const char byte = char(signalNumber);
    // Nothing else is safe in a signal handler; the message loop reads the byte.
    [[maybe_unused]] const ssize_t written = ::write(signalPipe[0], &byte, 1);
}

} // namespace

void stopOnTerminationSignals(QObject *context, std::function<void()> stop)
{
    if (::socketpair(AF_UNIX, SOCK_STREAM, 0, signalPipe) != 0)
        return; // the program still runs; it only cannot end cleanly on a signal
    auto *notifier = new QSocketNotifier(signalPipe[1], QSocketNotifier::Read, context);
    QObject::connect(notifier, &QSocketNotifier::activated, context, [stop = std::move(stop)] {
        char byte = 0;
        if (::read(signalPipe[1], &byte, 1) == 1)
            stop();
    });
    struct sigaction action
    {
    };
    action.sa_handler = onTerminationSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    for (const int signalNumber : {SIGTERM, SIGINT, SIGHUP})
        ::sigaction(signalNumber, &action, nullptr);
}

} // namespace cvb
