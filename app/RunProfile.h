// corvale-backup --run-profile NAME: one backup of one profile, as the scheduler would run it,
// for cron, systemd timers and tests. No one is at the keyboard.
#pragma once

#include "backup/BackupProgress.h"
#include "ui/common/Dialogs.h"

#include <QObject>
#include <QString>

namespace cvb {

class TMainWin;

// The name of the profile that the profiles table finds for `name`, as the table compares
// (blanks at the end and whatever lies past the field's width do not count), as it is stored; an
// empty string when there is no such profile. A run waits for the end of that name's backup.
QString storedProfileName(const QString &name);

// Questions are answered with their last button (No or Cancel), as if the box had been closed;
// every text shown goes to standard error instead of a box.
class UnattendedDialogs : public Dialogs
{
public:
    void information(const QString &text) override;
    void error(const QString &text) override;
    Answer ask(QuestionKind kind, const QString &text, Buttons buttons) override;
    QString chooseFile(const FileChoice &choice) override;
};

// Queues the profile through the main window's queue and lets its queue monitor start it at
// once. When that backup's window has closed and no other backup runs, the main window is
// closed, which ends the program. On a terminal, standard error shows one progress line that
// is rewritten in place a few times a second; at the end one summary line goes to standard
// output, with or without a terminal.
class ProfileRun : public QObject
{
    Q_OBJECT
public:
    // `profile` as storedProfileName gives it: the backup reports its end under that name.
    ProfileRun(TMainWin *mainWin, const QString &profile);

    // 0 when the backup succeeded, 1 when it did not (or has not ended).
    int exitStatus() const { return m_exitStatus; }

private:
    void closeWhenNoBackupRuns();
    void showProgress();
    void clearProgressLine();

    TMainWin *m_mainWin;
    QString m_profile;
    bool m_done = false;
    int m_exitStatus = 1;
    bool m_terminal = false;  // standard error is a terminal
    bool m_lineShown = false; // a progress line stands on it
    bool m_summaryShown = false;
    int m_vanished = 0; // files of the finished backup that vanished from the server
};

} // namespace cvb
