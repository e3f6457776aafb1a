// Stands in for a window of the menu that is not built yet: a plain window with that window's
// name and caption and one button that closes it. It frees itself when closed, so the window that
// opened it sees it go (its `destroyed` signal) exactly as it will see the real window go.
#pragma once

#include <QWidget>

class QPushButton;

namespace cvb {

class PlaceholderWindow : public QWidget
{
    Q_OBJECT
public:
    // `name` is the real window's component name (its objectName), `caption` its caption.
    PlaceholderWindow(const QString &name, const QString &caption, QWidget *parent = nullptr);

    QPushButton *closeButton() const { return closeButton_; }

private:
    QPushButton *closeButton_;
};

} // namespace cvb
