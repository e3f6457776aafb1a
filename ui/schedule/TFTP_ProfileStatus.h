// TFTP_ProfileStatus, the schedule overview: a small fixed-size window that stays on top and lists
// every active profile with its next scheduled run, one line each, read once when it is shown.
// It frees itself when it closes; "Done" (or Escape) closes it.
//
// Object names: ListBox1 (the lines), Label1 (the text below them), DoneButton, Table_Profiles
// (its own cursor on the profiles table of the alias folder).
#pragma once

#include <QDialog>
#include <QStringList>
#include <memory>

namespace Ui {
class TFTP_ProfileStatus;
}

namespace cvb {

class Table;

class TFTP_ProfileStatus : public QDialog
{
    Q_OBJECT
public:
    // Creates the overview and shows it, centred on the screen.
    explicit TFTP_ProfileStatus(QWidget *parent = nullptr);
    ~TFTP_ProfileStatus() override;

    // Opens an overview and returns once the user has closed it (and it is freed). Meanwhile the
    // overview is modal: the program's other windows wait, while timers and the scheduler run on.
    static void showAndWait(QWidget *parent = nullptr);

    // The lines the list shows.
    QStringList lines() const;

    // Handlers.
    void FormShow();
    void DoneButtonClick();

protected:
    void showEvent(QShowEvent *event) override;

private:
    TFTP_ProfileStatus(QWidget *parent, Qt::WindowModality modality);

    std::unique_ptr<Ui::TFTP_ProfileStatus> ui_;
    Table *tableProfiles_;
};

} // namespace cvb
