#include "ui/profiles/TFTP_CreateNewProfile.h"

#include "ui_TFTP_CreateNewProfile.h"

#include "data/Clock.h"
#include "data/ConnectionSettings.h"
#include "data/DataError.h"
#include "data/DateText.h"
#include "data/Filter.h"
#include "data/Layouts.h"
#include "data/Table.h"
#include "dialup/NetDial.h"
#include "ui/browser/TRemoteBrowser.h"
#include "ui/common/Dialogs.h"
#include "ui/common/MainWindowAccess.h"
#include "ui/profiles/ChoicePage.h"
#include "ui/profiles/NamePage.h"
#include "ui/profiles/ProfileRules.h"
#include "ui/profiles/SchedulePage.h"
#include "ui/profiles/SourcePage.h"
#include "ui/profiles/TargetPage.h"
#include "ui/schedule/TFTP_ProfileStatus.h"

#include <QCloseEvent>
#include <QShortcut>
#include <QTimer>
#include <algorithm>
#include <utility>

namespace cvb {

namespace {

const QString Profile = QStringLiteral("PROFILE");
const QString NextCaption = QStringLiteral("Next");
const QString FinishedCaption = QStringLiteral("Finished");
const QString DoneCaption = QStringLiteral("Done");

bool editing(const Table &table)
{
    return table.state() == Table::State::Edit || table.state() == Table::State::Insert;
}

} // namespace

TFTP_CreateNewProfile::TFTP_CreateNewProfile(MainWindowAccess &main, QWidget *parent)
    : QWidget(parent), ui_(std::make_unique<Ui::TFTP_CreateNewProfile>()), main_(main),
      table1_(new Table(QStringLiteral("Table1"), this)), dial_(new TcvbNetDial(this)),
      draft_(main.Table_Profiles())
{
    ui_->setupUi(this);
    setObjectName(QStringLiteral("FTP_CreateNewProfile"));
    setAttribute(Qt::WA_DeleteOnClose);
    setAutoFillBackground(true);
    dial_->setObjectName(QStringLiteral("cvbNetDial1"));
    table1_->open(ProfilesTable);

    // The pages, each with the controls of its sheet.
    name_ = new NamePage(ui_->eProfileName, draft_, *table1_, this);
    SchedulePage::Controls schedule;
    schedule.daily = ui_->rbDaily;
    schedule.hourly = ui_->rbHourly;
    schedule.days = {ui_->cbSunday,   ui_->cbMonday, ui_->cbTuesday, ui_->cbWednesday,
                     ui_->cbThursday, ui_->cbFriday, ui_->cbSaturday};
    schedule.hour = ui_->cbHour;
    schedule.minute = ui_->cbMinute;
    schedule.ampm = ui_->cbAmPm;
    schedule.interval = ui_->seInterval;
    schedule_ = new SchedulePage(schedule, draft_, this);
    sources_ = new SourcePage(ui_->BrowserHost, ui_->SourceHost, dial_, this);
    TargetPage::Controls target;
    target.drives = ui_->DriveComboBox1;
    target.folders = ui_->DirectoryListBox1;
    target.folder = ui_->DirectoryLabel;
    target.replace = ui_->rbReplace;
    target.dateStamp = ui_->rbDateStamp;
    target.rotate = ui_->rbRotate;
    target.email = ui_->cbEmail;
    target.address = ui_->eEmailAddress;
    target.reportOptions = ui_->ReportOptions;
    target.summary = ui_->rbSummary;
    target.detailed = ui_->rbDetailed;
    target_ = new TargetPage(target, draft_, this);
    Table &profiles = main_.Table_Profiles();
    editChoice_ = new ChoicePage(ProfileOperation::Edit, ui_->EditGrid, profiles, this);
    deleteChoice_ = new ChoicePage(ProfileOperation::Delete, ui_->DeleteGrid, profiles, this);
    activation_ = new ChoicePage(ProfileOperation::Activate, ui_->ActivationGrid, *table1_, this);
    instantChoice_ = new ChoicePage(ProfileOperation::InstantBackup, ui_->InstantGrid, *table1_, this);
    connect(editChoice_, &ChoicePage::chosen, this, &TFTP_CreateNewProfile::editChosen);
    connect(deleteChoice_, &ChoicePage::chosen, this, &TFTP_CreateNewProfile::deleteChosen);
    connect(instantChoice_, &ChoicePage::chosen, this, &TFTP_CreateNewProfile::queueChosen);

    auto *timer = new QTimer(this);
    timer->setObjectName(QStringLiteral("Timer1"));
    timer->setInterval(1000);
    connect(timer, &QTimer::timeout, this, &TFTP_CreateNewProfile::Timer1Timer);
    timer->start();
    Timer1Timer();

    connect(ui_->NextButton, &QPushButton::clicked, this, &TFTP_CreateNewProfile::NextButtonClick);
    connect(ui_->PreviousButton, &QPushButton::clicked, this, &TFTP_CreateNewProfile::PreviousButtonClick);
    connect(ui_->CancelButton, &QPushButton::clicked, this, &TFTP_CreateNewProfile::CancelButtonClick);
    // The keyboard: Enter is "Next" (whatever its caption), Escape is "Cancel", where they show.
    const std::pair<QKeySequence, QPushButton *> keys[] = {{QKeySequence(Qt::Key_Escape), ui_->CancelButton},
                                                           {QKeySequence(Qt::Key_Return), ui_->NextButton},
                                                           {QKeySequence(Qt::Key_Enter), ui_->NextButton}};
    for (const auto &[key, button] : keys) {
        connect(new QShortcut(key, this), &QShortcut::activated, button, [button = button] {
            if (button->isVisible())
                button->click();
        });
    }

    ui_->PreviousButton->hide();
    turnTo(1);
}

TFTP_CreateNewProfile::~TFTP_CreateNewProfile()
{
    draft_.release();
}

TFTP_CreateNewProfile *TFTP_CreateNewProfile::forInstantBackup(MainWindowAccess &main, QWidget *parent)
{
    auto *wizard = new TFTP_CreateNewProfile(main, parent);
    wizard->start(ProfileOperation::InstantBackup);
    return wizard;
}

void TFTP_CreateNewProfile::start(ProfileOperation operation)
{
    switch (operation) {
    case ProfileOperation::Create:
        setUpButtons(true, false, true);
        draft_.startNew();
        showRecord();
        schedule_->showFields(ScheduleFields());
        target_->showVersionPolicy(VersionPolicy::Replace);
        break;
    case ProfileOperation::Edit:
        setUpButtons(false, false, true, DoneCaption);
        turnTo(6);
        if (draft_.editCurrent())
            schedule_->showStoredFields(true);
        break;
    case ProfileOperation::Delete:
        setUpButtons(true, false, false);
        turnTo(7);
        break;
    case ProfileOperation::Activate:
        setUpButtons(false, false, true, DoneCaption);
        turnTo(8);
        break;
    case ProfileOperation::InstantBackup:
        setUpButtons(false, false, true, DoneCaption);
        turnTo(9);
        break;
    }
}

void TFTP_CreateNewProfile::setUpButtons(bool cancel, bool previous, bool next, const QString &nextCaption)
{
    ui_->CancelButton->setVisible(cancel);
    ui_->PreviousButton->setVisible(previous);
    ui_->NextButton->setVisible(next);
    if (!nextCaption.isEmpty())
        ui_->NextButton->setText(nextCaption);
}

void TFTP_CreateNewProfile::turnTo(int page)
{
    ui_->PageControl1->setCurrentIndex(page - 1);
}

int TFTP_CreateNewProfile::pageNumber() const
{
    return ui_->PageControl1->currentIndex() + 1;
}

QString TFTP_CreateNewProfile::currentFolder() const
{
    return target_->currentFolder();
}

void TFTP_CreateNewProfile::setCurrentFolder(const QString &folder)
{
    target_->setCurrentFolder(folder);
}

void TFTP_CreateNewProfile::NextButtonClick()
{
    switch (pageNumber()) {
    case 1:
        ui_->PreviousButton->show();
        turnTo(2);
        ui_->eProfileName->setFocus();
        break;
    case 2:
        if (passes(*name_))
            turnTo(3);
        break;
    case 3:
        if (passes(*schedule_)) {
            turnTo(4);
            enterSourcePage();
        }
        break;
    case 4:
        leaveSourcePage();
        break;
    case 5:
        if (passes(*target_))
            commit();
        break;
    case 6:
        close();
        break;
    case 8:
        activation_->storeChanges();
        waitForScheduleOverview();
        close();
        break;
    case 9:
        main_.ShowMenuPanel();
        close();
        break;
    default:
        break;
    }
}

bool TFTP_CreateNewProfile::passes(ProfilePage &page)
{
    const QString problem = page.problem();
    if (!problem.isEmpty()) {
        dialogs().information(problem);
        page.refused(problem);
        return false;
    }
    try {
        page.store();
    } catch (const DataError &e) {
        dialogs().error(e.message());
        return false;
    }
    return true;
}

void TFTP_CreateNewProfile::enterSourcePage()
{
    Table &files = main_.Table_Files();
    const QString name = main_.Table_Profiles().asString(Profile);
    if (draft_.isNew() && !sourcesBefore_.contains(name))
        sourcesBefore_.insert(name, sourceRecords(files, name));
    // Also when coming back from page 5, which showed every row: the list shows this profile's.
    files.setFilter(profileFilter(name));
    files.setFiltered(true);
    filesFiltered_ = true;
    sources_->enter(main_.Table_Cnct(), files, name);
}

void TFTP_CreateNewProfile::leaveSourcePage()
{
    const ConnectionSettings settings = readConnectionSettings(main_.Table_Cnct());
    try {
        sources_->logOff();
        if (settings.dialsUp())
            dial_->SetAction(ntdDisconnect);
    } catch (const EcvbComponent &e) {
        dialogs().error(e.Message());
        return;
    }
    target_->enableReportEntries(!settings.returnAddress.isEmpty());
    turnTo(5);
    ui_->NextButton->setText(FinishedCaption);
    main_.Table_Files().setFiltered(false);
    filesFiltered_ = false;
}

void TFTP_CreateNewProfile::commit()
{
    try {
        commitProfile(draft_.record());
    } catch (const DataError &e) {
        // The record stays unstored and the page stays, so that the user can try again.
        dialogs().error(e.message());
        return;
    }
    draft_.committed();
    waitForScheduleOverview();
    close();
}

void TFTP_CreateNewProfile::waitForScheduleOverview()
{
    TFTP_ProfileStatus::showAndWait(this);
}

void TFTP_CreateNewProfile::PreviousButtonClick()
{
    switch (pageNumber()) {
    case 2:
        turnTo(1);
        ui_->PreviousButton->hide();
        break;
    case 3:
        // An edited profile keeps its name.
        if (main_.Table_Profiles().state() != Table::State::Edit)
            turnTo(2);
        break;
    case 4:
        try {
            sources_->logOff();
        } catch (const EcvbComponent &e) {
            dialogs().error(e.Message());
            // "Busy": the page's step still waits for the server, and the page stays with it.
            if (sources_->browser()->busy())
                return;
        }
        turnTo(3);
        break;
    case 5:
        turnTo(4);
        ui_->NextButton->setText(NextCaption);
        enterSourcePage();
        break;
    default:
        break;
    }
}

void TFTP_CreateNewProfile::CancelButtonClick()
{
    if (leaveAfterSourceStep(Leaving::Cancel))
        return;
    Table &files = main_.Table_Files();
    if (editing(files))
        files.cancel();
    draft_.release();
    // The rows a new profile stored on the source page belong to a profile that now never exists.
    for (auto it = sourcesBefore_.cbegin(); it != sourcesBefore_.cend(); ++it)
        removeSourcesExcept(files, it.key(), it.value());
    sourcesBefore_.clear();
    close();
}

bool TFTP_CreateNewProfile::leaveAfterSourceStep(Leaving how)
{
    TRemoteBrowser *browser = sources_->browser();
    if (!browser->busy())
        return false;
    if (leaving_ != Leaving::No) {
        // Asked again while the wait ends: a cancel also closes, so it is the stronger wish.
        leaving_ = std::max(leaving_, how);
        browser->interrupt();
        return true;
    }
    leaving_ = how;
    browser->whenIdle(this, [this] {
        if (std::exchange(leaving_, Leaving::No) == Leaving::Cancel)
            CancelButtonClick();
        else
            close();
    });
    return true;
}

void TFTP_CreateNewProfile::editChosen()
{
    draft_.editCurrent();
    turnTo(3);
    setUpButtons(true, true, true, NextCaption);
    showRecord();
    schedule_->showStoredFields(false);
    target_->showStoredOptions();
    draft_.writeField(QStringLiteral("ACTIVE"), true);
}

void TFTP_CreateNewProfile::deleteChosen()
{
    if (dialogs().confirmation(DeleteQuestion, Buttons::YesNo) == Answer::Yes) {
        try {
            if (deleteProfile(main_.Table_Profiles(), main_.Table_Files()))
                dialogs().information(ActiveProfilesNote);
        } catch (const DataError &e) {
            dialogs().error(e.message());
        }
    }
    close();
}

void TFTP_CreateNewProfile::queueChosen()
{
    try {
        queueProfile(main_.Table_Queue(), table1_->asString(Profile));
    } catch (const DataError &e) {
        dialogs().error(e.message());
        return;
    }
    main_.startQueuedBackupSoon();
    main_.ShowMenuPanel();
    close();
}

void TFTP_CreateNewProfile::Timer1Timer()
{
    const QDateTime now = Clock::now();
    ui_->ClockLabel->setText(QStringLiteral("The current date and time is ") + DateText::date(now.date()) +
                             QStringLiteral(" - ") + DateText::time(now.time()));
}

void TFTP_CreateNewProfile::showRecord()
{
    name_->show();
    schedule_->show();
    target_->show();
}

void TFTP_CreateNewProfile::closeEvent(QCloseEvent *event)
{
    if (leaveAfterSourceStep(Leaving::Close)) {
        event->ignore();
        return;
    }
    // A record this wizard started is not stored by whatever moves the shared cursor next, and
    // the sources cursor shows every row again.
    draft_.release();
    if (filesFiltered_) {
        filesFiltered_ = false;
        main_.Table_Files().setFiltered(false);
    }
    QWidget::closeEvent(event);
}

} // namespace cvb
