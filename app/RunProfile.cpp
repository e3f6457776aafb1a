#include "app/RunProfile.h"

#include "app/MainWin.h"
#include "backup/BackupRun.h"
#include "data/Clock.h"
#include "data/DateText.h"
#include "data/Layouts.h"
#include "data/Table.h"
#include "ui/backup/FTP_BackupThread_Unit.h"

#include <QTextStream>
#include <QTimer>

#include <cstdio>
#include <sys/ioctl.h>
#include <unistd.h>

namespace cvb {

namespace {

// Columns of the terminal on standard error (80 when it does not say).
int terminalColumns()
{
    winsize size{};
    if (ioctl(STDERR_FILENO, TIOCGWINSZ, &size) == 0 && size.ws_col > 0)
        return size.ws_col;
    return 80;
}

void printNotice(const QString &text)
{
    QTextStream(stderr) << "corvale-backup: " << text << '\n';
}

} // namespace

QString storedProfileName(const QString &name)
{
    Table profiles;
    profiles.open(ProfilesTable, ProfileIndex);
    if (!profiles.locate(QStringLiteral("PROFILE"), name))
        return {};
    return profiles.asString(QStringLiteral("PROFILE"));
}

void UnattendedDialogs::information(const QString &text)
{
    printNotice(text);
}

void UnattendedDialogs::error(const QString &text)
{
    printNotice(text);
}

Answer UnattendedDialogs::ask(QuestionKind, const QString &text, Buttons buttons)
{
    const Answer answer = buttons == Buttons::YesNo ? Answer::No : Answer::Cancel;
    printNotice(text + (answer == Answer::No ? QStringLiteral(" [No]") : QStringLiteral(" [Cancel]")));
    return answer;
}

QString UnattendedDialogs::chooseFile(const FileChoice &)
{
    return {};
}

ProfileRun::ProfileRun(TMainWin *mainWin, const QString &profile)
    : m_mainWin(mainWin), m_profile(profile), m_terminal(isatty(STDERR_FILENO) == 1)
{
    connect(mainWin, &TMainWin::backupEnded, this,
            [this](const BackupProgressSnapshot &progress, bool ok, const QString &) {
                if (m_summaryShown || progress.profile != m_profile)
                    return;
                m_summaryShown = true;
                m_vanished = progress.filesVanished;
                clearProgressLine();
                QTextStream(stdout) << summaryLine(progress, ok) << '\n';
            });
    if (m_terminal) {
        auto *timer = new QTimer(this);
        timer->setInterval(250);
        connect(timer, &QTimer::timeout, this, &ProfileRun::showProgress);
        timer->start();
    }
    connect(mainWin, &TMainWin::backupClosed, this, [this](const QString &closedProfile, bool ok) {
        if (!m_done && closedProfile == m_profile) {
            m_done = true;
            // 3: complete except files that vanished from the server during the run.
            m_exitStatus = !ok ? 1 : m_vanished > 0 ? 3 : 0;
        }
        // Checked from the event loop, once the backup window's own closing has ended.
        if (m_done)
            QTimer::singleShot(0, this, &ProfileRun::closeWhenNoBackupRuns);
    });
    Table &queue = mainWin->Table_Queue();
    queue.insert();
    queue.setString(QStringLiteral("PROFILE"), profile);
    queue.setString(QStringLiteral("TIME_SUBMI"), DateText::moment(Clock::now()));
    queue.post();
    // The queue monitor would see the entry on its next tick; this tick comes at once.
    QTimer::singleShot(0, mainWin, &TMainWin::QueueMonitorTimer);
}

void ProfileRun::showProgress()
{
    if (m_summaryShown)
        return;
    const auto windows = m_mainWin->findChildren<TFTP_BackupThread *>(Qt::FindDirectChildrenOnly);
    for (TFTP_BackupThread *window : windows) {
        if (window->isClosing() || window->profileName() != m_profile)
            continue;
        // One line, never wider than the terminal, so that the carriage return rewrites it.
        const QString line = progressLine(window->run().progress()).left(terminalColumns() - 1);
        QTextStream(stderr) << '\r' << line << "\x1b[K" << Qt::flush;
        m_lineShown = true;
        return;
    }
}

void ProfileRun::clearProgressLine()
{
    if (m_lineShown)
        QTextStream(stderr) << "\r\x1b[K" << Qt::flush;
    m_lineShown = false;
}

void ProfileRun::closeWhenNoBackupRuns()
{
    // A backup that the scheduler started meanwhile has already taken its entry from the
    // queue: ending the program now would lose that run, so it ends first.
    const auto windows = m_mainWin->findChildren<TFTP_BackupThread *>(Qt::FindDirectChildrenOnly);
    for (const TFTP_BackupThread *window : windows) {
        if (!window->isClosing())
            return;
    }
    m_mainWin->close();
}

} // namespace cvb
