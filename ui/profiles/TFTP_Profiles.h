// TFTP_Profiles, "Profile Operations": the menu of the profile operations. Each of its four
// actions opens a profile wizard (TFTP_CreateNewProfile) on the page and with the buttons of
// that action; the work is done there. The wizards are child windows that cover this window
// until they close; this window keeps no data of its own. It frees itself when it closes, and
// "Done - Return To Main Menu" gives the main window its menu panel back. Its wizards go with it;
// a wizard whose source page still waits for the server goes once the wait has ended, and this
// window closes after it.
//
// Object names: VendorLogo, CreateButton, EditButton, DeleteButton, ActivateButton, DoneButton.
#pragma once

#include <QWidget>
#include <memory>

namespace Ui {
class TFTP_Profiles;
}

namespace cvb {

class MainWindowAccess;
class TFTP_CreateNewProfile;

class TFTP_Profiles : public QWidget
{
    Q_OBJECT
public:
    explicit TFTP_Profiles(MainWindowAccess &main, QWidget *parent = nullptr);
    ~TFTP_Profiles() override;

    // Handlers; each action returns the wizard it opened.
    TFTP_CreateNewProfile *CreateButtonClick();
    TFTP_CreateNewProfile *EditButtonClick();
    TFTP_CreateNewProfile *DeleteButtonClick();
    TFTP_CreateNewProfile *ActivateButtonClick();
    void DoneButtonClick();

protected:
    void resizeEvent(QResizeEvent *event) override;
    void closeEvent(QCloseEvent *event) override;

private:
    TFTP_CreateNewProfile *openWizard();

    std::unique_ptr<Ui::TFTP_Profiles> ui_;
    MainWindowAccess &main_;
    bool menuOnClose_ = false; // closed by "Done": the menu panel comes back
};

} // namespace cvb
