// TFTP_MailSend: the mail window. The backup uses it hidden as the report composer: it fills
// tSMTPSrv, tTo, tFrom, tSubject and tMessage, calls Button1Click and closes it. Shown, it is a
// small mail form with a protocol trace. Closing it frees it.
#pragma once

#include <QWidget>

#include <functional>

class QCheckBox;
class QLabel;
class QLineEdit;
class QListWidget;
class QPlainTextEdit;
class QPushButton;

namespace cvb {

class TcvbSMTP;
class TcvbNetCode;
struct MailFields;

class TFTP_MailSend : public QWidget
{
    Q_OBJECT
public:
    explicit TFTP_MailSend(QWidget *parent = nullptr);
    ~TFTP_MailSend() override;

    QLineEdit *tSMTPSrv;
    QLineEdit *tTo;
    QLineEdit *tBCC;
    QLineEdit *tSubject;
    QLineEdit *tFrom;
    QLineEdit *tAttachedFile;
    QCheckBox *cbQuotedPrint;
    QPlainTextEdit *tMessage;
    QListWidget *lbBtmLines;
    QPushButton *Button1;
    QPushButton *Button2;
    TcvbSMTP *SMTP1;
    TcvbNetCode *NetCode1;

    // Composes the message from the fields and sends it; disconnects in every case. A failure
    // raises the component's exception (EcvbSMTP, EcvbNetCode) after the clean-up.
    void Button1Click();
    // Lets the user choose the file to attach.
    void Button2Click();

    // The lines of tMessage, one entry per line.
    QStringList MessageLines() const;
    MailFields Fields() const;

    // The file chooser (title, Qt filter) returning a path or an empty text; by default a
    // Qt file dialog. The program may route it through its own dialogs.
    std::function<QString(const QString &title, const QString &filter)> ChooseFile;
    // Shows the error of a send started from the button; by default a warning box.
    std::function<void(const QString &text)> ShowError;

protected:
    void resizeEvent(QResizeEvent *event) override;
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void AddTraceLine(const QString &line);
    void SendFromButton();
    QLabel *AddLabel(const QString &text, QWidget *buddy, int x, int y);
};

} // namespace cvb
