#include "mail/MailSend.h"

#include "mail/MailComposer.h"
#include "mail/MailSender.h"
#include "mail/NetCode.h"
#include "smtp/SMTP.h"

#include <QApplication>
#include <QCheckBox>
#include <QEvent>
#include <QFileDialog>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMessageBox>
#include <QMouseEvent>
#include <QPlainTextEdit>
#include <QPushButton>

namespace cvb {

namespace {

template <typename T> T *named(T *widget, const char *name)
{
    widget->setObjectName(QLatin1String(name));
    return widget;
}

} // namespace

TFTP_MailSend::TFTP_MailSend(QWidget *parent)
    : QWidget(parent, Qt::Window), tSMTPSrv(named(new QLineEdit(this), "tSMTPSrv")),
      tTo(named(new QLineEdit(this), "tTo")), tBCC(named(new QLineEdit(this), "tBCC")),
      tSubject(named(new QLineEdit(this), "tSubject")), tFrom(named(new QLineEdit(this), "tFrom")),
      tAttachedFile(named(new QLineEdit(this), "tAttachedFile")),
      cbQuotedPrint(named(new QCheckBox(tr("&Encode accented chars"), this), "cbQuotedPrint")),
      tMessage(named(new QPlainTextEdit(this), "tMessage")),
      lbBtmLines(named(new QListWidget(this), "lbBtmLines")),
      Button1(named(new QPushButton(tr("Se&nd Mail"), this), "Button1")),
      Button2(named(new QPushButton(tr("&Browse"), this), "Button2")),
      SMTP1(named(new TcvbSMTP(this), "SMTP1")), NetCode1(named(new TcvbNetCode(this), "NetCode1"))
{
    setObjectName(QStringLiteral("FTP_MailSend"));
    setAttribute(Qt::WA_DeleteOnClose);
    setWindowTitle(QStringLiteral("EMAIL DEMO - Send Mail"));
    resize(560, 470);

    // The form as its controls were placed: labels on the left, fields on the right.
    AddLabel(QStringLiteral("SMTP Ser&ver"), tSMTPSrv, 8, 10);
    tSMTPSrv->setGeometry(110, 8, 200, 22);
    AddLabel(QStringLiteral("&To:"), tTo, 8, 36);
    tTo->setGeometry(110, 34, 320, 22);
    AddLabel(QStringLiteral("&BCC:"), tBCC, 8, 62);
    tBCC->setGeometry(110, 60, 320, 22);
    AddLabel(QStringLiteral("&Subject:"), tSubject, 8, 88);
    tSubject->setGeometry(110, 86, 320, 22);
    AddLabel(QStringLiteral("&From:"), tFrom, 8, 114);
    tFrom->setGeometry(110, 112, 320, 22);
    AddLabel(QStringLiteral("&Attach binary file"), tAttachedFile, 8, 140);
    tAttachedFile->setGeometry(110, 138, 320, 22);
    Button2->setGeometry(440, 137, 90, 24);
    cbQuotedPrint->setGeometry(110, 164, 250, 22);
    Button1->setGeometry(440, 8, 90, 24);
    AddLabel(QStringLiteral("Te&xt"), tMessage, 8, 192);
    tMessage->setGeometry(8, 210, 534, 150);
    lbBtmLines->setGeometry(8, 362, 537, 90);
    lbBtmLines->addItem(QStringLiteral("trace protocol here  -- right click to clear"));
    lbBtmLines->viewport()->installEventFilter(this);

    NetCode1->SetMaxFileSize(0);
    NetCode1->SetMode(QStringLiteral("600"));

    SMTP1->OnPITrail = [this](QObject *, int direction, const QString &message) {
        static const char *const prefixes[] = {"From Client", "From Server", "Info"};
        AddTraceLine(QLatin1String(prefixes[direction >= 0 && direction <= 2 ? direction : 2]) + message);
    };
    SMTP1->OnStartTransfer = [this](QObject *) { AddTraceLine("Start transfer to " + SMTP1->MailServer()); };
    SMTP1->OnTransfer = [this](QObject *, std::int64_t bytes) {
        AddTraceLine(QString::number(bytes) + QStringLiteral(" Bytes"));
    };
    SMTP1->OnEndTransfer = [this](QObject *) { AddTraceLine("END transfer to " + SMTP1->MailServer()); };
    SMTP1->OnError = [this](QObject *, int code, const QString &description) {
        AddTraceLine(QStringLiteral("ERROR Event: ") + QString::number(code) + description);
    };

    ChooseFile = [this](const QString &title, const QString &filter) {
        return QFileDialog::getOpenFileName(this, title, QString(), filter, nullptr,
                                            QFileDialog::DontResolveSymlinks);
    };
    ShowError = [this](const QString &text) { QMessageBox::warning(this, windowTitle(), text); };

    connect(Button1, &QPushButton::clicked, this, &TFTP_MailSend::SendFromButton);
    connect(Button2, &QPushButton::clicked, this, &TFTP_MailSend::Button2Click);
}

TFTP_MailSend::~TFTP_MailSend() = default;

QLabel *TFTP_MailSend::AddLabel(const QString &text, QWidget *buddy, int x, int y)
{
    auto *label = new QLabel(text, this);
    label->setBuddy(buddy);
    label->move(x, y);
    return label;
}

QStringList TFTP_MailSend::MessageLines() const
{
    const QString text = tMessage->toPlainText();
    return text.isEmpty() ? QStringList() : text.split(QLatin1Char('\n'));
}

MailFields TFTP_MailSend::Fields() const
{
    MailFields fields;
    fields.to = tTo->text();
    fields.bcc = tBCC->text();
    fields.subject = tSubject->text();
    fields.from = tFrom->text();
    fields.attachedFile = tAttachedFile->text();
    fields.quotedPrintable = cbQuotedPrint->isChecked();
    fields.text = MessageLines();
    return fields;
}

void TFTP_MailSend::Button1Click()
{
    QApplication::setOverrideCursor(Qt::WaitCursor);
    struct RestoreCursor
    {
        ~RestoreCursor() { QApplication::restoreOverrideCursor(); }
    } restore;
    sendMail(*SMTP1, *NetCode1, tSMTPSrv->text(), Fields());
}

void TFTP_MailSend::SendFromButton()
{
    try {
        Button1Click();
    } catch (const std::exception &e) {
        if (ShowError)
            ShowError(QString::fromUtf8(e.what()));
    }
}

void TFTP_MailSend::Button2Click()
{
    if (!ChooseFile)
        return;
    const QString path = ChooseFile(QStringLiteral("Select File to Send"),
                                    QStringLiteral("All Files (*);;Archives (*.zip *.arj)"));
    if (!path.isEmpty())
        tAttachedFile->setText(path);
}

void TFTP_MailSend::AddTraceLine(const QString &line)
{
    lbBtmLines->addItem(line);
    const int top = std::max(0, lbBtmLines->count() - 3);
    lbBtmLines->scrollToItem(lbBtmLines->item(top), QAbstractItemView::PositionAtTop);
}

bool TFTP_MailSend::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == lbBtmLines->viewport() && event->type() == QEvent::MouseButtonPress &&
        static_cast<QMouseEvent *>(event)->button() == Qt::RightButton) {
        lbBtmLines->clear();
        return true;
    }
    return QWidget::eventFilter(watched, event);
}

void TFTP_MailSend::resizeEvent(QResizeEvent *event)
{
    QWidget::resizeEvent(event);
    if (isMinimized())
        return;
    tMessage->resize(width() - 2 * tMessage->x() - 10, tMessage->height());
    if (height() - tMessage->y() > 100)
        tMessage->resize(tMessage->width(), height() - tMessage->y() - lbBtmLines->height() - 40);
    lbBtmLines->setGeometry(lbBtmLines->x(), tMessage->y() + tMessage->height() + 2,
                            width() - lbBtmLines->x() - 15, lbBtmLines->height());
}

} // namespace cvb
