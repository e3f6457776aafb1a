#include "app/PlaceholderWindow.h"

#include <QFont>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

namespace cvb {

PlaceholderWindow::PlaceholderWindow(const QString &name, const QString &caption, QWidget *parent)
    : QWidget(parent), closeButton_(new QPushButton(tr("Return To Main Menu"), this))
{
    setObjectName(name);
    setWindowTitle(caption);
    setAttribute(Qt::WA_DeleteOnClose);
    setAutoFillBackground(true);

    // As a child window the caption is not drawn by the window system, so show it inside too.
    auto *title = new QLabel(caption, this);
    title->setObjectName(QStringLiteral("Caption"));
    QFont big = title->font();
    big.setPointSize(big.pointSize() + 4);
    big.setBold(true);
    title->setFont(big);
    title->setAlignment(Qt::AlignCenter);

    auto *note = new QLabel(tr("This window is not available yet."), this);
    note->setObjectName(QStringLiteral("Note"));
    note->setAlignment(Qt::AlignCenter);

    closeButton_->setObjectName(QStringLiteral("CloseButton"));
    connect(closeButton_, &QPushButton::clicked, this, &QWidget::close);

    auto *layout = new QVBoxLayout(this);
    layout->addStretch();
    layout->addWidget(title);
    layout->addWidget(note);
    layout->addStretch();
    layout->addWidget(closeButton_, 0, Qt::AlignCenter);
}

} // namespace cvb
