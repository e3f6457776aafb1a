// A main window over a fresh database folder, with scripted dialogs and the clock pinned.
#pragma once

#include "app/MainWin.h"
#include "data/Clock.h"
#include "data/Database.h"
#include "data/Table.h"
#include "ui/common/ScriptedDialogs.h"

#include <QCoreApplication>
#include <QDir>
#include <QPointer>
#include <QTemporaryDir>
#include <gtest/gtest.h>
#include <memory>

class MainWinTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(dir.isValid());
        cvb::Clock::pin(QDateTime(QDate(2024, 3, 5), QTime(14, 7, 9)));
        lock = cvb::openDatabase(dir.path());
    }

    void TearDown() override
    {
        delete win.data();
        cvb::Clock::useSystemTime();
    }

    cvb::TMainWin &createWindow()
    {
        win = new cvb::TMainWin;
        return *win;
    }

    // Writes the connection record through a cursor of its own, as the connection window would.
    void setConnection(const QString &domain, const QString &user, const QString &password)
    {
        cvb::Table cnct;
        cnct.open(cvb::ConnectionTable);
        cnct.edit();
        cnct.setString(QStringLiteral("DOMAIN"), domain);
        cnct.setString(QStringLiteral("USERNAME"), user);
        cnct.setString(QStringLiteral("PASSWORD"), password);
        cnct.post();
    }

    // A profile of one source backed up into `target` (made here), written through cursors of
    // its own as the wizard would.
    void addProfileWithSource(const QString &name, const QString &source, const QString &target,
                              const QString &mode, bool active)
    {
        ASSERT_TRUE(QDir().mkpath(target));
        cvb::Table profiles;
        profiles.open(cvb::ProfilesTable, cvb::ProfileIndex);
        profiles.insert();
        profiles.setString(QStringLiteral("PROFILE"), name);
        profiles.setString(QStringLiteral("TARGET_LOC"), target);
        profiles.setBool(QStringLiteral("ACTIVE"), active);
        profiles.post();
        cvb::Table sources;
        sources.open(cvb::SourcesTable, cvb::ProfileIndex);
        sources.insert();
        sources.setString(QStringLiteral("PROFILE"), name);
        sources.setString(QStringLiteral("SOURCE"), source);
        sources.setString(QStringLiteral("MODE"), mode);
        sources.post();
    }

    template <typename T> T *child(const QString &name) const { return win->findChild<T *>(name); }

    static void processDeletes() { QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete); }

    QTemporaryDir dir;
    std::unique_ptr<cvb::InstanceLock> lock;
    cvb::ScriptedDialogs dialogs;
    QPointer<cvb::TMainWin> win;
};
