#include "scheduler/QueueMonitor.h"

#include "scheduler/BackupFolder.h"

#include "data/Clock.h"
#include "data/Database.h"
#include "data/Layouts.h"
#include "data/Table.h"

#include <QDir>
#include <QTemporaryDir>
#include <QTimer>
#include <gtest/gtest.h>

#include <memory>

namespace {

using cvb::BackupRequest;
using cvb::Table;

// The main window's side of the queue monitor: its cursors, its timer, its log rows.
class QueueMonitorTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(dir.isValid());
        cvb::createMissingTables(dir.path());
        target = dir.filePath(QStringLiteral("target"));
        QDir().mkpath(target);
        queue = open(cvb::QueueTable, {});
        profiles = open(cvb::ProfilesTable, cvb::ProfileIndex);
        files = open(cvb::SourcesTable, cvb::ProfileIndex);
        timer.setInterval(10000);
        timer.start();
        cvb::Clock::pin(QDateTime(QDate(2026, 12, 7), QTime(20, 56, 5)));
        monitor = std::make_unique<cvb::QueueMonitor>(cvb::QueueMonitorWiring{
            queue.get(), profiles.get(), files.get(), &timer, [this](const QString &p) { current = p; },
            [this](const QString &m) { rows << current + QLatin1Char(' ') + m; }, [this] { ++statusCleared; },
            [this](const BackupRequest &r) { startBackup(r); }});
    }

    void TearDown() override { cvb::Clock::useSystemTime(); }

    std::unique_ptr<Table> open(const QString &file, const QString &index)
    {
        auto t = std::make_unique<Table>();
        t->setFolder(dir.path());
        t->open(file, index);
        return t;
    }

    void addProfile(const QString &name, bool rotate, bool stamp, const QString &lastDir = {},
                    const QString &targetLoc = {})
    {
        profiles->insert();
        profiles->setString(QStringLiteral("PROFILE"), name);
        profiles->setString(QStringLiteral("TARGET_LOC"), targetLoc.isEmpty() ? target : targetLoc);
        profiles->setBool(QStringLiteral("ROTATE_DIR"), rotate);
        profiles->setBool(QStringLiteral("DTSTAMP_DI"), stamp);
        profiles->setString(QStringLiteral("LASTDIR"), lastDir);
        profiles->setBool(QStringLiteral("EMAIL"), true);
        profiles->setBool(QStringLiteral("DETAI_EMAI"), name.endsWith(QLatin1Char('D')));
        profiles->setString(QStringLiteral("EM_ADDR"), name + QStringLiteral("@example.org"));
        profiles->post();
    }

    void enqueue(const QString &name)
    {
        queue->insert();
        queue->setString(QStringLiteral("PROFILE"), name);
        queue->setString(QStringLiteral("TIME_SUBMI"), QStringLiteral("12/7/2026 8:56:00 PM"));
        queue->post();
    }

    // What the backup window does with the request: it removes the taken entry.
    void startBackup(const BackupRequest &r)
    {
        timerActiveDuringStart = timer.isActive();
        if (beforeRemoving)
            beforeRemoving();
        cvb::removeQueueEntry(*queue, r.queueRecNo);
        requests.push_back(r);
    }

    QString lastDirOf(const QString &name)
    {
        EXPECT_TRUE(profiles->locate(QStringLiteral("PROFILE"), name));
        return profiles->asString(QStringLiteral("LASTDIR"));
    }

    QStringList queuedProfiles()
    {
        QStringList names;
        queue->refresh();
        for (queue->first(); !queue->eof(); queue->next())
            names << queue->asString(QStringLiteral("PROFILE"));
        return names;
    }

    QTemporaryDir dir;
    QString target;
    std::unique_ptr<Table> queue, profiles, files;
    QTimer timer;
    std::unique_ptr<cvb::QueueMonitor> monitor;
    QString current;
    QStringList rows;
    int statusCleared = 0;
    std::vector<BackupRequest> requests;
    bool timerActiveDuringStart = true;
    std::function<void()> beforeRemoving;
};

TEST_F(QueueMonitorTest, EmptyQueueDoesNothing)
{
    monitor->QueueMonitorTimer();
    EXPECT_TRUE(rows.isEmpty());
    EXPECT_TRUE(requests.empty());
    EXPECT_TRUE(timer.isActive());
}

TEST_F(QueueMonitorTest, NewestEntryFirstWithTheProfilesReportSettings)
{
    addProfile(QStringLiteral("Older"), false, false);
    addProfile(QStringLiteral("NewerD"), false, false);
    files->insert();
    files->setString(QStringLiteral("PROFILE"), QStringLiteral("NewerD"));
    files->setString(QStringLiteral("SOURCE"), QStringLiteral("/www"));
    files->post();
    enqueue(QStringLiteral("Older"));
    enqueue(QStringLiteral("NewerD"));

    monitor->QueueMonitorTimer();
    ASSERT_EQ(requests.size(), 1u);
    EXPECT_EQ(requests[0].profile, QStringLiteral("NewerD"));
    EXPECT_EQ(requests[0].folder, target);
    EXPECT_TRUE(requests[0].email);
    EXPECT_TRUE(requests[0].detailed);
    EXPECT_EQ(requests[0].recipient, QStringLiteral("NewerD@example.org"));
    EXPECT_EQ(rows, QStringList{QStringLiteral("NewerD Begining backup profile NewerD")});
    EXPECT_EQ(files->filter(), QStringLiteral("PROFILE='NewerD'"));
    EXPECT_EQ(files->recordCount(), 1);
    EXPECT_FALSE(timerActiveDuringStart);
    EXPECT_TRUE(timer.isActive());
    EXPECT_EQ(statusCleared, 1);
    EXPECT_EQ(queuedProfiles(), QStringList{QStringLiteral("Older")});

    monitor->QueueMonitorTimer();
    ASSERT_EQ(requests.size(), 2u);
    EXPECT_EQ(requests[1].profile, QStringLiteral("Older"));
    EXPECT_FALSE(requests[1].detailed);
    EXPECT_TRUE(queuedProfiles().isEmpty());
}

TEST_F(QueueMonitorTest, DateStampedFolderIsCreatedOnceAndWarnedTheSecondTime)
{
    addProfile(QStringLiteral("Stamp"), false, true, {}, target + QLatin1Char('/'));
    enqueue(QStringLiteral("Stamp"));
    enqueue(QStringLiteral("Stamp"));
    monitor->QueueMonitorTimer();
    monitor->QueueMonitorTimer();
    const QString folder = target + QStringLiteral("/") + cvb::dateStampedFolderName(cvb::Clock::now());
    ASSERT_EQ(requests.size(), 2u);
    EXPECT_EQ(requests[0].folder, folder);
    EXPECT_TRUE(QDir(folder).exists());
    EXPECT_EQ(rows, (QStringList{QStringLiteral("Stamp Begining backup profile Stamp"),
                                 QStringLiteral("Stamp New subfolder ") + folder +
                                     QStringLiteral(" sucessfully created."),
                                 QStringLiteral("Stamp Begining backup profile Stamp"),
                                 QStringLiteral("Stamp WARNING - New subfolder ") + folder +
                                     QStringLiteral(" could not be created.")}));
}

TEST_F(QueueMonitorTest, RotationUsesABCAndWarnsWhenALettersFolderExists)
{
    addProfile(QStringLiteral("Rot"), true, true, QStringLiteral("B"));
    QStringList folders;
    for (int i = 0; i < 4; ++i) {
        enqueue(QStringLiteral("Rot"));
        monitor->QueueMonitorTimer();
        folders << requests.back().folder;
    }
    EXPECT_EQ(folders, (QStringList{target + QStringLiteral("/C"), target + QStringLiteral("/A"),
                                    target + QStringLiteral("/B"), target + QStringLiteral("/C")}));
    EXPECT_EQ(lastDirOf(QStringLiteral("Rot")), QStringLiteral("C"));
    EXPECT_EQ(rows[1],
              QStringLiteral("Rot New subfolder ") + target + QStringLiteral("/C sucessfully created."));
    EXPECT_EQ(rows[7], QStringLiteral("Rot WARNING - New subfolder ") + target +
                           QStringLiteral("/C could not be created."));
    EXPECT_EQ(rows.size(), 8);
}

TEST_F(QueueMonitorTest, UnreadableLastDirAddsNoLetterAndKeepsIt)
{
    addProfile(QStringLiteral("Odd"), true, false, QStringLiteral("Q"));
    enqueue(QStringLiteral("Odd"));
    monitor->QueueMonitorTimer();
    ASSERT_EQ(requests.size(), 1u);
    EXPECT_EQ(requests[0].folder, target);
    EXPECT_EQ(lastDirOf(QStringLiteral("Odd")), QStringLiteral("Q"));
    EXPECT_EQ(rows.last(), QStringLiteral("Odd WARNING - New subfolder ") + target +
                               QStringLiteral(" could not be created."));
}

TEST_F(QueueMonitorTest, UnknownProfileIsRemovedWithOneRowAndStartsNothing)
{
    addProfile(QStringLiteral("Known"), false, false);
    enqueue(QStringLiteral("Known"));
    enqueue(QStringLiteral("Gone"));
    monitor->QueueMonitorTimer();
    EXPECT_TRUE(requests.empty());
    EXPECT_EQ(rows, QStringList{QStringLiteral(
                        "Gone The queued profile no longer exists; its queue entry was removed.")});
    EXPECT_EQ(queuedProfiles(), QStringList{QStringLiteral("Known")});
    EXPECT_TRUE(timer.isActive());
}

TEST_F(QueueMonitorTest, TheEntryRemovedIsTheOneTakenEvenWhenTheQueueGrowsMeanwhile)
{
    addProfile(QStringLiteral("First"), false, false);
    addProfile(QStringLiteral("Second"), false, false);
    enqueue(QStringLiteral("First"));
    beforeRemoving = [this] {
        enqueue(QStringLiteral("Second"));
        beforeRemoving = nullptr;
    };
    monitor->QueueMonitorTimer();
    EXPECT_EQ(queuedProfiles(), QStringList{QStringLiteral("Second")});
}

} // namespace
