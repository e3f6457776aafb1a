#include "ui/common/TrayNotices.h"

#include <QSystemTrayIcon>

namespace cvb {

namespace {

class DesktopTray final : public TrayNotices
{
public:
    bool available() const override { return QSystemTrayIcon::isSystemTrayAvailable(); }
    void showMessage(QSystemTrayIcon &icon, const QString &title, const QString &text) override
    {
        icon.showMessage(title, text, QSystemTrayIcon::Warning);
    }
};

TrayNotices *g_installed = nullptr;

} // namespace

TrayNotices &trayNotices()
{
    static DesktopTray desktop;
    return g_installed ? *g_installed : desktop;
}

TrayNotices *installTrayNotices(TrayNotices *replacement)
{
    TrayNotices *previous = g_installed;
    g_installed = replacement;
    return previous;
}

} // namespace cvb
