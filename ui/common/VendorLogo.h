// The vendor's corner of a window: the logo picture ("logo.gif", animated) above a link label.
// A click on either opens the vendor's web page in the web browser, as the main window's logos
// do. Placed in Designer forms as a promoted QWidget.
//
// Object names of its parts: LogoImage, LinkLabel.
#pragma once

#include <QWidget>

class QLabel;

namespace cvb {

inline const QString VendorHint = QStringLiteral("Click Here For Sales And Documentation");

class VendorLogo : public QWidget
{
    Q_OBJECT
public:
    explicit VendorLogo(QWidget *parent = nullptr);

    // Opens the vendor's web page.
    static void openVendorPage();

protected:
    void showEvent(QShowEvent *event) override;
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    QLabel *image_;
    QLabel *link_;
};

} // namespace cvb
