// TFTP_CreateNewProfile, "Profiles": the wizard in which profiles are created (pages 1 to 5),
// edited (6, then 3 to 5), deleted (7), activated and deactivated (8) and queued for a backup at
// once (9). Its pages have no tabs: "Cancel", "Previous" and "Next" and the double-clicks of the
// choice pages move between them. The wizard edits the record under the main window's shared
// profiles cursor; only "Finished" (or, on page 8, the activation grid's own cursor) stores it.
// Wizards are not modal: several may be open on the same shared cursor.
//
// The window that opens the wizard chooses the page and the buttons (setUpButtons, turnTo).
//
// Object names: PageControl1 with TabSheet1..TabSheet9, CancelButton, PreviousButton, NextButton;
// page 2 eProfileName; page 3 ClockLabel, RadioGroup1 (rbDaily, rbHourly), cbMonday..cbSunday,
// cbHour, cbMinute, cbAmPm, seInterval; page 4 BrowserHost, SourceHost; page 5 DriveComboBox1,
// DirectoryListBox1, DirectoryLabel, rbReplace, rbDateStamp, rbRotate, cbEmail, eEmailAddress,
// ReportOptions (rbSummary, rbDetailed); the grids EditGrid (6), DeleteGrid (7), ActivationGrid
// (8), InstantGrid (9); the cursor Table1, the timer Timer1 and the dial-up component cvbNetDial1.
#pragma once

#include "ui/profiles/ProfileRules.h"

#include <QHash>
#include <QList>
#include <QWidget>
#include <functional>
#include <memory>

class QFileSystemModel;

namespace Ui {
class TFTP_CreateNewProfile;
}

namespace cvb {

class MainWindowAccess;
class ProfileGridModel;
class SourcePage;
class Table;
class TcvbNetDial;

class TFTP_CreateNewProfile : public QWidget
{
    Q_OBJECT
public:
    // Opens Table1 and shows page 1 with "Previous" hidden.
    explicit TFTP_CreateNewProfile(MainWindowAccess &main, QWidget *parent = nullptr);
    ~TFTP_CreateNewProfile() override;

    // The wizard as the main window's "Initiate Instant Profile Backup" opens it: page 9, only "Done".
    static TFTP_CreateNewProfile *forInstantBackup(MainWindowAccess &main, QWidget *parent);

    // Which of the three buttons show; an empty caption leaves "Next"'s caption as it is.
    void setUpButtons(bool cancel, bool previous, bool next, const QString &nextCaption = {});
    // Shows page `page` (1 to 9).
    void turnTo(int page);
    int pageNumber() const;

    // The set-ups of the profile operations window. A new record with its initial values:
    void startNewProfile();
    // Edit mode on the shared cursor's current record, with the schedule fields loaded from it.
    void startEditing();

    // The folder that "Finished" stores as the target.
    QString currentFolder() const { return folder_; }
    void setCurrentFolder(const QString &folder);

    // Handlers.
    void NextButtonClick();
    void PreviousButtonClick();
    void CancelButtonClick();
    void EditGridDblClick(int row);
    void DeleteGridDblClick(int row);
    void InstantGridDblClick(int row);
    void Timer1Timer();

protected:
    void closeEvent(QCloseEvent *event) override;

private:
    // Steps of "Next".
    void checkName();
    void checkSchedule();
    void leaveSourcePage();
    void save();
    void enterSourcePage();
    void waitForScheduleOverview();

    // Bound controls: the record's values shown, and a change written into the record.
    void showRecord();
    void writeField(const QString &field, const QVariant &value);
    void writeRecord(const std::function<void(Table &)> &write);
    ScheduleFields typedSchedule() const;
    void showSchedule(const ScheduleFields &fields);
    void showVersionPolicy(VersionPolicy policy);
    void enableReportEntries(bool mailServerKnown);
    void listDrives();
    void releaseRecord();
    // How the wizard is to be left once the source page's step has stopped waiting.
    enum class Leaving { No, Close, Cancel };
    // While the source page waits for the server the wizard may not go (the wait would return
    // into it): the wait is interrupted and the wizard is left as asked once it has ended. False
    // when nothing waits.
    bool leaveAfterSourceStep(Leaving how);

    std::unique_ptr<Ui::TFTP_CreateNewProfile> ui_;
    MainWindowAccess &main_;
    Table *table1_;
    TcvbNetDial *dial_;
    SourcePage *sources_;
    QFileSystemModel *folders_;
    ProfileGridModel *editModel_, *deleteModel_, *activationModel_, *instantModel_;
    QString folder_;
    // The shared record is this wizard's to post or discard: it inserted or edited it.
    bool ownsRecord_ = false;
    bool newProfile_ = false;
    bool filesFiltered_ = false; // the sources cursor is restricted to the profile by this wizard
    Leaving leaving_ = Leaving::No;
    // For a new profile: the source rows each name had when the source page was entered, so that
    // "Cancel" removes the rows added since.
    QHash<QString, QList<int>> sourcesBefore_;
};

} // namespace cvb
