#include "tools/cvb-ftp/FtpToolArgs.h"

#include <QFileInfo>
#include <map>
#include <utility>

const char *const ftpToolUsage =
    "usage: cvb-ftp [--passive] [--trace] [--ascii|--binary] [--user U] [--password P | --password-stdin]\n"
    "               [--port N] [--trust SHA256-FINGERPRINT] HOST COMMAND ARGS\n"
    "HOST: host or host:port, plain FTP, or with ftp://, ftpes:// (TLS after AUTH TLS, required),\n"
    "      ftps:// (TLS from the first byte, port 990) or sftp:// (SFTP over SSH, port 22) in front\n"
    "commands: ls [PATH] | get REMOTE [LOCAL] | put LOCAL [REMOTE] | mkdir DIR | rmdir DIR\n"
    "          | rm FILE | mv FROM TO\n"
    "options:\n"
    "  --passive     passive mode: this side opens the data connections (behind a firewall or NAT)\n"
    "  --trace       print the commands sent and the replies received on standard error\n"
    "  --ascii       transfer in ASCII mode (line ends converted)\n"
    "  --binary      transfer byte for byte (the default)\n"
    "  --user U      account name (default anonymous)\n"
    "  --password P  password of the account; other users of the machine can read a command line,\n"
    "                so prefer --password-stdin or CVB_FTP_PASSWORD\n"
    "  --password-stdin\n"
    "                read the password from the first line of standard input\n"
    "  --port N      control port of the server (default 21, 990 for ftps://, 22 for sftp://)\n"
    "  --trust SHA256-FINGERPRINT\n"
    "                trust the server's certificate with this SHA-256 fingerprint (with or without\n"
    "                colons) although the system's certificate store does not vouch for it; for\n"
    "                sftp:// the host key's, as OpenSSH prints it (SHA256:base64), which it needs\n"
    "  --help        show this text and exit\n"
    "  --version     show the version and exit\n"
    "Without --password or --password-stdin the password is taken from the environment variable\n"
    "CVB_FTP_PASSWORD. Over sftp:// an empty password logs on with the keys of the SSH agent and\n"
    "~/.ssh.\n"
    "Exit status: 0 done, 1 an FTP error (its message on standard error), 2 a usage error.\n";

namespace {

// Smallest and largest number of arguments of each command.
const std::map<QString, std::pair<int, int>> &commandArity()
{
    static const std::map<QString, std::pair<int, int>> arity = {
        {QStringLiteral("ls"), {0, 1}},    {QStringLiteral("get"), {1, 2}},   {QStringLiteral("put"), {1, 2}},
        {QStringLiteral("mkdir"), {1, 1}}, {QStringLiteral("rmdir"), {1, 1}}, {QStringLiteral("rm"), {1, 1}},
        {QStringLiteral("mv"), {2, 2}},
    };
    return arity;
}

} // namespace

FtpToolArgs parseFtpToolArgs(const QStringList &arguments)
{
    FtpToolArgs a;
    QStringList positional;
    for (qsizetype i = 0; i < arguments.size(); ++i) {
        const QString &arg = arguments[i];
        const bool takesValue = arg == "--user" || arg == "--password" || arg == "--port" || arg == "--trust";
        if (!positional.isEmpty() || !arg.startsWith("--")) {
            positional << arg;
        } else if (takesValue && i + 1 >= arguments.size()) {
            a.error = arg + " needs a value";
            return a;
        } else if (arg == "--passive") {
            a.passive = true;
        } else if (arg == "--trace") {
            a.trace = true;
        } else if (arg == "--ascii") {
            a.ascii = true;
        } else if (arg == "--binary") {
            a.ascii = false;
        } else if (arg == "--user") {
            a.user = arguments[++i];
        } else if (arg == "--password") {
            a.password = arguments[++i];
        } else if (arg == "--trust") {
            a.trust = arguments[++i];
        } else if (arg == "--password-stdin") {
            a.passwordFromStdin = true;
        } else if (arg == "--port") {
            bool ok = false;
            a.port = arguments[++i].toInt(&ok);
            if (!ok || a.port < 1 || a.port > 65535) {
                a.error = "invalid port: " + arguments[i];
                return a;
            }
        } else {
            a.error = "unknown option: " + arg;
            return a;
        }
    }
    if (positional.size() < 2) {
        a.error = QStringLiteral("a host and a command are needed");
        return a;
    }
    a.host = positional.takeFirst();
    a.command = positional.takeFirst();
    a.args = positional;
    const auto found = commandArity().find(a.command);
    if (found == commandArity().end()) {
        a.error = "unknown command: " + a.command;
    } else if (a.args.size() < found->second.first || a.args.size() > found->second.second) {
        a.error = "wrong number of arguments for " + a.command;
    } else if (a.command == "get" && a.args.size() == 1) {
        a.args << QFileInfo(a.args[0]).fileName();
    } else if (a.command == "put" && a.args.size() == 1) {
        a.args << QFileInfo(a.args[0]).fileName();
    }
    return a;
}
