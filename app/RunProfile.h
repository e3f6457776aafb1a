// corvale-backup --run-profile NAME: one backup of one profile, as the scheduler would run it,
// for cron, systemd timers and tests. No one is at the keyboard.
#pragma once

#include "ui/common/Dialogs.h"

#include <QObject>
#include <QString>

namespace cvb {

class TMainWin;

// True when the profiles table of the database holds a profile of that name.
bool profileExists(const QString &name);

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
// closed, which ends the program.
class ProfileRun : public QObject
{
    Q_OBJECT
public:
    ProfileRun(TMainWin *mainWin, const QString &profile);

    // 0 when the backup succeeded, 1 when it did not (or has not ended).
    int exitStatus() const { return m_exitStatus; }

private:
    void closeWhenNoBackupRuns();

    TMainWin *m_mainWin;
    QString m_profile;
    bool m_done = false;
    int m_exitStatus = 1;
};

} // namespace cvb
