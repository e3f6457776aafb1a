// The program's command line:
// corvale-backup [--data DIR] [--background] [--run-profile NAME] [--help] [--version],
// corvale-backup [--data DIR] --print-log FILE.pdf,
// corvale-backup [--data DIR] --test-mail,
// corvale-backup --verify FOLDER.
#pragma once

#include <QString>
#include <QStringList>

namespace cvb {

struct CommandLine
{
    QString dataFolder; // empty: the default database folder
    bool background = false;
    QString runProfile;    // non-empty: back up this profile once and exit
    QString printLog;      // non-empty: write the log report to this PDF file and exit
    bool testMail = false; // send the test mail with the e-mail settings and exit
    QString verify;        // non-empty: check this backup folder against its manifest and exit
    bool help = false;
    bool version = false;
    QString error; // non-empty: the command line is wrong; say this and the usage, exit 2
};

// Reads the arguments that follow the program name.
CommandLine parseCommandLine(const QStringList &arguments);

QString usageText();

} // namespace cvb
