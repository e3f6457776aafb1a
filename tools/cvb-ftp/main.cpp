// cvb-ftp: one FTP command from the command line, through the FTP component.
// Exit status: 0 success, 1 an FTP error (its message on stderr), 2 a usage error.
#include "data/ServerAddress.h"
#include "ftp/FtpClient.h"
#include "remote/LogOn.h"
#include "sftp/SftpSession.h"
#include "tools/HelpOption.h"
#include "tools/cvb-ftp/FtpToolArgs.h"

#include <QCoreApplication>
#include <cstdio>
#include <iostream>
#include <string>

using namespace cvb;

namespace {

void print(FILE *to, const QString &text)
{
    const QByteArray bytes = text.toUtf8() + '\n';
    std::fwrite(bytes.constData(), 1, size_t(bytes.size()), to);
}

void runCommand(TcvbFTP &ftp, const FtpToolArgs &a)
{
    ftp.SetAction(ftpLogon);
    if (a.command == "ls") {
        ftp.OnDirList = [](QObject *, const QString &entry) { print(stdout, entry); };
        ftp.SetRemoteFile(a.args.value(0));
        ftp.SetAction(ftpListDirectory);
    } else if (a.command == "get") {
        ftp.SetRemoteFile(a.args[0]);
        ftp.SetLocalFile(a.args[1]);
        ftp.SetAction(ftpDownload);
    } else if (a.command == "put") {
        ftp.SetLocalFile(a.args[0]);
        ftp.SetRemoteFile(a.args[1]);
        ftp.SetAction(ftpUpload);
    } else if (a.command == "mkdir") {
        ftp.SetRemoteFile(a.args[0]);
        ftp.SetAction(ftpMakeDirectory);
    } else if (a.command == "rmdir") {
        ftp.SetRemoteFile(a.args[0]);
        ftp.SetAction(ftpRemoveDirectory);
    } else if (a.command == "rm") {
        ftp.SetRemoteFile(a.args[0]);
        ftp.SetAction(ftpDeleteFile);
    } else if (a.command == "mv") {
        ftp.SetRemoteFile(a.args[0]);
        ftp.SetAltFile(a.args[1]);
        ftp.SetAction(ftpRenameFile);
    }
    ftp.SetAction(ftpLogoff);
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    if (const auto status =
            cvb::answerHelpOrVersion("cvb-ftp", app.arguments().mid(1), QString::fromLatin1(ftpToolUsage)))
        return *status;
    const FtpToolArgs a = parseFtpToolArgs(app.arguments().mid(1));
    if (!a.error.isEmpty()) {
        print(stderr, "cvb-ftp: " + a.error);
        std::fputs(ftpToolUsage, stderr);
        return 2;
    }
    // The command line is the least safe place for a password: any user of the machine can read it.
    QString password = a.password;
    if (a.passwordFromStdin) {
        std::string line;
        std::getline(std::cin, line);
        password = QString::fromLocal8Bit(line.data(), qsizetype(line.size())).remove(QLatin1Char('\r'));
    } else if (password.isEmpty()) {
        password = qEnvironmentVariable("CVB_FTP_PASSWORD");
    }
    if ((a.command == "get" || a.command == "put") && (a.args[0].isEmpty() || a.args[1].isEmpty())) {
        print(stderr, QStringLiteral("cvb-ftp: name the file with a second argument"));
        return 2;
    }

    TcvbFTP ftp;
    ftp.setObjectName(QStringLiteral("cvbFTP1"));
    if (a.trace) {
        ftp.OnFirePITrail = [](QObject *, int direction, const QString &message) {
            static const char *const prefixes[] = {"CLIENT: ", "SERVER: ", "INFO: "};
            print(stderr, QString::fromLatin1(prefixes[qBound(0, direction, 2)]) + message);
        };
    }
    ftp.OnError = [&](QObject *, int code, const QString &text) {
        if (a.trace)
            print(stderr, "INFO: " + QString::number(code) + ": " + text);
    };
    try {
        ftp.SetWinsockLoaded(true);
        const cvb::ServerAddress server = cvb::readServerAddress(a.host, 21);
        if (!server.ok()) {
            print(stderr, "cvb-ftp: " + server.error);
            return 2;
        }
        if (!a.trust.isEmpty() && cvb::normalizeFingerprint(a.trust).isEmpty()) {
            print(stderr, "cvb-ftp: not a SHA-256 fingerprint: " + a.trust);
            return 2;
        }
        cvb::ServerAddress chosen = server;
        if (a.port != 0)
            chosen.port = a.port;
        cvb::applyServerAddress(ftp, chosen);
        ftp.SetTrustedFingerprint(a.trust);
        ftp.SetUser(a.user);
        ftp.SetPassword(password);
        ftp.SetPassive(a.passive);
        ftp.SetTransferMode(a.ascii ? tmASCII : tmBinary);
        runCommand(ftp, a);
    } catch (const EcvbComponent &e) {
        QString message = e.Message();
        // The component's advice is the program's (its connection test); this tool trusts a key
        // it is given.
        if (e.Code() == cvb::kSshHostKeyUnknown)
            message.replace(QStringLiteral("trust it in the connection test"),
                            QStringLiteral("give its fingerprint with --trust to connect"));
        print(stderr, "cvb-ftp: " + message);
        return 1;
    } catch (const std::exception &e) {
        print(stderr, QStringLiteral("cvb-ftp: ") + QString::fromUtf8(e.what()));
        return 1;
    }
    return 0;
}
