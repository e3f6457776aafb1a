#include "tests/backup/BackupHarness.h"

#include "data/Database.h"
#include "data/EventLogRow.h"
#include "data/Layouts.h"
#include "tests/backup/ProfileRows.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QDir>

namespace cvb::test {

namespace {

std::unique_ptr<Table> openTable(const QString &objectName, const QString &file, const QString &index = {})
{
    auto table = std::make_unique<Table>(objectName, nullptr);
    table->open(file, index);
    return table;
}

} // namespace

BackupHarness::BackupHarness()
{
    QDir().mkpath(dataFolder());
    QDir().mkpath(target());
    createMissingTables(dataFolder());
    setAliasFolder(dataFolder());
    m_queue = openTable(QStringLiteral("Table_Queue"), QueueTable);
    m_profiles = openTable(QStringLiteral("Table_ProfilesLKUP"), ProfilesTable, ProfileIndex);
    m_files = openTable(QStringLiteral("Table_FilesLKUP"), SourcesTable, ProfileIndex);
    m_connection = openTable(QStringLiteral("Table_Cnct"), ConnectionTable);
    m_log = openTable(QStringLiteral("Table_Log"), LogTable);
    setConnectionFlag(QStringLiteral("USEDEFAULT"), true);

    m_timer.setInterval(10000);
    QueueMonitorWiring wiring;
    wiring.queue = m_queue.get();
    wiring.profilesLookup = m_profiles.get();
    wiring.filesLookup = m_files.get();
    wiring.timer = &m_timer;
    wiring.setCurrentProfile = [this](const QString &profile) { m_currentProfile = profile; };
    wiring.eventLog = [this](const QString &message) { writeLogRow(*m_log, m_currentProfile, message); };
    wiring.clearStatus = [] {};
    wiring.startBackup = [this](const BackupRequest &request) {
        BackupEnvironment environment;
        environment.queue = m_queue.get();
        environment.connection = m_connection.get();
        environment.backupClosed = [this](const QString &profile, bool ok) {
            m_closed.push_back({profile, ok});
        };
        startBackupWindow(environment, request);
    };
    m_monitor = std::make_unique<QueueMonitor>(wiring);
}

BackupHarness::~BackupHarness()
{
    // Windows still open are freed with the application's pending deletions.
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
}

void BackupHarness::setConnection(const QString &domain, const QString &user, const QString &password,
                                  bool firewall)
{
    setConnectionField(QStringLiteral("DOMAIN"), domain);
    setConnectionField(QStringLiteral("USERNAME"), user);
    setConnectionField(QStringLiteral("PASSWORD"), password);
    setConnectionFlag(QStringLiteral("FIREWALL"), firewall);
}

void BackupHarness::setConnectionField(const QString &field, const QString &value)
{
    m_connection->first();
    m_connection->edit();
    m_connection->setString(field, value);
    m_connection->post();
}

void BackupHarness::setConnectionFlag(const QString &field, bool value)
{
    m_connection->first();
    m_connection->edit();
    m_connection->setBool(field, value);
    m_connection->post();
}

void BackupHarness::addProfile(const ProfileSettings &p)
{
    m_profiles->insert();
    m_profiles->setString(QStringLiteral("PROFILE"), p.name);
    m_profiles->setString(QStringLiteral("TARGET_LOC"), p.target.isEmpty() ? target() : p.target);
    m_profiles->setBool(QStringLiteral("ROTATE_DIR"), p.rotate);
    m_profiles->setBool(QStringLiteral("DTSTAMP_DI"), p.dateStamped);
    m_profiles->setBool(QStringLiteral("EMAIL"), p.email);
    m_profiles->setBool(QStringLiteral("DETAI_EMAI"), p.detailed);
    m_profiles->setString(QStringLiteral("EM_ADDR"), p.recipient);
    m_profiles->setBool(QStringLiteral("ACTIVE"), true);
    m_profiles->post();
}

void BackupHarness::addSource(const QString &profile, const QString &source, const QString &mode)
{
    m_files->insert();
    m_files->setString(QStringLiteral("PROFILE"), profile);
    m_files->setString(QStringLiteral("SOURCE"), source);
    m_files->setString(QStringLiteral("MODE"), mode);
    m_files->post();
}

void BackupHarness::enqueue(const QString &profile)
{
    m_queue->insert();
    m_queue->setString(QStringLiteral("PROFILE"), profile);
    m_queue->post();
}

std::vector<ClosedBackup> BackupHarness::runQueue(int windows, int timeoutMs)
{
    const size_t before = m_closed.size();
    QDeadlineTimer deadline(timeoutMs);
    while (m_closed.size() < before + size_t(windows) && !deadline.hasExpired()) {
        // Every queued entry is started before any backup step runs, so that backups queued
        // together run at the same time.
        m_queue->refresh();
        for (int started = 0; started < 10 && !m_queue->isEmpty(); ++started) {
            m_monitor->QueueMonitorTimer();
            m_queue->refresh();
        }
        QCoreApplication::processEvents(QEventLoop::AllEvents, 50);
    }
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    return {m_closed.begin() + qsizetype(before), m_closed.end()};
}

QStringList BackupHarness::events()
{
    QStringList rows;
    m_log->refresh();
    for (m_log->first(); !m_log->eof(); m_log->next())
        rows << m_log->asString(QStringLiteral("EVENT"));
    return rows;
}

QStringList BackupHarness::eventsOf(const QString &profile)
{
    return rowsOfProfile(events(), profile);
}

} // namespace cvb::test
