#include "app/CommandLine.h"

namespace cvb {

CommandLine parseCommandLine(const QStringList &arguments)
{
    CommandLine result;
    for (qsizetype i = 0; i < arguments.size() && result.error.isEmpty(); ++i) {
        const QString &arg = arguments.at(i);
        if (arg == QLatin1String("--data")) {
            if (i + 1 >= arguments.size() || arguments.at(i + 1).isEmpty())
                result.error = QStringLiteral("--data needs a folder");
            else
                result.dataFolder = arguments.at(++i);
        } else if (arg.startsWith(QLatin1String("--data="))) {
            result.dataFolder = arg.mid(7);
            if (result.dataFolder.isEmpty())
                result.error = QStringLiteral("--data needs a folder");
        } else if (arg == QLatin1String("--background")) {
            result.background = true;
        } else if (arg == QLatin1String("--help") || arg == QLatin1String("-h")) {
            result.help = true;
        } else if (arg == QLatin1String("--version")) {
            result.version = true;
        } else if (arg == QLatin1String("--run-profile")) {
            if (i + 1 >= arguments.size() || arguments.at(i + 1).isEmpty())
                result.error = QStringLiteral("--run-profile needs a profile name");
            else
                result.runProfile = arguments.at(++i);
        } else if (arg.startsWith(QLatin1String("--run-profile="))) {
            result.runProfile = arg.mid(14);
            if (result.runProfile.isEmpty())
                result.error = QStringLiteral("--run-profile needs a profile name");
        } else {
            result.error = QStringLiteral("unknown option: ") + arg;
        }
    }
    return result;
}

QString usageText()
{
    return QStringLiteral(
        "Usage: corvale-backup [--data DIR] [--background] [--run-profile NAME] [--help] [--version]\n"
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
        "  --help         show this text and exit\n"
        "  --version      show the version and exit\n");
}

} // namespace cvb
