#include "app/CommandLine.h"

namespace cvb {

namespace {

// Reads the value of an option given as "--name VALUE" or "--name=VALUE" at arguments[*i] into
// `value`, moving *i past it. False when the argument is another option; an empty or missing
// value sets `error`.
bool takeValue(const QStringList &arguments, qsizetype *i, const QString &name, const QString &what,
               QString *value, QString *error)
{
    const QString &arg = arguments.at(*i);
    if (arg == name) {
        if (*i + 1 < arguments.size())
            *value = arguments.at(++*i);
    } else if (arg.startsWith(name + QLatin1Char('='))) {
        *value = arg.mid(name.size() + 1);
    } else {
        return false;
    }
    if (value->isEmpty())
        *error = name + QStringLiteral(" needs ") + what;
    return true;
}

} // namespace

CommandLine parseCommandLine(const QStringList &arguments)
{
    CommandLine result;
    for (qsizetype i = 0; i < arguments.size() && result.error.isEmpty(); ++i) {
        const QString &arg = arguments.at(i);
        if (takeValue(arguments, &i, QStringLiteral("--data"), QStringLiteral("a folder"), &result.dataFolder,
                      &result.error) ||
            takeValue(arguments, &i, QStringLiteral("--run-profile"), QStringLiteral("a profile name"),
                      &result.runProfile, &result.error) ||
            takeValue(arguments, &i, QStringLiteral("--print-log"), QStringLiteral("a file name"),
                      &result.printLog, &result.error) ||
            takeValue(arguments, &i, QStringLiteral("--verify"), QStringLiteral("a backup folder"),
                      &result.verify, &result.error))
            continue;
        if (arg == QLatin1String("--background")) {
            result.background = true;
        } else if (arg == QLatin1String("--test-mail")) {
            result.testMail = true;
        } else if (arg == QLatin1String("--help") || arg == QLatin1String("-h")) {
            result.help = true;
        } else if (arg == QLatin1String("--version")) {
            result.version = true;
        } else {
            result.error = QStringLiteral("unknown option: ") + arg;
        }
    }
    if (result.error.isEmpty() && !result.printLog.isEmpty() && !result.runProfile.isEmpty())
        result.error = QStringLiteral("--print-log and --run-profile cannot be used together");
    if (result.error.isEmpty() && result.testMail &&
        (!result.printLog.isEmpty() || !result.runProfile.isEmpty()))
        result.error =
            QStringLiteral("--test-mail cannot be used together with --print-log or --run-profile");
    if (result.error.isEmpty() && !result.verify.isEmpty() &&
        (result.testMail || !result.printLog.isEmpty() || !result.runProfile.isEmpty()))
        result.error =
            QStringLiteral("--verify cannot be used together with --print-log, --run-profile or --test-mail");
    return result;
}

QString usageText()
{
    return QStringLiteral(
        "Usage: corvale-backup [--data DIR] [--background] [--run-profile NAME] [--help] [--version]\n"
        "       corvale-backup [--data DIR] --print-log FILE.pdf\n"
        "       corvale-backup [--data DIR] --test-mail\n"
        "       corvale-backup --verify FOLDER\n"
        "\n"
        "Backs up a web site from its FTP server to the local disk, on a schedule.\n"
        "\n"
        "  --data DIR     database folder holding the five tables\n"
        "                 (default: $CVB_DATA, else $XDG_DATA_HOME/corvale-backup)\n"
        "  --background   start hidden in the system tray\n"
        "  --run-profile NAME\n"
        "                 back up the profile NAME once, as the scheduler would, and\n"
        "                 exit: 0 when the backup succeeded, 1 when it did not,\n"
        "                 2 for a usage error or an unknown profile\n"
        "  --print-log FILE.pdf\n"
        "                 write the event log's report to FILE.pdf and exit: 0 when it\n"
        "                 is written or the log is empty (then no file is written),\n"
        "                 1 when the log cannot be read or the file cannot be written,\n"
        "                 2 when FILE.pdf lies in the database folder or is a file\n"
        "                 that is not a PDF (it is never overwritten then)\n"
        "  --test-mail    send a test mail to the return address with the e-mail\n"
        "                 settings of the connection window and exit: 0 when the\n"
        "                 mail server accepted it, 1 when it did not or the settings\n"
        "                 are not filled in\n"
        "  --verify FOLDER\n"
        "                 read the backup folder FOLDER back against its manifest and\n"
        "                 print every file that is missing, changed or extra: exit 0\n"
        "                 when all agree, 1 when not or when FOLDER has no readable\n"
        "                 manifest\n"
        "  --help         show this text and exit\n"
        "  --version      show the version and exit\n");
}

} // namespace cvb
