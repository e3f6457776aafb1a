// An in-process stand-in for the main window's side of a backup: a database
// folder with the five tables, the cursors the queue monitor works with, and
// the backup windows it starts.
#pragma once

#include "ui/backup/FTP_BackupThread_Unit.h"
#include "data/Table.h"
#include "scheduler/QueueMonitor.h"

#include <QTemporaryDir>
#include <QTimer>

#include <memory>
#include <vector>

namespace cvb::test {

struct ProfileSettings
{
    ProfileSettings(const QString &profileName, const QString &targetFolder = {})
        : name(profileName), target(targetFolder)
    {
    }
    QString name;
    QString target; // empty: the harness's target folder
    bool rotate = false;
    bool dateStamped = false;
    bool email = false;
    bool detailed = false;
    QString recipient;
};

struct ClosedBackup
{
    QString profile;
    bool ok = false;
};

class BackupHarness
{
public:
    BackupHarness();
    ~BackupHarness();

    QString dataFolder() const { return m_dir.filePath(QStringLiteral("data")); }
    QString target() const { return m_dir.filePath(QStringLiteral("target")); }

    // The connection record; `domain` may carry ":port".
    void setConnection(const QString &domain, const QString &user, const QString &password,
                       bool firewall = false);
    void setConnectionField(const QString &field, const QString &value);
    void setConnectionFlag(const QString &field, bool value);
    void addProfile(const ProfileSettings &profile);
    void addSource(const QString &profile, const QString &source,
                   const QString &mode = QStringLiteral("ASCII"));
    void enqueue(const QString &profile);

    // Runs queue monitor ticks until `windows` backup windows have closed (at
    // most timeoutMs).
    std::vector<ClosedBackup> runQueue(int windows = 1, int timeoutMs = 120000);

    // EVENT of every log row, in order, and the rows whose EVENT begins with
    // `profile`.
    QStringList events();
    QStringList eventsOf(const QString &profile);

    Table &queue() { return *m_queue; }
    Table &profiles() { return *m_profiles; }
    Table &connection() { return *m_connection; }

private:
    QTemporaryDir m_dir;
    std::unique_ptr<Table> m_queue, m_profiles, m_files, m_connection, m_log;
    QTimer m_timer;
    std::unique_ptr<QueueMonitor> m_monitor;
    std::vector<ClosedBackup> m_closed;
    QString m_currentProfile;
};

} // namespace cvb::test
