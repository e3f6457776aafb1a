// The profile operations window and the profile wizard driven as a user drives them, by object
// name, with scripted message boxes and the schedule overview closed as soon as it shows: the
// creation walk with its checks, the edit walk, deleting, activating and the instant backup.
#include "ui/profiles/ProfileRules.h"
#include "ui/profiles/TFTP_CreateNewProfile.h"
#include "ui/profiles/TFTP_Profiles.h"

#include "data/Clock.h"
#include "data/ConnectionSettings.h"
#include "data/DateText.h"
#include "data/Table.h"
#include "tests/support/DbfRead.h"
#include "tests/support/FtpServer.h"
#include "tests/support/MainWindowStub.h"
#include "tests/support/ScheduleOverview.h"
#include "tests/support/ScriptedServer.h"
#include "ui/common/ScriptedDialogs.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDeadlineTimer>
#include <QDir>
#include <QEventLoop>
#include <QJsonArray>
#include <QLabel>
#include <QLineEdit>
#include <QPointer>
#include <QPushButton>
#include <QRadioButton>
#include <QSpinBox>
#include <QStackedWidget>
#include <QTableView>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <gtest/gtest.h>

using namespace cvb;

namespace {

class ProfileWizardTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(dir.isValid());
        main = std::make_unique<test::MainWindowStub>(dir.path());
        // The source page logs on to a real server.
        server = std::make_unique<test::PyFtpServer>();
        ASSERT_TRUE(server->isListening()) << server->error().toStdString();
        ConnectionSettings settings;
        settings.server = QStringLiteral("127.0.0.1:%1").arg(server->port());
        settings.user = server->user();
        settings.password = server->password();
        writeConnectionSettings(main->Table_Cnct(), settings);
        // A Wednesday morning.
        Clock::pin(QDateTime(QDate(2026, 12, 9), QTime(10, 0, 30)));
    }
    void TearDown() override
    {
        overviewCloser.reset();
        delete profiles;
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        main.reset();
        Clock::useSystemTime();
    }

    TFTP_Profiles *openProfiles()
    {
        profiles = new TFTP_Profiles(*main);
        profiles->resize(632, 418);
        profiles->show();
        profiles->activateWindow();
        EXPECT_TRUE(QTest::qWaitForWindowActive(profiles));
        return profiles;
    }

    void addProfile(const QString &name, bool active = true, const QStringList &sources = {},
                    const QString &kind = DailyKind, const QString &time = QStringLiteral("09:30 pm"),
                    int interval = 0, const QString &targetFolder = {}, bool detailed = false)
    {
        Table &t = main->Table_Profiles();
        t.insert();
        t.setString("PROFILE", name);
        t.setBool("ACTIVE", active);
        t.setString("KIND", kind);
        t.setString("TIME", time);
        t.setInt("INTERVAL", interval);
        t.setString("TARGET_LOC", targetFolder);
        t.setBool("DETAI_EMAI", detailed);
        t.post();
        for (const QString &source : sources) {
            main->Table_Files().insert();
            main->Table_Files().setString("PROFILE", name);
            main->Table_Files().setString("SOURCE", source);
            main->Table_Files().post();
        }
    }

    template <typename T> static T *child(QWidget *w, const char *name)
    {
        T *found = w->findChild<T *>(QString::fromLatin1(name));
        EXPECT_NE(found, nullptr) << name;
        return found;
    }
    static void click(QWidget *w, const char *button) { child<QAbstractButton>(w, button)->click(); }
    static int page(QWidget *w) { return child<QStackedWidget>(w, "PageControl1")->currentIndex() + 1; }
    static QString nextCaption(QWidget *w) { return child<QPushButton>(w, "NextButton")->text(); }
    static bool shown(QWidget *w, const char *button) { return !child<QWidget>(w, button)->isHidden(); }
    static void doubleClick(QWidget *w, const char *grid, int row)
    {
        auto *view = child<QTableView>(w, grid);
        emit view->doubleClicked(view->model()->index(row, 0));
    }
    static QStringList gridRows(QWidget *w, const char *grid)
    {
        QStringList rows;
        QAbstractItemModel *model = child<QTableView>(w, grid)->model();
        for (int row = 0; row < model->rowCount(); ++row)
            rows << model->index(row, 0).data().toString();
        return rows;
    }

    // A server that logs the wizard on and then holds the listing: it reads the first command of
    // the listing and answers nothing more until the client goes.
    std::unique_ptr<test::ScriptedServer> holdTheListing()
    {
        auto held = std::make_unique<test::ScriptedServer>();
        held->Send("220 ready\r\n")
            .ExpectLine("USER tester")
            .Send("331 password please\r\n")
            .ExpectLine("PASS secret")
            .Send("230 logged on\r\n")
            .ExpectLine("PWD")
            .Send("257 \"/\"\r\n")
            .ExpectLine()
            .ReadToEnd();
        held->Start();
        ConnectionSettings settings = readConnectionSettings(main->Table_Cnct());
        settings.server = QStringLiteral("127.0.0.1:%1").arg(held->Port());
        writeConnectionSettings(main->Table_Cnct(), settings);
        return held;
    }
    // Walks a new profile to its source page and runs `act` once the page waits for the listing;
    // returns when the page's step has ended.
    void waitOnTheSourcePage(TFTP_CreateNewProfile *wizard, const test::ScriptedServer &held,
                             const std::function<void()> &act)
    {
        click(wizard, "NextButton");
        QTest::keyClicks(child<QLineEdit>(wizard, "eProfileName"), "held");
        click(wizard, "NextButton");
        bool acted = false;
        QTimer poll;
        poll.setInterval(5);
        QObject::connect(&poll, &QTimer::timeout, [&] {
            if (acted || held.Lines().size() < 4)
                return;
            acted = true;
            act();
        });
        poll.start();
        // From a running event loop, as in the program: a window released meanwhile would go
        // inside the wait.
        QEventLoop loop;
        QTimer::singleShot(0, &loop, [&] {
            click(wizard, "NextButton");
            loop.quit();
        });
        loop.exec();
        EXPECT_TRUE(acted);
    }
    // Typed key by key, as QTest::keyClicks does for ASCII text.
    static void type(QWidget *w, const QString &text)
    {
        for (const QChar c : text)
            QTest::sendKeyEvent(QTest::Click, w, Qt::Key_unknown, QString(c), Qt::NoModifier);
    }
    static bool goneWithin(const QPointer<QWidget> &window, int ms)
    {
        for (QDeadlineTimer deadline(ms); window && !deadline.hasExpired();) {
            QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
            QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        }
        return window.isNull();
    }

    void closeOverviewWhenShown() { overviewCloser = test::closeScheduleOverviewWhenShown(&overviewShown); }

    // A cursor of its own on the profiles table, on the record of `name`.
    std::unique_ptr<Table> stored(const QString &name) const
    {
        auto t = std::make_unique<Table>();
        t->open(ProfilesTable, ProfileIndex);
        EXPECT_TRUE(t->locate("PROFILE", name)) << name.toStdString();
        return t;
    }
    QStringList storedSources() const
    {
        Table t;
        t.open(SourcesTable, ProfileIndex);
        QStringList rows;
        for (int row = 0; row < t.recordCount(); ++row)
            rows << t.stringAt(row, "PROFILE") + ":" + t.stringAt(row, "SOURCE");
        return rows;
    }

    QTemporaryDir dir;
    QTemporaryDir target;
    ScriptedDialogs dialogs;
    std::unique_ptr<test::PyFtpServer> server;
    std::unique_ptr<test::MainWindowStub> main;
    QPointer<TFTP_Profiles> profiles;
    bool overviewShown = false;
    std::unique_ptr<QTimer> overviewCloser;
};

} // namespace

TEST_F(ProfileWizardTest, CreatingAProfileWalksFiveCheckedPagesAndStoresWhatWasChosen)
{
    openProfiles();
    QPointer<TFTP_CreateNewProfile> wizard = profiles->CreateButtonClick();
    EXPECT_EQ(wizard->objectName(), QStringLiteral("FTP_CreateNewProfile"));
    EXPECT_EQ(wizard->windowTitle(), QStringLiteral("Profiles"));
    EXPECT_EQ(page(wizard), 1);
    EXPECT_TRUE(shown(wizard, "CancelButton") && shown(wizard, "NextButton"));
    EXPECT_FALSE(shown(wizard, "PreviousButton"));
    EXPECT_EQ(main->Table_Profiles().state(), Table::State::Insert);

    click(wizard, "NextButton");
    EXPECT_EQ(page(wizard), 2);
    EXPECT_TRUE(shown(wizard, "PreviousButton"));
    click(wizard, "NextButton");
    EXPECT_EQ(dialogs.texts(), QStringList{NoNameMessage});
    EXPECT_EQ(page(wizard), 2);
    QTest::keyClicks(child<QLineEdit>(wizard, "eProfileName"), "site one");
    EXPECT_EQ(child<QLineEdit>(wizard, "eProfileName")->text(), QStringLiteral("SITE ONE"));
    click(wizard, "NextButton");
    EXPECT_EQ(page(wizard), 3);
    EXPECT_TRUE(child<QRadioButton>(wizard, "rbDaily")->isChecked());
    EXPECT_TRUE(child<QLabel>(wizard, "ClockLabel")->text().startsWith("The current date and time is "));

    // Each schedule kind asks for its own fields.
    dialogs.clear();
    child<QComboBox>(wizard, "cbMinute")->setCurrentText(QString());
    click(wizard, "NextButton");
    child<QComboBox>(wizard, "cbMinute")->setCurrentText("00");
    click(wizard, "rbHourly");
    child<QSpinBox>(wizard, "seInterval")->clear();
    click(wizard, "NextButton");
    EXPECT_EQ(dialogs.texts(), (QStringList{NoTimeMessage, NoIntervalMessage}));
    EXPECT_EQ(page(wizard), 3);
    click(wizard, "rbDaily");
    click(wizard, "cbWednesday");

    click(wizard, "NextButton");
    EXPECT_EQ(page(wizard), 4);
    EXPECT_EQ(main->Table_Files().filter(), QStringLiteral("PROFILE='SITE ONE'"));
    EXPECT_TRUE(main->Table_Files().filtered());
    click(wizard, "NextButton");
    EXPECT_EQ(page(wizard), 5);
    EXPECT_EQ(nextCaption(wizard), QStringLiteral("Finished"));
    EXPECT_FALSE(main->Table_Files().filtered());
    // Without a sender address no report can be mailed.
    EXPECT_FALSE(child<QCheckBox>(wizard, "cbEmail")->isEnabled());

    wizard->setCurrentFolder(target.path());
    click(wizard, "rbRotate");
    closeOverviewWhenShown();
    click(wizard, "NextButton");
    EXPECT_TRUE(overviewShown);
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_TRUE(wizard.isNull());
    EXPECT_EQ(dialogs.texts(), (QStringList{NoTimeMessage, NoIntervalMessage}));

    // As an independent reader sees the table. 10:00 on a Wednesday has passed 01:00 am: a week on.
    const QString path = QDir(dir.path()).filePath(ProfilesTable);
    const QJsonArray records = describeWithDbfread({path}).value(path).toObject().value("records").toArray();
    ASSERT_EQ(records.size(), 1);
    const QJsonObject r = records.first().toObject();
    EXPECT_EQ(r.value("PROFILE").toString(), QStringLiteral("SITE ONE"));
    EXPECT_EQ(r.value("KIND").toString(), DailyKind);
    EXPECT_EQ(r.value("TIME").toString(), QStringLiteral("01:00 am"));
    EXPECT_EQ(r.value("TARGET_LOC").toString(), QDir(target.path()).absolutePath());
    EXPECT_TRUE(r.value("ACTIVE").toBool());
    EXPECT_TRUE(r.value("WED").toBool());
    EXPECT_FALSE(r.value("MON").toBool());
    EXPECT_TRUE(r.value("ROTATE_DIR").toBool());
    EXPECT_FALSE(r.value("DTSTAMP_DI").toBool());
    ProfileSchedule schedule;
    schedule.kind = DailyKind;
    schedule.time = QStringLiteral("01:00 am");
    schedule.days[3] = true;
    EXPECT_EQ(r.value("PERFORM_IN").toString(), ComputeNextRun(schedule, false));
    EXPECT_NE(r.value("PERFORM_IN").toString(), ComputeNextRun(schedule, true));
}

TEST_F(ProfileWizardTest, ADuplicateNameIsRefusedAndAnHourlyProfileStoresItsInterval)
{
    addProfile("SITE ONE");
    openProfiles();
    QPointer<TFTP_CreateNewProfile> wizard = profiles->CreateButtonClick();
    click(wizard, "NextButton");
    QTest::keyClicks(child<QLineEdit>(wizard, "eProfileName"), "site one");
    click(wizard, "NextButton");
    EXPECT_EQ(dialogs.texts(), QStringList{DuplicateNameMessage});
    EXPECT_EQ(page(wizard), 2);
    EXPECT_TRUE(child<QLineEdit>(wizard, "eProfileName")->text().isEmpty());

    QTest::keyClicks(child<QLineEdit>(wizard, "eProfileName"), "hourly");
    // Enter moves on as "Next" does.
    QTest::keyClick(child<QLineEdit>(wizard, "eProfileName"), Qt::Key_Return);
    EXPECT_EQ(page(wizard), 3);
    click(wizard, "rbHourly");
    child<QSpinBox>(wizard, "seInterval")->setValue(6);
    click(wizard, "NextButton");
    click(wizard, "NextButton");
    closeOverviewWhenShown();
    click(wizard, "NextButton");
    auto hourly = stored("HOURLY");
    EXPECT_EQ(hourly->asInt("INTERVAL"), 6);
    EXPECT_EQ(hourly->asString("KIND"), HourlyKind);
    EXPECT_EQ(hourly->asString("TIME"), QStringLiteral("01:00 am"));
    EXPECT_EQ(hourly->asString("PERFORM_IN"), QStringLiteral("2 ") + hourlyTimeText(10, 6));
}

TEST_F(ProfileWizardTest, EditingLoadsTheRecordKeepsItsTargetAndReportChoiceAndActivatesIt)
{
    QTemporaryDir elsewhere;
    addProfile("ALPHA", true, {}, HourlyKind, QStringLiteral("03:15 pm"), 4);
    addProfile("BETA", false, {"/www"}, DailyKind, QStringLiteral("09:30 pm"), 0, target.path(), true);
    // As the start-up catch-up leaves it: the profile windows show the inactive profiles too.
    main->Table_Profiles().setFilter("ACTIVE=True");
    main->Table_Profiles().setFiltered(true);
    openProfiles();
    main->Table_Profiles().first();
    QPointer<TFTP_CreateNewProfile> wizard = profiles->EditButtonClick();
    EXPECT_EQ(page(wizard), 6);
    EXPECT_EQ(nextCaption(wizard), QStringLiteral("Done"));
    EXPECT_FALSE(shown(wizard, "PreviousButton") || shown(wizard, "CancelButton"));
    // The current profile is hourly: only the interval is loaded, the time keeps its defaults.
    EXPECT_EQ(child<QSpinBox>(wizard, "seInterval")->value(), 4);
    EXPECT_EQ(child<QComboBox>(wizard, "cbHour")->currentText(), QStringLiteral("01"));
    EXPECT_EQ(gridRows(wizard, "EditGrid"), (QStringList{"ALPHA", "BETA"}));

    wizard->setCurrentFolder(elsewhere.path());
    doubleClick(wizard, "EditGrid", 1);
    EXPECT_EQ(page(wizard), 3);
    EXPECT_EQ(nextCaption(wizard), QStringLiteral("Next"));
    EXPECT_TRUE(shown(wizard, "PreviousButton") && shown(wizard, "CancelButton"));
    EXPECT_EQ(child<QComboBox>(wizard, "cbHour")->currentText(), QStringLiteral("09"));
    EXPECT_EQ(child<QComboBox>(wizard, "cbMinute")->currentText(), QStringLiteral("30"));
    EXPECT_EQ(child<QComboBox>(wizard, "cbAmPm")->currentText(), QStringLiteral("pm"));
    EXPECT_TRUE(child<QRadioButton>(wizard, "rbDetailed")->isChecked());
    EXPECT_EQ(wizard->currentFolder(), QDir(target.path()).absolutePath());
    // The name of an edited profile stays.
    click(wizard, "PreviousButton");
    EXPECT_EQ(page(wizard), 3);

    click(wizard, "NextButton");
    EXPECT_EQ(main->Table_Files().filter(), QStringLiteral("PROFILE='BETA'"));
    click(wizard, "NextButton");
    closeOverviewWhenShown();
    click(wizard, "NextButton");
    EXPECT_TRUE(overviewShown);
    auto beta = stored("BETA");
    EXPECT_TRUE(beta->asBool("ACTIVE"));
    EXPECT_TRUE(beta->asBool("DETAI_EMAI"));
    EXPECT_EQ(beta->asString("TARGET_LOC"), QDir(target.path()).absolutePath());
    EXPECT_EQ(beta->asString("TIME"), QStringLiteral("09:30 pm"));
    EXPECT_TRUE(dialogs.texts().isEmpty());
}

TEST_F(ProfileWizardTest, CancellingANewProfileDropsItAndTheSourcesItStoredButAnEditKeepsThem)
{
    addProfile("KEPT", true, {"/kept"});
    openProfiles();
    QPointer<TFTP_CreateNewProfile> wizard = profiles->CreateButtonClick();
    click(wizard, "NextButton");
    QTest::keyClicks(child<QLineEdit>(wizard, "eProfileName"), "dropped");
    click(wizard, "NextButton");
    click(wizard, "NextButton");
    ASSERT_EQ(page(wizard), 4);
    // What a drop on the source list stores.
    Table &files = main->Table_Files();
    files.insert();
    files.setString("PROFILE", "DROPPED");
    files.setString("SOURCE", "//index.html");
    files.post();
    click(wizard, "NextButton");
    click(wizard, "CancelButton");
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_TRUE(wizard.isNull());
    EXPECT_EQ(main->Table_Profiles().recordCount(), 1);
    EXPECT_EQ(storedSources(), QStringList{"KEPT:/kept"});

    wizard = profiles->EditButtonClick();
    doubleClick(wizard, "EditGrid", 0);
    click(wizard, "NextButton");
    click(wizard, "CancelButton");
    EXPECT_EQ(storedSources(), QStringList{"KEPT:/kept"});
    EXPECT_FALSE(main->Table_Files().filtered());
    EXPECT_EQ(main->Table_Profiles().state(), Table::State::Browse);
}

TEST_F(ProfileWizardTest, DeletingAsksFirstRemovesTheSourcesAndMentionsOtherActiveProfiles)
{
    addProfile("A", true, {"/a1", "/a2"});
    addProfile("B", false, {"/b"});
    addProfile("C", false);
    openProfiles();

    QPointer<TFTP_CreateNewProfile> wizard = profiles->DeleteButtonClick();
    EXPECT_EQ(page(wizard), 7);
    EXPECT_TRUE(shown(wizard, "CancelButton"));
    EXPECT_FALSE(shown(wizard, "NextButton") || shown(wizard, "PreviousButton"));
    dialogs.prepareAnswers({Answer::No});
    doubleClick(wizard, "DeleteGrid", 1);
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_TRUE(wizard.isNull());
    EXPECT_EQ(dialogs.texts(), QStringList{DeleteQuestion});
    EXPECT_EQ(main->Table_Profiles().recordCount(), 3);

    // B goes while A is active: the note.
    dialogs.clear();
    dialogs.prepareAnswers({Answer::Yes});
    wizard = profiles->DeleteButtonClick();
    doubleClick(wizard, "DeleteGrid", 1);
    EXPECT_EQ(dialogs.texts(), (QStringList{DeleteQuestion, ActiveProfilesNote}));
    EXPECT_EQ(storedSources(), (QStringList{"A:/a1", "A:/a2"}));

    // A goes, and only the inactive C is left: no note.
    dialogs.clear();
    dialogs.prepareAnswers({Answer::Yes});
    wizard = profiles->DeleteButtonClick();
    doubleClick(wizard, "DeleteGrid", 0);
    EXPECT_EQ(dialogs.texts(), QStringList{DeleteQuestion});
    EXPECT_TRUE(storedSources().isEmpty());
    EXPECT_EQ(gridRows(profiles->DeleteButtonClick(), "DeleteGrid"), QStringList{"C"});
}

TEST_F(ProfileWizardTest, TheActivationGridStoresTheTickedBoxesOnDone)
{
    addProfile("A");
    addProfile("B", false);
    openProfiles();
    QPointer<TFTP_CreateNewProfile> wizard = profiles->ActivateButtonClick();
    EXPECT_EQ(page(wizard), 8);
    EXPECT_EQ(nextCaption(wizard), QStringLiteral("Done"));
    QAbstractItemModel *grid = child<QTableView>(wizard, "ActivationGrid")->model();
    EXPECT_EQ(grid->index(0, 1).data(Qt::CheckStateRole).toInt(), Qt::Checked);
    EXPECT_EQ(grid->index(1, 1).data(Qt::CheckStateRole).toInt(), Qt::Unchecked);
    grid->setData(grid->index(0, 1), Qt::Unchecked, Qt::CheckStateRole);
    grid->setData(grid->index(1, 1), Qt::Checked, Qt::CheckStateRole);
    EXPECT_EQ(grid->index(1, 1).data(Qt::CheckStateRole).toInt(), Qt::Checked);
    // The first change is stored by moving on, the second only by Done.
    EXPECT_FALSE(stored("A")->asBool("ACTIVE"));
    EXPECT_FALSE(stored("B")->asBool("ACTIVE"));
    closeOverviewWhenShown();
    click(wizard, "NextButton");
    EXPECT_TRUE(overviewShown);
    EXPECT_TRUE(stored("B")->asBool("ACTIVE"));

    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_TRUE(wizard.isNull());
    EXPECT_EQ(main->menuShown, 0);
    click(profiles, "DoneButton");
    EXPECT_EQ(main->menuShown, 1);
}

TEST_F(ProfileWizardTest, TheInstantBackupPageQueuesAnyProfileAndGivesTheMenuBack)
{
    addProfile("ACTIVE ONE");
    addProfile("RESTING", false);
    QPointer<TFTP_CreateNewProfile> wizard = TFTP_CreateNewProfile::forInstantBackup(*main, nullptr);
    wizard->show();
    EXPECT_EQ(page(wizard), 9);
    EXPECT_FALSE(shown(wizard, "PreviousButton") || shown(wizard, "CancelButton"));
    EXPECT_EQ(nextCaption(wizard), QStringLiteral("Done"));
    EXPECT_EQ(gridRows(wizard, "InstantGrid"), (QStringList{"ACTIVE ONE", "RESTING"}));
    doubleClick(wizard, "InstantGrid", 1);
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_TRUE(wizard.isNull());
    EXPECT_EQ(main->menuShown, 1);
    Table &queue = main->Table_Queue();
    queue.refresh();
    ASSERT_EQ(queue.recordCount(), 1);
    queue.first();
    EXPECT_EQ(queue.asString("PROFILE"), QStringLiteral("RESTING"));
    EXPECT_EQ(queue.asString("TIME_SUBMI"), DateText::moment(Clock::now()));
}

TEST_F(ProfileWizardTest, WhileTheSourcePageListsPreviousAndNextAreBusyAndEscapeCancelsOnceTheWaitHasEnded)
{
    const auto held = holdTheListing();
    openProfiles();
    QPointer<TFTP_CreateNewProfile> wizard = profiles->CreateButtonClick();
    waitOnTheSourcePage(wizard, *held, [&] {
        click(wizard, "PreviousButton");
        click(wizard, "NextButton");
        EXPECT_EQ(page(wizard), 4);
        QTest::keyClick(wizard, Qt::Key_Escape);
    });
    // The interrupted listing is no failure to tell the user of, and the wizard goes with its record.
    ASSERT_EQ(dialogs.texts().size(), 2) << dialogs.texts().join('\n').toStdString();
    for (const QString &text : dialogs.texts())
        EXPECT_TRUE(text.contains("Busy performing current action.")) << text.toStdString();
    EXPECT_TRUE(goneWithin(wizard.data(), 10000));
    EXPECT_EQ(main->Table_Profiles().state(), Table::State::Browse);
    EXPECT_EQ(main->Table_Profiles().recordCount(), 0);
    EXPECT_FALSE(main->Table_Files().filtered());
    EXPECT_TRUE(held->WaitDone()) << "the held connection was not closed";
    EXPECT_TRUE(held->Failures().isEmpty()) << held->Failures().join('\n').toStdString();
}

TEST_F(ProfileWizardTest, ClosingTheProfileOperationsWhileTheSourcePageListsClosesBothOnceTheWaitHasEnded)
{
    const auto held = holdTheListing();
    openProfiles();
    QPointer<TFTP_CreateNewProfile> wizard = profiles->CreateButtonClick();
    waitOnTheSourcePage(wizard, *held, [&] { click(profiles, "DoneButton"); });
    EXPECT_TRUE(goneWithin(profiles.data(), 10000));
    EXPECT_TRUE(wizard.isNull());
    EXPECT_EQ(main->menuShown, 1);
    EXPECT_TRUE(dialogs.texts().isEmpty()) << dialogs.texts().join('\n').toStdString();
    EXPECT_EQ(main->Table_Profiles().state(), Table::State::Browse);
    EXPECT_TRUE(held->WaitDone());
}

TEST_F(ProfileWizardTest, TheNameEntryUpperCasesInFullAndRefusesWhatTheFieldCannotKeep)
{
    openProfiles();
    QPointer<TFTP_CreateNewProfile> wizard = profiles->CreateButtonClick();
    click(wizard, "NextButton");
    auto *name = child<QLineEdit>(wizard, "eProfileName");
    type(name, QString::fromUtf8("straße"));
    EXPECT_EQ(name->text(), QStringLiteral("STRASSE"));
    QTest::keyClick(name, Qt::Key_A, Qt::ControlModifier);
    QTest::keyClick(name, Qt::Key_Backspace);
    // Two-byte letters: the 21st would not fit the field's 40 bytes.
    type(name, QString(21, QChar(0xE9)));
    EXPECT_EQ(name->text(), QString(20, QChar(0xC9)));
    EXPECT_EQ(main->Table_Profiles().asString("PROFILE"), QString(20, QChar(0xC9)));
}
