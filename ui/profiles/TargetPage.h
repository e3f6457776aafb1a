// The target and options page of the profile wizard (TabSheet5): where the backups go (the drive
// selector DriveComboBox1 and the folder list DirectoryListBox1, whose current folder is shown in
// DirectoryLabel and stored as TARGET_LOC), how earlier copies are kept (rbReplace, rbDateStamp,
// rbRotate, bound to DTSTAMP_DI and ROTATE_DIR) and the report mail (cbEmail bound to EMAIL,
// eEmailAddress to EM_ADDR, ReportOptions with rbSummary and rbDetailed to DETAI_EMAI).
#pragma once

#include "ui/profiles/ProfilePage.h"
#include "ui/profiles/ProfileRules.h"

class QCheckBox;
class QComboBox;
class QFileSystemModel;
class QLabel;
class QLineEdit;
class QListView;
class QRadioButton;
class QWidget;

namespace cvb {

class TargetPage : public ProfilePage
{
    Q_OBJECT
public:
    struct Controls
    {
        QComboBox *drives = nullptr;
        QListView *folders = nullptr;
        QLabel *folder = nullptr;
        QRadioButton *replace = nullptr;
        QRadioButton *dateStamp = nullptr;
        QRadioButton *rotate = nullptr;
        QCheckBox *email = nullptr;
        QLineEdit *address = nullptr;
        QWidget *reportOptions = nullptr;
        QRadioButton *summary = nullptr;
        QRadioButton *detailed = nullptr;
    };

    // The folder list starts at the process's current folder.
    TargetPage(const Controls &controls, ProfileDraft &draft, QObject *parent = nullptr);

    // A folder whose path TARGET_LOC cannot keep whole.
    QString problem() const override;
    // TARGET_LOC = the current folder, as shown.
    void store() override;
    // The report mail's box and address.
    void show() override;

    // The folder that is stored as the target.
    QString currentFolder() const { return folder_; }
    void setCurrentFolder(const QString &folder);
    void showVersionPolicy(VersionPolicy policy);
    // What an edited profile shows of its stored options: the version policy, the report kind
    // and the target folder when it still exists.
    void showStoredOptions();
    // Without a mail server there is no report to send: its controls are disabled.
    void enableReportEntries(bool mailServerKnown);

private:
    void listDrives();

    Controls controls_;
    ProfileDraft &draft_;
    QFileSystemModel *model_;
    QString folder_;
};

} // namespace cvb
