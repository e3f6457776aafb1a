// The profile rules without a window: the next run stored on saving, the schedule fields, and the
// delete and clean-up walks over the sources table.
#include "ui/profiles/ProfileRules.h"

#include "data/Clock.h"
#include "data/DateText.h"
#include "data/Layouts.h"
#include "data/Table.h"
#include "tests/support/MainWindowStub.h"

#include <QTemporaryDir>
#include <gtest/gtest.h>

using namespace cvb;

namespace {

// 2026-12-09 is a Wednesday.
const QDateTime WednesdayTen(QDate(2026, 12, 9), QTime(10, 0, 30));

ProfileSchedule dailyOnWednesday(const QString &time)
{
    ProfileSchedule s;
    s.kind = DailyKind;
    s.time = time;
    s.days[3] = true;
    return s;
}

class ClockPinned : public ::testing::Test
{
protected:
    void SetUp() override { Clock::pin(WednesdayTen); }
    void TearDown() override { Clock::useSystemTime(); }
};

} // namespace

TEST_F(ClockPinned, ASavedDailyRunLaterTodayIsTodayAndOneThatHasGoneByIsNextWeek)
{
    const QString today = DateText::date(WednesdayTen.date());
    EXPECT_EQ(nextRunOnSave(dailyOnWednesday(QStringLiteral("11:15 am"))),
              QStringLiteral("1 ") + today + QStringLiteral("|11:15:00"));
    // The time of today has passed (and the current minute counts as passed): a week on.
    const QString nextWeek = DateText::date(WednesdayTen.date().addDays(7));
    EXPECT_EQ(nextRunOnSave(dailyOnWednesday(QStringLiteral("09:30 am"))),
              QStringLiteral("1 ") + nextWeek + QStringLiteral("|09:30:00"));
    EXPECT_EQ(nextRunOnSave(dailyOnWednesday(QStringLiteral("10:00 am"))),
              QStringLiteral("1 ") + nextWeek + QStringLiteral("|10:00:00"));
    // With no later day ticked this week the run counted for today stands when it lies ahead,
    // and moves to the next ticked day when it does not.
    ProfileSchedule monday = dailyOnWednesday(QStringLiteral("08:00 pm"));
    monday.days = {};
    monday.days[1] = true;
    EXPECT_EQ(nextRunOnSave(monday), ComputeNextRun(monday, true));
    monday.time = QStringLiteral("08:00 am");
    EXPECT_EQ(nextRunOnSave(monday), ComputeNextRun(monday, false));
    // The hourly form has no date and always lies ahead.
    ProfileSchedule hourly;
    hourly.kind = HourlyKind;
    hourly.interval = 6;
    EXPECT_EQ(nextRunOnSave(hourly), ComputeNextRun(hourly, true));
}

TEST(ProfileRules, ScheduleChecksNameWhatIsMissingForTheKind)
{
    ScheduleFields fields;
    EXPECT_EQ(scheduleProblem(QString(), fields), NoKindMessage);
    EXPECT_EQ(scheduleProblem(DailyKind, fields), QString());
    EXPECT_EQ(fields.timeText(), QStringLiteral("01:00 am"));
    for (QString ScheduleFields::*part :
         {&ScheduleFields::hour, &ScheduleFields::minute, &ScheduleFields::ampm}) {
        ScheduleFields missing;
        missing.*part = QString();
        EXPECT_EQ(scheduleProblem(DailyKind, missing), NoTimeMessage);
        EXPECT_EQ(scheduleProblem(HourlyKind, missing), QString());
    }
    fields.interval.clear();
    EXPECT_EQ(scheduleProblem(HourlyKind, fields), NoIntervalMessage);
    EXPECT_EQ(scheduleProblem(DailyKind, fields), QString());
    // Only an upper-case D makes a daily schedule.
    EXPECT_EQ(scheduleProblem(QStringLiteral("daily"), fields), NoIntervalMessage);
}

TEST(ProfileRules, CleaningUpAfterACancelledProfileRemovesOnlyTheRowsAddedSince)
{
    QTemporaryDir dir;
    test::MainWindowStub main(dir.path());
    Table &files = main.Table_Files();
    auto add = [&files](const QString &profile, const QString &source) {
        files.insert();
        files.setString(QStringLiteral("PROFILE"), profile);
        files.setString(QStringLiteral("SOURCE"), source);
        files.post();
    };
    add(QStringLiteral("NEW"), QStringLiteral("/old"));
    add(QStringLiteral("OTHER"), QStringLiteral("/kept"));
    const QList<int> before = sourceRecords(files, QStringLiteral("NEW"));
    ASSERT_EQ(before.size(), 1);
    add(QStringLiteral("NEW"), QStringLiteral("/a"));
    add(QStringLiteral("NEW"), QStringLiteral("/b"));
    add(QStringLiteral("OTHER"), QStringLiteral("/also kept"));

    removeSourcesExcept(files, QStringLiteral("NEW"), before);
    EXPECT_FALSE(files.filtered());
    QStringList left;
    for (int row = 0; row < files.recordCount(); ++row)
        left << files.stringAt(row, QStringLiteral("SOURCE"));
    EXPECT_EQ(left, (QStringList{"/old", "/kept", "/also kept"}));
}

TEST(ProfileRules, NamesAreComparedAsTheTableKeepsThemAndTooLongTargetsAreRefused)
{
    QTemporaryDir dir;
    test::MainWindowStub main(dir.path());
    Table &profiles = main.Table_Profiles();
    profiles.insert();
    profiles.setString(QStringLiteral("PROFILE"), QStringLiteral("SITE"));
    profiles.post();
    Table own;
    own.open(ProfilesTable);
    EXPECT_EQ(nameProblem(own, QStringLiteral("   ")), NoNameMessage);
    EXPECT_EQ(nameProblem(own, QStringLiteral("SITE  ")), DuplicateNameMessage);
    EXPECT_EQ(nameProblem(own, QStringLiteral(" SITE")), QString());
    // A profile stored through another cursor after this one was opened counts too.
    profiles.insert();
    profiles.setString(QStringLiteral("PROFILE"), QStringLiteral("LATER"));
    profiles.post();
    EXPECT_EQ(nameProblem(own, QStringLiteral("LATER")), DuplicateNameMessage);

    EXPECT_TRUE(targetProblem(QLatin1Char('/') + QString(199, QLatin1Char('a'))).isEmpty());
    EXPECT_FALSE(targetProblem(QLatin1Char('/') + QString(199, QChar(0xE9))).isEmpty());
}

TEST(ProfileRules, ATypedNameIsUpperCasedInFullWithTheCursorBehindWhatWasTyped)
{
    // "ß" grows to "SS": the next letter goes after both, not between them.
    QString text = QString::fromUtf8("straß");
    int cursor = 5;
    ASSERT_TRUE(acceptTypedProfileName(text, cursor));
    EXPECT_EQ(text, QStringLiteral("STRASS"));
    EXPECT_EQ(cursor, 6);
    text.insert(cursor, QLatin1Char('e'));
    ++cursor;
    ASSERT_TRUE(acceptTypedProfileName(text, cursor));
    EXPECT_EQ(text, QStringLiteral("STRASSE"));
    // Typed in the middle, the cursor stays where the user is.
    text = QString::fromUtf8("aßb");
    cursor = 2;
    ASSERT_TRUE(acceptTypedProfileName(text, cursor));
    EXPECT_EQ(text, QStringLiteral("ASSB"));
    EXPECT_EQ(cursor, 3);
}

TEST(ProfileRules, ANameTheFieldWouldCutIsRefusedByItsBytes)
{
    ASSERT_EQ(profileFieldWidth(), 40);
    QString fits = QString(20, QChar(0xE9));
    int cursor = 20;
    ASSERT_TRUE(acceptTypedProfileName(fits, cursor));
    EXPECT_EQ(fits, QString(20, QChar(0xC9)));
    // 21 two-byte letters would be cut to the same 40 bytes whatever the last one is.
    for (const QChar last : {QChar(0xE9), QChar(0xE8)}) {
        QString longer = QString(20, QChar(0xE9)) + last;
        int at = 21;
        EXPECT_FALSE(acceptTypedProfileName(longer, at));
        EXPECT_EQ(longer, QString(20, QChar(0xE9)) + last);
        EXPECT_EQ(at, 21);
    }
    // Upper-casing that lengthens a name past the field counts too: "ŉ" (2 bytes) is "ʼN" (3).
    QString grows = QString(38, QLatin1Char('a')) + QChar(0x149);
    ASSERT_EQ(grows.toUtf8().size(), 40);
    cursor = 39;
    EXPECT_FALSE(acceptTypedProfileName(grows, cursor));
    QString ascii = QString(40, QLatin1Char('a'));
    cursor = 40;
    EXPECT_TRUE(acceptTypedProfileName(ascii, cursor));
}
