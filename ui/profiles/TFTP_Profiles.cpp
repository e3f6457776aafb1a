#include "ui/profiles/TFTP_Profiles.h"

#include "ui_TFTP_Profiles.h"

#include "data/Table.h"
#include "ui/common/MainWindowAccess.h"
#include "ui/profiles/TFTP_CreateNewProfile.h"

#include <QCloseEvent>
#include <QResizeEvent>

namespace cvb {

namespace {

const QString Done = QStringLiteral("Done");

} // namespace

TFTP_Profiles::TFTP_Profiles(MainWindowAccess &main, QWidget *parent)
    : QWidget(parent), ui_(std::make_unique<Ui::TFTP_Profiles>()), main_(main)
{
    ui_->setupUi(this);
    setObjectName(QStringLiteral("FTP_Profiles"));
    setAttribute(Qt::WA_DeleteOnClose);
    setAutoFillBackground(true);
    connect(ui_->CreateButton, &QPushButton::clicked, this, &TFTP_Profiles::CreateButtonClick);
    connect(ui_->EditButton, &QPushButton::clicked, this, &TFTP_Profiles::EditButtonClick);
    connect(ui_->DeleteButton, &QPushButton::clicked, this, &TFTP_Profiles::DeleteButtonClick);
    connect(ui_->ActivateButton, &QPushButton::clicked, this, &TFTP_Profiles::ActivateButtonClick);
    connect(ui_->DoneButton, &QPushButton::clicked, this, &TFTP_Profiles::DoneButtonClick);

    // The start-up catch-up leaves the shared cursor on the active profiles; the profile windows
    // work on every profile (an inactive one is edited, activated or deleted here too).
    Table &profiles = main_.Table_Profiles();
    if (profiles.state() == Table::State::Browse && profiles.filtered())
        profiles.setFiltered(false);
}

TFTP_Profiles::~TFTP_Profiles() = default;

TFTP_CreateNewProfile *TFTP_Profiles::openWizard()
{
    auto *wizard = new TFTP_CreateNewProfile(main_, this);
    wizard->setGeometry(rect());
    wizard->show();
    wizard->raise();
    return wizard;
}

void TFTP_Profiles::resizeEvent(QResizeEvent *event)
{
    QWidget::resizeEvent(event);
    for (TFTP_CreateNewProfile *wizard : findChildren<TFTP_CreateNewProfile *>(Qt::FindDirectChildrenOnly))
        wizard->setGeometry(rect());
}

TFTP_CreateNewProfile *TFTP_Profiles::CreateButtonClick()
{
    TFTP_CreateNewProfile *wizard = openWizard();
    wizard->setUpButtons(true, false, true);
    wizard->startNewProfile();
    return wizard;
}

TFTP_CreateNewProfile *TFTP_Profiles::EditButtonClick()
{
    TFTP_CreateNewProfile *wizard = openWizard();
    wizard->setUpButtons(false, false, true, Done);
    wizard->turnTo(6);
    wizard->startEditing();
    return wizard;
}

TFTP_CreateNewProfile *TFTP_Profiles::DeleteButtonClick()
{
    TFTP_CreateNewProfile *wizard = openWizard();
    wizard->setUpButtons(true, false, false);
    wizard->turnTo(7);
    return wizard;
}

TFTP_CreateNewProfile *TFTP_Profiles::ActivateButtonClick()
{
    TFTP_CreateNewProfile *wizard = openWizard();
    wizard->setUpButtons(false, false, true, Done);
    wizard->turnTo(8);
    return wizard;
}

void TFTP_Profiles::DoneButtonClick()
{
    menuOnClose_ = true;
    close();
}

void TFTP_Profiles::closeEvent(QCloseEvent *event)
{
    // The wizards are children, released with this window: each closes first. One that waits
    // for the server refuses until the wait has ended; this window tries again when it has gone.
    bool waiting = false;
    for (TFTP_CreateNewProfile *wizard : findChildren<TFTP_CreateNewProfile *>(Qt::FindDirectChildrenOnly)) {
        if (!wizard->close()) {
            waiting = true;
            connect(wizard, &QObject::destroyed, this, &QWidget::close,
                    static_cast<Qt::ConnectionType>(Qt::QueuedConnection | Qt::SingleShotConnection));
        }
    }
    if (waiting) {
        event->ignore();
        return;
    }
    QWidget::closeEvent(event);
    if (menuOnClose_)
        main_.ShowMenuPanel();
}

} // namespace cvb
