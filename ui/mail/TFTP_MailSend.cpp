#include "ui/mail/TFTP_MailSend.h"

#include "ui_TFTP_MailSend.h"

#include "mail/MailSender.h"
#include "mail/NetCode.h"
#include "smtp/SMTP.h"
#include "ui/common/Dialogs.h"
#include "ui/common/WaitCursor.h"

#include <QMouseEvent>

#include <algorithm>

namespace cvb {
TFTP_MailSend::TFTP_MailSend(QWidget *parent)
    : QWidget(parent, Qt::Window), ui_(std::make_unique<Ui::TFTP_MailSend>()), smtp_(new TcvbSMTP(this)),
      netCode_(new TcvbNetCode(this))
{
    ui_->setupUi(this);
    setAttribute(Qt::WA_DeleteOnClose);
    smtp_->setObjectName(QStringLiteral("SMTP1"));
    netCode_->setObjectName(QStringLiteral("NetCode1"));
    netCode_->SetMaxFileSize(0);
    netCode_->SetMode(QStringLiteral("600"));
    ui_->lbBtmLines->viewport()->installEventFilter(this);

    smtp_->OnPITrail = [this](QObject *, int direction, const QString &message) {
        static const char *const prefixes[] = {"From Client", "From Server", "Info"};
        AddTraceLine(QLatin1String(prefixes[direction >= 0 && direction <= 2 ? direction : 2]) + message);
    };
    smtp_->OnStartTransfer = [this](QObject *) { AddTraceLine("Start transfer to " + smtp_->MailServer()); };
    smtp_->OnTransfer = [this](QObject *, std::int64_t bytes) {
        AddTraceLine(QString::number(bytes) + QStringLiteral(" Bytes"));
    };
    smtp_->OnEndTransfer = [this](QObject *) { AddTraceLine("END transfer to " + smtp_->MailServer()); };
    smtp_->OnError = [this](QObject *, int code, const QString &description) {
        AddTraceLine(QStringLiteral("ERROR Event: ") + QString::number(code) + description);
    };

    connect(ui_->Button1, &QPushButton::clicked, this, &TFTP_MailSend::SendFromButton);
    connect(ui_->Button2, &QPushButton::clicked, this, &TFTP_MailSend::Button2Click);
}

TFTP_MailSend::~TFTP_MailSend() = default;

MailFields TFTP_MailSend::Fields() const
{
    MailFields fields;
    fields.to = ui_->tTo->text();
    fields.bcc = ui_->tBCC->text();
    fields.subject = ui_->tSubject->text();
    fields.from = ui_->tFrom->text();
    fields.attachedFile = ui_->tAttachedFile->text();
    fields.quotedPrintable = ui_->cbQuotedPrint->isChecked();
    const QString text = ui_->tMessage->toPlainText();
    if (!text.isEmpty())
        fields.text = text.split(QLatin1Char('\n'));
    return fields;
}

void TFTP_MailSend::Button1Click()
{
    const WaitCursor wait;
    sendMail(*smtp_, *netCode_, ui_->tSMTPSrv->text(), Fields());
}

void TFTP_MailSend::SendFromButton()
{
    try {
        Button1Click();
    } catch (const std::exception &e) {
        dialogs().error(QString::fromUtf8(e.what()));
    }
}

void TFTP_MailSend::Button2Click()
{
    FileChoice choice;
    choice.title = QStringLiteral("Select File to Send");
    choice.filter = QStringLiteral("All Files (*.*)|*.*|Archives (*.zip, *.arj)|*.zip;*.arj");
    const QString path = dialogs().chooseFile(choice);
    if (!path.isEmpty())
        ui_->tAttachedFile->setText(path);
}

void TFTP_MailSend::AddTraceLine(const QString &line)
{
    QListWidget *trace = ui_->lbBtmLines;
    trace->addItem(line);
    // The newest lines stay in sight: the top line is the one two above the last.
    trace->scrollToItem(trace->item(std::max(0, trace->count() - 3)), QAbstractItemView::PositionAtTop);
}

bool TFTP_MailSend::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == ui_->lbBtmLines->viewport() && event->type() == QEvent::MouseButtonPress &&
        static_cast<QMouseEvent *>(event)->button() == Qt::RightButton) {
        ui_->lbBtmLines->clear();
        return true;
    }
    return QWidget::eventFilter(watched, event);
}

} // namespace cvb
