// corvale-backup: start-up. Reads the command line, sets up the database folder behind the alias
// CVB (creating missing tables and taking the single-instance lock), creates the main window and
// runs the message loop until the main window is closed.
#include "app/Application.h"
#include "app/CommandLine.h"
#include "app/MainWin.h"
#include "app/PrintLog.h"
#include "app/RunProfile.h"
#include "app/TestMail.h"
#include "app/VerifyFolder.h"
#include "data/Clock.h"
#include "data/DataError.h"
#include "data/Database.h"
#include "ui/common/Dialogs.h"
#include "ui/common/Pictures.h"

#include <QIcon>
#include <QPointer>
#include <QTextStream>

#include <cstdio>
#include <memory>

namespace {

void printTo(FILE *stream, const QString &text)
{
    QTextStream out(stream);
    out << text;
    if (!text.endsWith(QLatin1Char('\n')))
        out << '\n';
}

// Start-up failures go to the terminal and, where there is a screen to show it on, to an error box.
void reportStartFailure(const QString &message)
{
    printTo(stderr, QStringLiteral("corvale-backup: ") + message);
    const QString platform = QGuiApplication::platformName();
    if (platform != QLatin1String("offscreen") && platform != QLatin1String("minimal"))
        cvb::dialogs().error(message);
}

} // namespace

int main(int argc, char **argv)
{
    // The command line is read before the windowing system is touched, so that --help and
    // --version answer cleanly anywhere.
    QStringList arguments;
    for (int i = 1; i < argc; ++i)
        arguments << QString::fromLocal8Bit(argv[i]);
    const cvb::CommandLine commandLine = cvb::parseCommandLine(arguments);
    if (!commandLine.error.isEmpty()) {
        printTo(stderr, QStringLiteral("corvale-backup: ") + commandLine.error + QStringLiteral("\n\n") +
                            cvb::usageText());
        return 2;
    }
    if (commandLine.help) {
        printTo(stdout, cvb::usageText());
        return 0;
    }
    if (commandLine.version) {
        printTo(stdout, QStringLiteral("corvale-backup ") + QStringLiteral(CVB_VERSION));
        return 0;
    }

    if (!commandLine.verify.isEmpty()) {
        // Reads files only: no window system, no database folder.
        QTextStream out(stdout);
        QTextStream err(stderr);
        return cvb::verifyFolder(commandLine.verify, out, err);
    }

    // Without a display the program runs on Qt's offscreen platform: the schedule and its backups
    // run, no window is seen, and every message goes to standard error.
    const bool headless = qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM") &&
                          qEnvironmentVariableIsEmpty("DISPLAY") &&
                          qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY");
    if (headless)
        qputenv("QT_QPA_PLATFORM", "offscreen");

    cvb::Application app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("corvale-backup"));
    QApplication::setApplicationVersion(QStringLiteral(CVB_VERSION));
    QApplication::setApplicationDisplayName(QStringLiteral("Corvale Backup"));
    QGuiApplication::setDesktopFileName(QStringLiteral("example.corvale.Backup"));
    QApplication::setWindowIcon(cvb::applicationIcon(QIcon()));

    const QString clockProblem = cvb::Clock::startFromEnvironment();
    if (!clockProblem.isEmpty())
        printTo(stderr, QStringLiteral("corvale-backup: ") + clockProblem);

    if (!commandLine.printLog.isEmpty()) {
        QTextStream out(stdout);
        QTextStream err(stderr);
        return cvb::printLog(commandLine.printLog, commandLine.dataFolder, out, err);
    }
    if (commandLine.testMail) {
        QTextStream out(stdout);
        QTextStream err(stderr);
        return cvb::testMail(commandLine.dataFolder, out, err);
    }

    // Closing the main window ends the program; closing or hiding any other window does not.
    QApplication::setQuitOnLastWindowClosed(false);
    QPointer<cvb::TMainWin> mainWin;
    cvb::stopOnTerminationSignals(&app, [&mainWin] {
        if (mainWin)
            mainWin->close();
        else
            QApplication::quit();
    });

    if (headless && commandLine.runProfile.isEmpty())
        printTo(stderr,
                QStringLiteral("corvale-backup: no display found (neither DISPLAY nor WAYLAND_DISPLAY is "
                               "set); running the backup schedule without windows, messages go here. "
                               "Stop it with Ctrl+C or SIGTERM."));

    std::unique_ptr<cvb::InstanceLock> lock;
    cvb::UnattendedDialogs unattended;
    std::unique_ptr<cvb::ProfileRun> profileRun; // outlives the main window: it keeps the exit status
    try {
        lock = cvb::openDatabase(cvb::resolveDataFolder(commandLine.dataFolder));
        // The backup ends under the stored name, so the run is made and awaited under it.
        QString profile;
        if (!commandLine.runProfile.isEmpty()) {
            profile = cvb::storedProfileName(commandLine.runProfile);
            if (profile.isEmpty()) {
                printTo(stderr, QStringLiteral("corvale-backup: there is no profile named \"%1\"")
                                    .arg(commandLine.runProfile));
                return 2;
            }
        }
        if (headless || !commandLine.runProfile.isEmpty())
            cvb::installDialogs(&unattended);
        mainWin = new cvb::TMainWin;
        if (!commandLine.runProfile.isEmpty())
            profileRun = std::make_unique<cvb::ProfileRun>(mainWin, profile);
    } catch (const cvb::DataError &e) {
        reportStartFailure(e.message());
        return 1;
    } catch (const std::exception &e) {
        reportStartFailure(QString::fromUtf8(e.what()));
        return 1;
    }
    QObject::connect(mainWin, &QObject::destroyed, &app, &QApplication::quit);
    if (!commandLine.background && commandLine.runProfile.isEmpty())
        mainWin->show();
    int result = QApplication::exec();
    if (!commandLine.runProfile.isEmpty())
        result = profileRun ? profileRun->exitStatus() : 1;
    delete mainWin; // still there when the loop ended for another reason than its closing
    cvb::installDialogs(nullptr);
    return result;
}
