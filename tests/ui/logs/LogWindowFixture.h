// A log cursor over a fresh database folder, handed to the log windows as the main window's own,
// with scripted dialogs and the clock pinned.
#pragma once

#include "data/Clock.h"
#include "data/Database.h"
#include "data/EventLogRow.h"
#include "data/Layouts.h"
#include "data/Table.h"
#include "tests/support/MainWindowStub.h"
#include "ui/common/ScriptedDialogs.h"

#include <QCoreApplication>
#include <QDir>
#include <QTemporaryDir>
#include <gtest/gtest.h>
#include <memory>

namespace cvb::test {

class LogWindowTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(dir.isValid());
        Clock::pin(QDateTime(QDate(2024, 3, 5), QTime(14, 7, 9)));
        main = std::make_unique<MainWindowStub>(dir.path());
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
    ScriptedDialogs dialogs;
    std::unique_ptr<MainWindowStub> main;
};

} // namespace cvb::test
