#include "ui/schedule/TFTP_ProfileStatus.h"

#include "ui_TFTP_ProfileStatus.h"

#include "data/DataError.h"
#include "data/Layouts.h"
#include "data/Table.h"
#include "ui/common/Dialogs.h"
#include "ui/schedule/ScheduleLines.h"

#include <QEventLoop>
#include <QFontMetrics>
#include <QPointer>
#include <QScreen>
#include <QShowEvent>
#include <algorithm>

namespace cvb {

TFTP_ProfileStatus::TFTP_ProfileStatus(QWidget *parent) : TFTP_ProfileStatus(parent, Qt::NonModal)
{
}

TFTP_ProfileStatus::TFTP_ProfileStatus(QWidget *parent, Qt::WindowModality modality)
    : QDialog(parent), ui_(std::make_unique<Ui::TFTP_ProfileStatus>()),
      tableProfiles_(new Table(QStringLiteral("Table_Profiles"), this))
{
    ui_->setupUi(this);
    setObjectName(QStringLiteral("FTP_ProfileStatus"));
    setAttribute(Qt::WA_DeleteOnClose);
    setWindowFlags(Qt::Dialog | Qt::WindowStaysOnTopHint | Qt::WindowTitleHint | Qt::WindowCloseButtonHint |
                   Qt::MSWindowsFixedSizeDialogHint);
    setWindowModality(modality);
    // Wide enough for a line of a 40-character profile name without scrolling.
    const QString widest =
        scheduleLine(QString(40, QLatin1Char('n')), QStringLiteral("1 12/31/2000|10:15:00"));
    setFixedSize(std::max(600, ui_->ListBox1->fontMetrics().horizontalAdvance(widest) + 48), 300);
    connect(ui_->DoneButton, &QPushButton::clicked, this, &TFTP_ProfileStatus::DoneButtonClick);
    show();
}

TFTP_ProfileStatus::~TFTP_ProfileStatus() = default;

void TFTP_ProfileStatus::showAndWait(QWidget *parent)
{
    QPointer<TFTP_ProfileStatus> overview = new TFTP_ProfileStatus(parent, Qt::ApplicationModal);
    QEventLoop loop;
    connect(overview, &QObject::destroyed, &loop, &QEventLoop::quit);
    loop.exec();
}

QStringList TFTP_ProfileStatus::lines() const
{
    QStringList result;
    for (int i = 0; i < ui_->ListBox1->count(); ++i)
        result << ui_->ListBox1->item(i)->text();
    return result;
}

void TFTP_ProfileStatus::showEvent(QShowEvent *event)
{
    QDialog::showEvent(event);
    if (event->spontaneous())
        return;
    if (QScreen *where = screen())
        move(where->availableGeometry().center() - rect().center());
    FormShow();
}

void TFTP_ProfileStatus::FormShow()
{
    ui_->ListBox1->clear();
    try {
        tableProfiles_->close();
        tableProfiles_->open(ProfilesTable, ProfileIndex);
        ui_->ListBox1->addItems(activeScheduleLines(*tableProfiles_));
    } catch (const DataError &e) {
        // A damaged profiles table: say which, and show what could be read (nothing).
        dialogs().error(e.message());
    }
}

void TFTP_ProfileStatus::DoneButtonClick()
{
    close();
}

} // namespace cvb
