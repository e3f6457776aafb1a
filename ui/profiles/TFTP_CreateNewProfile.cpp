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
#include "ui/profiles/ProfileGrid.h"
#include "ui/profiles/SourcePage.h"
#include "ui/schedule/TFTP_ProfileStatus.h"

#include <QCloseEvent>
#include <QDir>
#include <QFileInfo>
#include <QFileSystemModel>
#include <QHeaderView>
#include <QShortcut>
#include <QSignalBlocker>
#include <QStorageInfo>
#include <QTimer>
#include <QValidator>
#include <algorithm>
#include <utility>

namespace cvb {

namespace {

const QString Profile = QStringLiteral("PROFILE");
const QString NextCaption = QStringLiteral("Next");
const QString FinishedCaption = QStringLiteral("Finished");
const QString DoneCaption = QStringLiteral("Done");

void uncheckAll(std::initializer_list<QRadioButton *> buttons)
{
    for (QRadioButton *button : buttons) {
        button->setAutoExclusive(false);
        button->setChecked(false);
        button->setAutoExclusive(true);
    }
}

void setUpGrid(QTableView *grid, QAbstractItemModel *model)
{
    grid->setModel(model);
    grid->horizontalHeader()->setStretchLastSection(true);
    grid->verticalHeader()->hide();
}

class ProfileNameValidator : public QValidator
{
public:
    using QValidator::QValidator;
    State validate(QString &input, int &pos) const override
    {
        return acceptTypedProfileName(input, pos) ? Acceptable : Invalid;
    }
};

bool editing(const Table &table)
{
    return table.state() == Table::State::Edit || table.state() == Table::State::Insert;
}

} // namespace

TFTP_CreateNewProfile::TFTP_CreateNewProfile(MainWindowAccess &main, QWidget *parent)
    : QWidget(parent), ui_(std::make_unique<Ui::TFTP_CreateNewProfile>()), main_(main),
      table1_(new Table(QStringLiteral("Table1"), this)), dial_(new TcvbNetDial(this)),
      folders_(new QFileSystemModel(this))
{
    ui_->setupUi(this);
    setObjectName(QStringLiteral("FTP_CreateNewProfile"));
    setAttribute(Qt::WA_DeleteOnClose);
    setAutoFillBackground(true);
    dial_->setObjectName(QStringLiteral("cvbNetDial1"));
    sources_ = new SourcePage(ui_->BrowserHost, ui_->SourceHost, dial_, this);

    table1_->open(ProfilesTable);

    auto *timer = new QTimer(this);
    timer->setObjectName(QStringLiteral("Timer1"));
    timer->setInterval(1000);
    connect(timer, &QTimer::timeout, this, &TFTP_CreateNewProfile::Timer1Timer);
    timer->start();
    Timer1Timer();

    Table &profiles = main_.Table_Profiles();
    editModel_ = new ProfileGridModel(profiles, Profile, false, this);
    deleteModel_ = new ProfileGridModel(profiles, QStringLiteral("Profile"), false, this);
    activationModel_ = new ProfileGridModel(*table1_, Profile, true, this);
    instantModel_ = new ProfileGridModel(*table1_, Profile, false, this);
    setUpGrid(ui_->EditGrid, editModel_);
    setUpGrid(ui_->DeleteGrid, deleteModel_);
    setUpGrid(ui_->ActivationGrid, activationModel_);
    setUpGrid(ui_->InstantGrid, instantModel_);
    ui_->ActivationGrid->horizontalHeader()->setStretchLastSection(false);
    ui_->ActivationGrid->horizontalHeader()->setSectionResizeMode(0, QHeaderView::Stretch);
    connect(ui_->EditGrid, &QTableView::doubleClicked, this,
            [this](const QModelIndex &index) { EditGridDblClick(index.row()); });
    connect(ui_->DeleteGrid, &QTableView::doubleClicked, this,
            [this](const QModelIndex &index) { DeleteGridDblClick(index.row()); });
    connect(ui_->InstantGrid, &QTableView::doubleClicked, this,
            [this](const QModelIndex &index) { InstantGridDblClick(index.row()); });

    folders_->setFilter(QDir::AllDirs | QDir::NoDot);
    ui_->DirectoryLabel->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
    ui_->DirectoryListBox1->setModel(folders_);
    connect(ui_->DirectoryListBox1, &QListView::doubleClicked, this,
            [this](const QModelIndex &index) { setCurrentFolder(folders_->filePath(index)); });
    listDrives();
    connect(ui_->DriveComboBox1, &QComboBox::activated, this,
            [this](int index) { setCurrentFolder(ui_->DriveComboBox1->itemText(index)); });
    setCurrentFolder(QDir::currentPath());

    // The controls bound to the record write each change of the user into it.
    // The entry upper-cases each change and refuses one that the field could not keep whole.
    ui_->eProfileName->setValidator(new ProfileNameValidator(ui_->eProfileName));
    connect(ui_->eProfileName, &QLineEdit::textEdited, this,
            [this](const QString &text) { writeField(Profile, text); });
    connect(ui_->rbDaily, &QRadioButton::clicked, this,
            [this] { writeField(QStringLiteral("KIND"), DailyKind); });
    connect(ui_->rbHourly, &QRadioButton::clicked, this,
            [this] { writeField(QStringLiteral("KIND"), HourlyKind); });
    const std::pair<QCheckBox *, const char *> days[] = {
        {ui_->cbMonday, "MON"}, {ui_->cbTuesday, "TUE"},  {ui_->cbWednesday, "WED"}, {ui_->cbThursday, "THU"},
        {ui_->cbFriday, "FRI"}, {ui_->cbSaturday, "SAT"}, {ui_->cbSunday, "SUN"}};
    for (const auto &[box, field] : days) {
        const QString name = QString::fromLatin1(field);
        connect(box, &QCheckBox::clicked, this, [this, name](bool on) { writeField(name, on); });
    }
    const std::pair<QRadioButton *, VersionPolicy> policies[] = {{ui_->rbReplace, VersionPolicy::Replace},
                                                                 {ui_->rbDateStamp, VersionPolicy::DateStamp},
                                                                 {ui_->rbRotate, VersionPolicy::Rotate}};
    for (const auto &[button, policy] : policies) {
        connect(button, &QRadioButton::clicked, this, [this, policy = policy] {
            writeRecord([policy](Table &t) { storeVersionPolicy(t, policy); });
        });
    }
    connect(ui_->cbEmail, &QCheckBox::clicked, this, [this](bool on) {
        ui_->eEmailAddress->setEnabled(on);
        writeField(QStringLiteral("EMAIL"), on);
    });
    connect(ui_->eEmailAddress, &QLineEdit::textEdited, this,
            [this](const QString &text) { writeField(QStringLiteral("EM_ADDR"), text); });
    connect(ui_->rbSummary, &QRadioButton::clicked, this,
            [this] { writeField(QStringLiteral("DETAI_EMAI"), false); });
    connect(ui_->rbDetailed, &QRadioButton::clicked, this,
            [this] { writeField(QStringLiteral("DETAI_EMAI"), true); });
    uncheckAll({ui_->rbDaily, ui_->rbHourly});

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
    releaseRecord();
}

TFTP_CreateNewProfile *TFTP_CreateNewProfile::forInstantBackup(MainWindowAccess &main, QWidget *parent)
{
    auto *wizard = new TFTP_CreateNewProfile(main, parent);
    wizard->setUpButtons(false, false, true, DoneCaption);
    wizard->turnTo(9);
    return wizard;
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

void TFTP_CreateNewProfile::startNewProfile()
{
    cvb::startNewProfile(main_.Table_Profiles());
    ownsRecord_ = true;
    newProfile_ = true;
    showRecord();
    showSchedule(ScheduleFields());
    showVersionPolicy(VersionPolicy::Replace);
}

void TFTP_CreateNewProfile::startEditing()
{
    Table &profiles = main_.Table_Profiles();
    if (profiles.isEmpty())
        return;
    profiles.edit();
    ownsRecord_ = true;
    showSchedule(scheduleFieldsOf(profiles, typedSchedule(), true));
}

void TFTP_CreateNewProfile::setCurrentFolder(const QString &folder)
{
    folder_ = QDir::cleanPath(QDir(folder).absolutePath());
    // A long path is shown shortened in the middle; the whole of it is the label's hint.
    QLabel *label = ui_->DirectoryLabel;
    label->setText(label->fontMetrics().elidedText(folder_, Qt::ElideMiddle, std::max(label->width(), 180)));
    label->setToolTip(folder_);
    ui_->DirectoryListBox1->setRootIndex(folders_->setRootPath(folder_));
    const QSignalBlocker quiet(ui_->DriveComboBox1);
    const int drive = ui_->DriveComboBox1->findText(QStorageInfo(folder_).rootPath());
    if (drive >= 0)
        ui_->DriveComboBox1->setCurrentIndex(drive);
}

void TFTP_CreateNewProfile::listDrives()
{
    QStringList drives{QStorageInfo::root().rootPath()};
    for (const QStorageInfo &volume : QStorageInfo::mountedVolumes()) {
        // A file mounted on its own (as containers do with /etc/hosts) is no drive.
        if (volume.isValid() && volume.isReady() && QFileInfo(volume.rootPath()).isDir() &&
            !drives.contains(volume.rootPath()))
            drives << volume.rootPath();
    }
    ui_->DriveComboBox1->addItems(drives);
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
        checkName();
        break;
    case 3:
        checkSchedule();
        break;
    case 4:
        leaveSourcePage();
        break;
    case 5:
        save();
        break;
    case 6:
        close();
        break;
    case 8:
        if (table1_->state() == Table::State::Edit)
            table1_->post();
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

void TFTP_CreateNewProfile::checkName()
{
    const QString problem = nameProblem(*table1_, ui_->eProfileName->text());
    if (!problem.isEmpty()) {
        dialogs().information(problem);
        if (problem == DuplicateNameMessage) {
            ui_->eProfileName->clear();
            writeField(Profile, QString());
            ui_->eProfileName->setFocus();
        }
        return;
    }
    turnTo(3);
}

void TFTP_CreateNewProfile::checkSchedule()
{
    Table &profiles = main_.Table_Profiles();
    const ScheduleFields fields = typedSchedule();
    const QString problem = scheduleProblem(profiles.asString(QStringLiteral("KIND")), fields);
    if (!problem.isEmpty()) {
        dialogs().information(problem);
        return;
    }
    try {
        storeSchedule(profiles, fields);
    } catch (const DataError &e) {
        dialogs().error(e.message());
        return;
    }
    turnTo(4);
    enterSourcePage();
}

void TFTP_CreateNewProfile::enterSourcePage()
{
    Table &files = main_.Table_Files();
    const QString name = main_.Table_Profiles().asString(Profile);
    if (newProfile_ && !sourcesBefore_.contains(name))
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
    enableReportEntries(!settings.returnAddress.isEmpty());
    turnTo(5);
    ui_->NextButton->setText(FinishedCaption);
    main_.Table_Files().setFiltered(false);
    filesFiltered_ = false;
}

void TFTP_CreateNewProfile::enableReportEntries(bool mailServerKnown)
{
    ui_->cbEmail->setEnabled(mailServerKnown);
    ui_->eEmailAddress->setEnabled(mailServerKnown && ui_->cbEmail->isChecked());
    ui_->ReportOptions->setEnabled(mailServerKnown);
}

void TFTP_CreateNewProfile::save()
{
    const QString problem = targetProblem(folder_);
    if (!problem.isEmpty()) {
        dialogs().information(problem);
        return;
    }
    try {
        saveProfile(main_.Table_Profiles(), folder_);
    } catch (const DataError &e) {
        // The record stays unstored and the page stays, so that the user can try again.
        dialogs().error(e.message());
        return;
    }
    ownsRecord_ = false;
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
    releaseRecord();
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

void TFTP_CreateNewProfile::releaseRecord()
{
    if (!ownsRecord_)
        return;
    ownsRecord_ = false;
    Table &profiles = main_.Table_Profiles();
    if (editing(profiles))
        profiles.cancel();
}

void TFTP_CreateNewProfile::EditGridDblClick(int row)
{
    Table &profiles = main_.Table_Profiles();
    if (row < 0 || row >= profiles.recordCount())
        return;
    profiles.moveTo(row);
    profiles.edit();
    ownsRecord_ = true;
    newProfile_ = false;
    turnTo(3);
    setUpButtons(true, true, true, NextCaption);
    showRecord();
    showSchedule(scheduleFieldsOf(profiles, typedSchedule(), false));
    showVersionPolicy(versionPolicyOf(profiles));
    (profiles.asBool(QStringLiteral("DETAI_EMAI")) ? ui_->rbDetailed : ui_->rbSummary)->setChecked(true);
    const QString target = profiles.asString(QStringLiteral("TARGET_LOC"));
    if (!target.isEmpty() && QDir(target).exists())
        setCurrentFolder(target);
    writeField(QStringLiteral("ACTIVE"), true);
}

void TFTP_CreateNewProfile::DeleteGridDblClick(int row)
{
    Table &profiles = main_.Table_Profiles();
    if (row < 0 || row >= profiles.recordCount())
        return;
    profiles.moveTo(row);
    if (dialogs().confirmation(DeleteQuestion, Buttons::YesNo) == Answer::Yes) {
        try {
            if (deleteProfile(profiles, main_.Table_Files()))
                dialogs().information(ActiveProfilesNote);
        } catch (const DataError &e) {
            dialogs().error(e.message());
        }
    }
    close();
}

void TFTP_CreateNewProfile::InstantGridDblClick(int row)
{
    if (row < 0 || row >= table1_->recordCount())
        return;
    table1_->moveTo(row);
    try {
        queueProfile(main_.Table_Queue(), table1_->asString(Profile));
    } catch (const DataError &e) {
        dialogs().error(e.message());
        return;
    }
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
    const Table &profiles = main_.Table_Profiles();
    const QSignalBlocker name(ui_->eProfileName);
    ui_->eProfileName->setText(profiles.asString(Profile));
    const QString kind = profiles.asString(QStringLiteral("KIND"));
    uncheckAll({ui_->rbDaily, ui_->rbHourly});
    if (kind == DailyKind)
        ui_->rbDaily->setChecked(true);
    else if (kind == HourlyKind)
        ui_->rbHourly->setChecked(true);
    const std::pair<QCheckBox *, const char *> days[] = {
        {ui_->cbMonday, "MON"}, {ui_->cbTuesday, "TUE"},  {ui_->cbWednesday, "WED"}, {ui_->cbThursday, "THU"},
        {ui_->cbFriday, "FRI"}, {ui_->cbSaturday, "SAT"}, {ui_->cbSunday, "SUN"}};
    for (const auto &[box, field] : days)
        box->setChecked(profiles.asBool(QString::fromLatin1(field)));
    ui_->cbEmail->setChecked(profiles.asBool(QStringLiteral("EMAIL")));
    ui_->eEmailAddress->setText(profiles.asString(QStringLiteral("EM_ADDR")));
    ui_->eEmailAddress->setEnabled(ui_->cbEmail->isChecked());
}

void TFTP_CreateNewProfile::writeField(const QString &field, const QVariant &value)
{
    writeRecord([&](Table &profiles) {
        if (value.typeId() == QMetaType::Bool)
            profiles.setBool(field, value.toBool());
        else
            profiles.setString(field, value.toString());
    });
}

void TFTP_CreateNewProfile::writeRecord(const std::function<void(Table &)> &write)
{
    Table &profiles = main_.Table_Profiles();
    try {
        if (!editing(profiles)) {
            if (profiles.isEmpty())
                return;
            profiles.edit();
            ownsRecord_ = true;
        }
        write(profiles);
    } catch (const DataError &e) {
        dialogs().error(e.message());
    }
}

ScheduleFields TFTP_CreateNewProfile::typedSchedule() const
{
    ScheduleFields fields;
    fields.hour = ui_->cbHour->currentText();
    fields.minute = ui_->cbMinute->currentText();
    fields.ampm = ui_->cbAmPm->currentText();
    fields.interval = ui_->seInterval->cleanText();
    return fields;
}

void TFTP_CreateNewProfile::showSchedule(const ScheduleFields &fields)
{
    ui_->cbHour->setCurrentText(fields.hour);
    ui_->cbMinute->setCurrentText(fields.minute);
    ui_->cbAmPm->setCurrentText(fields.ampm);
    ui_->seInterval->setValue(fields.interval.toInt());
}

void TFTP_CreateNewProfile::showVersionPolicy(VersionPolicy policy)
{
    switch (policy) {
    case VersionPolicy::Replace:
        ui_->rbReplace->setChecked(true);
        break;
    case VersionPolicy::DateStamp:
        ui_->rbDateStamp->setChecked(true);
        break;
    case VersionPolicy::Rotate:
        ui_->rbRotate->setChecked(true);
        break;
    }
}

void TFTP_CreateNewProfile::closeEvent(QCloseEvent *event)
{
    if (leaveAfterSourceStep(Leaving::Close)) {
        event->ignore();
        return;
    }
    // A record this wizard started is not stored by whatever moves the shared cursor next, and
    // the sources cursor shows every row again.
    releaseRecord();
    if (filesFiltered_) {
        filesFiltered_ = false;
        main_.Table_Files().setFiltered(false);
    }
    QWidget::closeEvent(event);
}

} // namespace cvb
