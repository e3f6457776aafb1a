// TFTP_MailSend, the mail window: the fields of one message, "Se&nd Mail" and "&Browse", and a
// trace of the SMTP conversation below the text. Sending is sendMail over the window's own SMTP
// component and encoder; the window only gathers the fields, shows the trace and reports a
// failure through the dialogs. Closing it frees it.
//
// Object names: tSMTPSrv, tTo, tBCC, tSubject, tFrom, tAttachedFile, cbQuotedPrint, tMessage,
// lbBtmLines, Button1, Button2, SMTP1 (the SMTP component), NetCode1 (the encoder).
#pragma once

#include "mail/MailComposer.h"

#include <QWidget>

#include <memory>

namespace Ui {
class TFTP_MailSend;
}

namespace cvb {

class TcvbSMTP;
class TcvbNetCode;

class TFTP_MailSend : public QWidget
{
    Q_OBJECT
public:
    explicit TFTP_MailSend(QWidget *parent = nullptr);
    ~TFTP_MailSend() override;

    // Composes the message from the fields and sends it, with the wait cursor; the connection
    // is closed in every case. A failure raises the component's exception after the clean-up.
    void Button1Click();
    // Lets the user choose the file to attach.
    void Button2Click();

    // The message as the fields hold it; the text one entry per line.
    MailFields Fields() const;

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void AddTraceLine(const QString &line);
    void SendFromButton();

    std::unique_ptr<Ui::TFTP_MailSend> ui_;
    TcvbSMTP *smtp_;
    TcvbNetCode *netCode_;
};

} // namespace cvb
