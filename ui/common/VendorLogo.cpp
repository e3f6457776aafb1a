#include "ui/common/VendorLogo.h"

#include "data/Vendor.h"
#include "ui/common/Pictures.h"

#include <QDesktopServices>
#include <QLabel>
#include <QMouseEvent>
#include <QShowEvent>
#include <QUrl>
#include <QVBoxLayout>

namespace cvb {

VendorLogo::VendorLogo(QWidget *parent) : QWidget(parent), image_(new QLabel(this)), link_(new QLabel(this))
{
    image_->setObjectName(QStringLiteral("LogoImage"));
    image_->setAlignment(Qt::AlignCenter);
    image_->setMinimumSize(96, 64);
    image_->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Expanding);
    link_->setObjectName(QStringLiteral("LinkLabel"));
    link_->setText(QStringLiteral("<a href=\"%1\">%2</a>")
                       .arg(QLatin1String(kVendorWebAddress), QUrl(QLatin1String(kVendorWebAddress))
                                                                  .host()
                                                                  .remove(QStringLiteral("www."))
                                                                  .toHtmlEscaped()));
    link_->setWordWrap(true);
    link_->setAlignment(Qt::AlignCenter);
    link_->setTextInteractionFlags(Qt::NoTextInteraction);
    for (QLabel *part : {image_, link_}) {
        part->setToolTip(VendorHint);
        part->setCursor(Qt::PointingHandCursor);
        part->installEventFilter(this);
    }
    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(image_, 1);
    layout->addWidget(link_);
}

void VendorLogo::openVendorPage()
{
    QDesktopServices::openUrl(QUrl(QLatin1String(kVendorWebAddress)));
}

void VendorLogo::showEvent(QShowEvent *event)
{
    QWidget::showEvent(event);
    if (!event->spontaneous())
        showPicture(image_, QStringLiteral("logo.gif"), maximumSize());
}

bool VendorLogo::eventFilter(QObject *watched, QEvent *event)
{
    if (event->type() == QEvent::MouseButtonRelease &&
        static_cast<QMouseEvent *>(event)->button() == Qt::LeftButton) {
        openVendorPage();
        return true;
    }
    return QWidget::eventFilter(watched, event);
}

} // namespace cvb
