// The windows of the main menu, one entry each: the button that opens it, whether the connection
// guard runs first, whether it fills the main window in place of the menu, and how it is made.
// Building a window means changing its one line in menuWindows().
#pragma once

#include <QList>
#include <QString>
#include <functional>

class QWidget;

namespace cvb {

class MainWindowAccess;

struct MenuWindow
{
    QString button; // objectName of the menu button
    bool guarded;   // AllowAccess must pass first
    bool
        hidesMenu; // a child filling the main window while the menu panel is hidden; else a window of its own
    // Makes the window; `parent` is the main window. The window frees itself when it closes.
    std::function<QWidget *(MainWindowAccess &main, QWidget *parent)> make;
};

const QList<MenuWindow> &menuWindows();

// The entry of `button`, or nullptr.
const MenuWindow *menuWindow(const QString &button);

} // namespace cvb
