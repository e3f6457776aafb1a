// Messages at the tray icon go through one seam, so that the program shows real balloons where
// the desktop has a tray while tests see every message shown (offscreen there is no tray).
#pragma once

#include <QString>

class QSystemTrayIcon;

namespace cvb {

class TrayNotices
{
public:
    virtual ~TrayNotices() = default;
    // True when the desktop has a tray to show messages at.
    virtual bool available() const = 0;
    // A warning message at `icon`.
    virtual void showMessage(QSystemTrayIcon &icon, const QString &title, const QString &text) = 0;
};

// The installed notices, or the desktop's tray when none are installed.
TrayNotices &trayNotices();

// Installs `replacement` (nullptr goes back to the desktop's tray) and returns what was installed
// before. The caller keeps ownership.
TrayNotices *installTrayNotices(TrayNotices *replacement);

} // namespace cvb
