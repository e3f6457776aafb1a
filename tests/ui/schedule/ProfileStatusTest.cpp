#include "ui/schedule/ScheduleLines.h"
#include "ui/schedule/TFTP_ProfileStatus.h"

#include "data/Database.h"
#include "data/Layouts.h"
#include "data/Table.h"
#include "ui/common/ScriptedDialogs.h"

#include <QApplication>
#include <QLabel>
#include <QListWidget>
#include <QPointer>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <gtest/gtest.h>

using namespace cvb;

namespace {

const QString Below =
    QStringLiteral("The above listed backup profiles are now active and awaiting processing");

TEST(ScheduleLine, DailyRunsShowDateAndTimeWithAmAfterAnEightCharacterTime)
{
    // A morning time as the schedule rules write it.
    EXPECT_EQ(scheduleLine(QStringLiteral("Site"), QStringLiteral("1 3/5/2024|10:15:00")),
              QStringLiteral("Profile Site is next scheduled to run on 3/5/2024 at 10:15:00 AM"));
    // Noon is stored as an 8-character time too, and so gets the same suffix.
    EXPECT_EQ(scheduleLine(QStringLiteral("Site"), QStringLiteral("1 3/5/2024|12:05:00")),
              QStringLiteral("Profile Site is next scheduled to run on 3/5/2024 at 12:05:00 AM"));
    // An afternoon time with its own suffix, and a short morning time, are shown as stored.
    EXPECT_EQ(scheduleLine(QStringLiteral("Site"), QStringLiteral("1 12/31/2024|2:30:00 PM")),
              QStringLiteral("Profile Site is next scheduled to run on 12/31/2024 at 2:30:00 PM"));
    EXPECT_EQ(scheduleLine(QStringLiteral("Site"), QStringLiteral("1 3/5/2024|9:00:00")),
              QStringLiteral("Profile Site is next scheduled to run on 3/5/2024 at 9:00:00"));
    // A damaged value without its "|" shows what it has instead of cutting it wrongly.
    EXPECT_EQ(scheduleLine(QStringLiteral("Site"), QStringLiteral("1 3/5/2024")),
              QStringLiteral("Profile Site is next scheduled to run on 3/5/2024 at "));
}

TEST(ScheduleLine, HourlyRunsShowTheTimeWithMidnightsLeadingZerosAsTwelve)
{
    EXPECT_EQ(scheduleLine(QStringLiteral("Hourly"), QStringLiteral("2 00:00:00")),
              QStringLiteral("Profile Hourly is next scheduled to run at 12:00:00"));
    // Only the first two characters count: zeros elsewhere stay.
    EXPECT_EQ(scheduleLine(QStringLiteral("Hourly"), QStringLiteral("2 10:00:00")),
              QStringLiteral("Profile Hourly is next scheduled to run at 10:00:00"));
    EXPECT_EQ(scheduleLine(QStringLiteral("Hourly"), QStringLiteral("2 3:00:00 PM")),
              QStringLiteral("Profile Hourly is next scheduled to run at 3:00:00 PM"));
    EXPECT_EQ(scheduleLine(QStringLiteral("Empty"), QString()),
              QStringLiteral("Profile Empty is next scheduled to run at "));
}

class ProfileStatusTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(dir.isValid());
        lock = openDatabase(dir.path());
    }

    static void addProfile(const QString &name, bool active, const QString &performIn)
    {
        Table profiles;
        profiles.open(ProfilesTable, ProfileIndex);
        profiles.insert();
        profiles.setString(QStringLiteral("PROFILE"), name);
        profiles.setBool(QStringLiteral("ACTIVE"), active);
        profiles.setString(QStringLiteral("PERFORM_IN"), performIn);
        profiles.post();
    }

    static void processDeletes() { QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete); }

    QTemporaryDir dir;
    std::unique_ptr<InstanceLock> lock;
    ScriptedDialogs dialogs;
};

TEST_F(ProfileStatusTest, ListsTheActiveProfilesInNameOrderAndLeavesTheInactiveOut)
{
    addProfile(QStringLiteral("Nightly"), true, QStringLiteral("2 00:00:00"));
    addProfile(QStringLiteral("Archive"), false, QStringLiteral("1 3/6/2024|10:15:00"));
    addProfile(QStringLiteral("Afternoon"), true, QStringLiteral("1 3/6/2024|2:30:00 PM"));
    addProfile(QStringLiteral("Morning"), true, QStringLiteral("1 3/6/2024|10:15:00"));

    QPointer<TFTP_ProfileStatus> overview = new TFTP_ProfileStatus;
    EXPECT_TRUE(overview->isVisible()); // it shows itself
    EXPECT_EQ(overview->objectName(), QStringLiteral("FTP_ProfileStatus"));
    EXPECT_EQ(overview->windowTitle(), QStringLiteral("Corvale Web Backup Schedule"));
    EXPECT_TRUE(overview->windowFlags() & Qt::WindowStaysOnTopHint);
    EXPECT_EQ(overview->minimumSize(), overview->maximumSize());
    EXPECT_EQ(overview->findChild<QLabel *>(QStringLiteral("Label1"))->text(), Below);
    const QStringList expected{
        "Profile Afternoon is next scheduled to run on 3/6/2024 at 2:30:00 PM",
        "Profile Morning is next scheduled to run on 3/6/2024 at 10:15:00 AM",
        "Profile Nightly is next scheduled to run at 12:00:00",
    };
    EXPECT_EQ(overview->lines(), expected);
    auto *list = overview->findChild<QListWidget *>(QStringLiteral("ListBox1"));
    ASSERT_NE(list, nullptr);
    EXPECT_EQ(list->count(), 3);

    // The list is read once: a profile activated meanwhile appears only in the next overview.
    addProfile(QStringLiteral("Later"), true, QStringLiteral("2 05:00:00"));
    QCoreApplication::processEvents();
    EXPECT_EQ(overview->lines(), expected);

    auto *done = overview->findChild<QPushButton *>(QStringLiteral("DoneButton"));
    ASSERT_NE(done, nullptr);
    EXPECT_EQ(done->text(), QStringLiteral("&Done"));
    QTest::mouseClick(done, Qt::LeftButton);
    processDeletes();
    EXPECT_TRUE(overview.isNull());
    EXPECT_TRUE(dialogs.texts().isEmpty());
}

TEST_F(ProfileStatusTest, WithNoActiveProfileTheListIsEmptyAndTheTextStays)
{
    addProfile(QStringLiteral("Resting"), false, QStringLiteral("2 05:00:00"));
    QPointer<TFTP_ProfileStatus> overview = new TFTP_ProfileStatus;
    EXPECT_TRUE(overview->lines().isEmpty());
    EXPECT_EQ(overview->findChild<QLabel *>(QStringLiteral("Label1"))->text(), Below);
    // Escape closes it as Done does.
    QTest::keyClick(overview, Qt::Key_Escape);
    processDeletes();
    EXPECT_TRUE(overview.isNull());
}

TEST_F(ProfileStatusTest, AnotherWindowCanWaitUntilTheOverviewIsClosed)
{
    addProfile(QStringLiteral("Nightly"), true, QStringLiteral("2 00:00:00"));
    QWidget opener;
    opener.show();
    QStringList seen;
    bool wasModal = false;
    // Close the overview from inside the wait, as the user would.
    QTimer::singleShot(0, [&] {
        auto *overview = opener.findChild<TFTP_ProfileStatus *>(QStringLiteral("FTP_ProfileStatus"));
        ASSERT_NE(overview, nullptr);
        seen = overview->lines();
        wasModal = overview->isModal();
        QTest::mouseClick(overview->findChild<QPushButton *>(QStringLiteral("DoneButton")), Qt::LeftButton);
    });
    TFTP_ProfileStatus::showAndWait(&opener);
    EXPECT_EQ(seen, QStringList{"Profile Nightly is next scheduled to run at 12:00:00"});
    EXPECT_TRUE(wasModal);
    // It is gone when the wait returns.
    EXPECT_EQ(opener.findChild<TFTP_ProfileStatus *>(), nullptr);
}

} // namespace
