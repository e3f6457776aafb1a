// The pages of the profile wizard on their own: what each checks and what it writes into the
// record under the profiles cursor, with bare controls and no wizard around them; and the one
// place where the wizard hands its sheet's controls to a page, the day boxes.
#include "ui/profiles/ChoicePage.h"
#include "ui/profiles/NamePage.h"
#include "ui/profiles/ProfileRules.h"
#include "ui/profiles/SchedulePage.h"
#include "ui/profiles/TFTP_CreateNewProfile.h"
#include "ui/profiles/TargetPage.h"

#include "data/Table.h"
#include "tests/support/MainWindowStub.h"
#include "ui/common/ScriptedDialogs.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QLabel>
#include <QLineEdit>
#include <QListView>
#include <QRadioButton>
#include <QSignalSpy>
#include <QSpinBox>
#include <QTableView>
#include <QTest>
#include <gtest/gtest.h>

using namespace cvb;

namespace {

class ProfilePages : public ::testing::Test
{
protected:
    void SetUp() override { ASSERT_TRUE(dir.isValid()); }

    Table &profiles() const { return main.Table_Profiles(); }
    void addProfile(const QString &name, const QString &emailAddress = {})
    {
        profiles().insert();
        profiles().setString("PROFILE", name);
        profiles().setString("EM_ADDR", emailAddress);
        profiles().post();
    }

    QTemporaryDir dir;
    test::MainWindowStub main{dir.path()};
    ScriptedDialogs dialogs;
    ProfileDraft draft{main.Table_Profiles()};
};

} // namespace

TEST_F(ProfilePages, ABoundControlPutsAStoredRecordIntoEditAndReleasingTheDraftRestoresIt)
{
    addProfile("SITE", "old@example.org");
    draft.writeField("EM_ADDR", QStringLiteral("new@example.org"));
    EXPECT_TRUE(draft.owned());
    EXPECT_EQ(profiles().state(), Table::State::Edit);
    draft.release();
    EXPECT_EQ(profiles().state(), Table::State::Browse);
    EXPECT_EQ(profiles().asString("EM_ADDR"), QStringLiteral("old@example.org"));
    // With no record there is nothing to write into.
    profiles().deleteRecord();
    draft.writeField("EM_ADDR", QStringLiteral("x"));
    EXPECT_FALSE(draft.owned());
    EXPECT_TRUE(dialogs.texts().isEmpty());
}

TEST_F(ProfilePages, TheNamePageWritesWhatIsTypedAndEmptiesANameThatIsTaken)
{
    addProfile("SITE ONE");
    Table own;
    own.open(ProfilesTable);
    draft.startNew();
    QLineEdit entry;
    NamePage page(&entry, draft, own);
    EXPECT_EQ(page.problem(), NoNameMessage);
    QTest::keyClicks(&entry, "site one");
    EXPECT_EQ(profiles().asString("PROFILE"), QStringLiteral("SITE ONE"));
    const QString problem = page.problem();
    EXPECT_EQ(problem, DuplicateNameMessage);
    page.refused(problem);
    EXPECT_TRUE(entry.text().isEmpty());
    EXPECT_TRUE(profiles().asString("PROFILE").isEmpty());
    QTest::keyClicks(&entry, "site two");
    EXPECT_TRUE(page.problem().isEmpty());
}

TEST_F(ProfilePages, TheSchedulePageStoresTheTimeForBothKindsAndTheIntervalOnlyForHourly)
{
    QRadioButton daily, hourly;
    std::array<QCheckBox, 7> days;
    QComboBox hour, minute, ampm;
    QSpinBox interval;
    for (QComboBox *box : {&hour, &minute, &ampm})
        box->setEditable(true);
    interval.setRange(1, 23);
    SchedulePage::Controls controls{&daily, &hourly, {}, &hour, &minute, &ampm, &interval};
    for (std::size_t day = 0; day < days.size(); ++day)
        controls.days[day] = &days[day];
    draft.startNew();
    profiles().setInt("INTERVAL", 9);
    SchedulePage page(controls, draft);
    page.show();
    EXPECT_TRUE(daily.isChecked());
    page.showFields(ScheduleFields());
    minute.setCurrentText("30");
    ampm.setCurrentText("pm");
    interval.setValue(6);
    ASSERT_TRUE(page.problem().isEmpty());
    page.store();
    EXPECT_EQ(profiles().asString("TIME"), QStringLiteral("01:30 pm"));
    EXPECT_EQ(profiles().asInt("INTERVAL"), 9);

    hourly.click();
    EXPECT_EQ(profiles().asString("KIND"), HourlyKind);
    interval.clear();
    EXPECT_EQ(page.problem(), NoIntervalMessage);
    interval.setValue(6);
    page.store();
    EXPECT_EQ(profiles().asInt("INTERVAL"), 6);
}

TEST_F(ProfilePages, EachDayBoxOfTheWizardWritesItsOwnDay)
{
    TFTP_CreateNewProfile wizard(main);
    wizard.start(ProfileOperation::Create);
    const std::pair<const char *, const char *> boxes[] = {
        {"cbSunday", "SUN"},   {"cbMonday", "MON"}, {"cbTuesday", "TUE"}, {"cbWednesday", "WED"},
        {"cbThursday", "THU"}, {"cbFriday", "FRI"}, {"cbSaturday", "SAT"}};
    for (const auto &[box, field] : boxes) {
        wizard.findChild<QCheckBox *>(box)->click();
        for (const auto &[other, otherField] : boxes)
            EXPECT_EQ(profiles().asBool(otherField), other == box) << box << " " << otherField;
        wizard.findChild<QCheckBox *>(box)->click();
    }
}

TEST_F(ProfilePages, TheTargetPageShowsAnEditedProfilesOptionsAndStoresTheFolderAsShown)
{
    QComboBox drives;
    QListView folders;
    QLabel folder;
    QRadioButton replace, dateStamp, rotate, summary, detailed;
    QCheckBox email;
    QLineEdit address;
    QWidget reportOptions;
    const TargetPage::Controls controls{&drives, &folders, &folder,        &replace, &dateStamp, &rotate,
                                        &email,  &address, &reportOptions, &summary, &detailed};
    QTemporaryDir target;
    addProfile("SITE");
    profiles().edit();
    profiles().setString("TARGET_LOC", target.path());
    profiles().setBool("DTSTAMP_DI", true);
    profiles().setBool("DETAI_EMAI", true);
    profiles().post();
    TargetPage page(controls, draft);
    EXPECT_EQ(page.currentFolder(), QDir::currentPath());
    ASSERT_TRUE(draft.editCurrent());
    page.showStoredOptions();
    EXPECT_TRUE(dateStamp.isChecked());
    EXPECT_TRUE(detailed.isChecked());
    EXPECT_EQ(page.currentFolder(), QDir(target.path()).absolutePath());

    rotate.click();
    EXPECT_FALSE(profiles().asBool("DTSTAMP_DI"));
    EXPECT_TRUE(profiles().asBool("ROTATE_DIR"));
    page.setCurrentFolder(dir.path());
    ASSERT_TRUE(page.problem().isEmpty());
    page.store();
    EXPECT_EQ(profiles().asString("TARGET_LOC"), QDir(dir.path()).absolutePath());
    // Shown again for another profile whose folder has gone, the folder stays as it is.
    profiles().setString("TARGET_LOC", QDir(target.path()).filePath("gone"));
    page.showStoredOptions();
    EXPECT_EQ(page.currentFolder(), QDir(dir.path()).absolutePath());
}

TEST_F(ProfilePages, ADoubleClickBesideTheRowsOfAChoiceGridChoosesNothing)
{
    addProfile("A");
    addProfile("B");
    profiles().last();
    QTableView grid;
    ChoicePage page(ProfileOperation::Delete, &grid, profiles());
    QSignalSpy chosen(&page, &ChoicePage::chosen);
    emit grid.doubleClicked(QModelIndex());
    EXPECT_EQ(chosen.count(), 0);
    EXPECT_EQ(profiles().asString("PROFILE"), QStringLiteral("B"));
    emit grid.doubleClicked(grid.model()->index(0, 0));
    EXPECT_EQ(chosen.count(), 1);
    EXPECT_EQ(profiles().asString("PROFILE"), QStringLiteral("A"));
}
