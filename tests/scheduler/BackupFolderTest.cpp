#include "scheduler/BackupFolder.h"

#include <QDir>
#include <QTemporaryDir>
#include <gtest/gtest.h>

namespace {

const QLocale english(QLocale::English, QLocale::UnitedStates);
const QDateTime evening(QDate(2026, 12, 7), QTime(20, 56, 5));

TEST(BackupFolder, DateStampFollowsThePatternWithTheSystemsNames)
{
    EXPECT_EQ(cvb::dateStampedFolderName(evening, english),
              QStringLiteral("Monday, December 7, 2026 - 08!56!05 PM"));
    // Midnight and noon on the 12-hour clock, single-digit day, AM.
    EXPECT_EQ(cvb::dateStampedFolderName(QDateTime(QDate(2027, 2, 1), QTime(0, 3, 9)), english),
              QStringLiteral("Monday, February 1, 2027 - 12!03!09 AM"));
    EXPECT_EQ(cvb::dateStampedFolderName(QDateTime(QDate(2027, 2, 1), QTime(12, 0, 0)), english),
              QStringLiteral("Monday, February 1, 2027 - 12!00!00 PM"));
    const QLocale german(QLocale::German, QLocale::Germany);
    EXPECT_EQ(cvb::dateStampedFolderName(QDateTime(QDate(2026, 3, 1), QTime(9, 5, 0)), german),
              QStringLiteral("Sonntag, März 1, 2026 - 09!05!00 AM"));
}

TEST(BackupFolder, RotationCyclesThroughThreeLettersAndStopsOnStrangeValues)
{
    EXPECT_EQ(cvb::nextRotationLetter(QString()), QStringLiteral("A"));
    EXPECT_EQ(cvb::nextRotationLetter(QStringLiteral("A")), QStringLiteral("B"));
    EXPECT_EQ(cvb::nextRotationLetter(QStringLiteral("B")), QStringLiteral("C"));
    EXPECT_EQ(cvb::nextRotationLetter(QStringLiteral("C")), QStringLiteral("A"));
    EXPECT_FALSE(cvb::nextRotationLetter(QStringLiteral("D")));
    EXPECT_FALSE(cvb::nextRotationLetter(QStringLiteral("a")));
}

TEST(BackupFolder, PlanDropsOneTrailingSeparatorAndPrefersRotation)
{
    cvb::BackupFolderPlan p =
        cvb::planBackupFolder(QStringLiteral("/srv/site/"), false, true, {}, evening, english);
    EXPECT_EQ(p.folder, QStringLiteral("/srv/site/Monday, December 7, 2026 - 08!56!05 PM"));
    EXPECT_TRUE(p.createFolder);
    EXPECT_FALSE(p.newLastDir);

    p = cvb::planBackupFolder(QStringLiteral("/srv/site//"), false, true, {}, evening, english);
    EXPECT_TRUE(p.folder.startsWith(QStringLiteral("/srv/site//Monday")));

    p = cvb::planBackupFolder(QStringLiteral("/srv/site"), true, true, QStringLiteral("C"), evening, english);
    EXPECT_EQ(p.folder, QStringLiteral("/srv/site/A"));
    EXPECT_EQ(p.newLastDir, QStringLiteral("A"));
    EXPECT_TRUE(p.createFolder);

    p = cvb::planBackupFolder(QStringLiteral("/srv/site/"), true, false, QStringLiteral("X"), evening,
                              english);
    EXPECT_EQ(p.folder, QStringLiteral("/srv/site"));
    EXPECT_FALSE(p.newLastDir);
    EXPECT_TRUE(p.createFolder);

    p = cvb::planBackupFolder(QStringLiteral("/srv/site/"), false, false, QStringLiteral("B"), evening,
                              english);
    EXPECT_EQ(p.folder, QStringLiteral("/srv/site"));
    EXPECT_FALSE(p.createFolder);
    EXPECT_FALSE(p.newLastDir);
}

TEST(BackupFolder, CreatesOneLevelOnlyAndReportsAnExistingFolder)
{
    QTemporaryDir tmp;
    ASSERT_TRUE(tmp.isValid());
    EXPECT_TRUE(cvb::createFolderLevel(tmp.filePath(QStringLiteral("A"))));
    EXPECT_FALSE(cvb::createFolderLevel(tmp.filePath(QStringLiteral("A"))));
    EXPECT_FALSE(cvb::createFolderLevel(tmp.filePath(QStringLiteral("missing/B"))));
    EXPECT_FALSE(QDir(tmp.filePath(QStringLiteral("missing"))).exists());
}

} // namespace
