// Command line of cvb-ftp:
//   cvb-ftp [--passive] [--trace] [--ascii|--binary] [--user U] [--password P] [--port N]
//           [--trust SHA256-FINGERPRINT] HOST COMMAND ARGS
#pragma once

#include <QString>
#include <QStringList>

struct FtpToolArgs
{
    bool passive = false;
    bool trace = false;
    bool ascii = false; // binary unless --ascii
    QString user = QStringLiteral("anonymous");
    QString password;
    bool passwordFromStdin = false; // --password-stdin: the first line of standard input
    int port = 0;                   // 0: the one HOST names, else the scheme's default
    QString trust;                  // the SHA-256 fingerprint of a certificate to trust for this server
    QString host;
    QString command;
    QStringList args;
    QString error; // not empty: a usage error
};

FtpToolArgs parseFtpToolArgs(const QStringList &arguments);

extern const char *const ftpToolUsage;
