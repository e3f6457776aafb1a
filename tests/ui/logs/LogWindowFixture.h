// A log cursor over a fresh database folder, handed to the log windows as the main window's own,
// with scripted dialogs and the clock pinned.
#pragma once

#include "data/Clock.h"
#include "data/Database.h"
#include "data/EventLogRow.h"
#include "data/Layouts.h"
#include "data/Table.h"
#include "ui/common/MainWindowAccess.h"
#include "ui/common/ScriptedDialogs.h"

#include <QCoreApplication>
#include <QDir>
#include <QTemporaryDir>
#include <gtest/gtest.h>
#include <memory>

namespace cvb::test {

// What the log windows use of the main window: its log cursor and its menu panel.
class LogMainWindow : public MainWindowAccess
{
public:
    LogMainWindow() { log.open(LogTable); }
    bool AllowAccess() override { return true; }
    void ShowMenuPanel() override { ++menuShown; }
    void HideMenuPanel() override {}
    void EventLog(const QString &message) override { writeLogRow(log, QString(), message); }
    Table &Table_Cnct() const override { return unused; }
    Table &Table_Profiles() const override { return unused; }
    Table &Table_Files() const override { return unused; }
    Table &Table_Queue() const override { return unused; }
    Table &Table_Log() const override { return log; }
    Table &Table_ProfilesLKUP() const override { return unused; }
    Table &Table_FilesLKUP() const override { return unused; }

    mutable Table log{QStringLiteral("Table_Log"), nullptr};
    mutable Table unused;
    int menuShown = 0;
};

class LogWindowTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(dir.isValid());
        Clock::pin(QDateTime(QDate(2024, 3, 5), QTime(14, 7, 9)));
        lock = openDatabase(dir.path());
        main = std::make_unique<LogMainWindow>();
    }
    void TearDown() override
    {
        main.reset();
        Clock::useSystemTime();
    }

    // Writes rows "event 1".."event N" through a cursor of its own, as a backup window does.
    void writeRows(int count, const QString &profile = QStringLiteral("Site"))
    {
        Table writer;
        writer.open(LogTable);
        for (int i = 1; i <= count; ++i)
            writeLogRow(writer, profile, QStringLiteral("event %1").arg(i));
    }

    QString logPath() const { return QDir(dir.path()).filePath(LogTable); }

    static void processDeletes() { QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete); }

    QTemporaryDir dir;
    std::unique_ptr<InstanceLock> lock;
    ScriptedDialogs dialogs;
    std::unique_ptr<LogMainWindow> main;
};

} // namespace cvb::test
