// TFTP_CreateNewProfile, "Profiles": the wizard in which profiles are created (pages 1 to 5),
// edited (6, then 3 to 5), deleted (7), activated and deactivated (8) and queued for a backup at
// once (9). Its pages have no tabs: "Cancel", "Previous" and "Next" and the double-clicks of the
// choice pages move between them. The wizard edits the record under the main window's shared
// profiles cursor; only "Finished" (or, on page 8, the activation grid's own cursor) stores it.
// Wizards are not modal: several may be open on the same shared cursor.
//
// Each page that checks or stores something is a page object of its own (NamePage, SchedulePage,
// SourcePage, TargetPage, and a ChoicePage for each of pages 6 to 9); the wizard walks them and
// commits the record. The window that opens the wizard names the operation (start), which
// chooses the first page and the buttons.
//
// Object names: PageControl1 with TabSheet1..TabSheet9, CancelButton, PreviousButton, NextButton;
// page 2 eProfileName; page 3 ClockLabel, RadioGroup1 (rbDaily, rbHourly), cbMonday..cbSunday,
// cbHour, cbMinute, cbAmPm, seInterval; page 4 BrowserHost, SourceHost; page 5 DriveComboBox1,
// DirectoryListBox1, DirectoryLabel, rbReplace, rbDateStamp, rbRotate, cbEmail, eEmailAddress,
// ReportOptions (rbSummary, rbDetailed); the grids EditGrid (6), DeleteGrid (7), ActivationGrid
// (8), InstantGrid (9); the cursor Table1, the timer Timer1 and the dial-up component cvbNetDial1.
#pragma once

#include "ui/profiles/ProfilePage.h"

#include <QHash>
#include <QList>
#include <QWidget>
#include <memory>

namespace Ui {
class TFTP_CreateNewProfile;
}

namespace cvb {

class ChoicePage;
class MainWindowAccess;
class NamePage;
class SchedulePage;
class SourcePage;
class TargetPage;
class TcvbNetDial;

class TFTP_CreateNewProfile : public QWidget
{
    Q_OBJECT
public:
    // Opens Table1 and shows page 1 with "Previous" hidden.
    explicit TFTP_CreateNewProfile(MainWindowAccess &main, QWidget *parent = nullptr);
    ~TFTP_CreateNewProfile() override;

    // The wizard as the main window's "Initiate Instant Profile Backup" opens it.
    static TFTP_CreateNewProfile *forInstantBackup(MainWindowAccess &main, QWidget *parent);

    // Sets the wizard up for `operation`: its first page, its buttons and the shared record
    // (a new one inserted for Create, the current one in edit mode for Edit).
    void start(ProfileOperation operation);

    // The folder that "Finished" stores as the target.
    QString currentFolder() const;
    void setCurrentFolder(const QString &folder);

    // Handlers.
    void NextButtonClick();
    void PreviousButtonClick();
    void CancelButtonClick();
    void Timer1Timer();

protected:
    void closeEvent(QCloseEvent *event) override;

private:
    // Which of the three buttons show; an empty caption leaves "Next"'s caption as it is.
    void setUpButtons(bool cancel, bool previous, bool next, const QString &nextCaption = {});
    void turnTo(int page);
    int pageNumber() const;

    // Leaving `page` forwards: its problem is shown and keeps the page, else it stores.
    bool passes(ProfilePage &page);
    void enterSourcePage();
    void leaveSourcePage();
    void commit();
    void waitForScheduleOverview();
    // The double-clicks of the choice pages, on the profile they made current.
    void editChosen();
    void deleteChosen();
    void queueChosen();

    void showRecord();
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
    ProfileDraft draft_;
    NamePage *name_;
    SchedulePage *schedule_;
    SourcePage *sources_;
    TargetPage *target_;
    ChoicePage *editChoice_, *deleteChoice_, *activation_, *instantChoice_;
    bool filesFiltered_ = false; // the sources cursor is restricted to the profile by this wizard
    Leaving leaving_ = Leaving::No;
    // For a new profile: the source rows each name had when the source page was entered, so that
    // "Cancel" removes the rows added since.
    QHash<QString, QList<int>> sourcesBefore_;
};

} // namespace cvb
