#include "app/MenuTable.h"

#include "app/PlaceholderWindow.h"
#include "ui/connection/TFTP_ConnectionData.h"

#include <QWidget>

namespace cvb {

namespace {

// Stands in for a window that is not built yet.
std::function<QWidget *(MainWindowAccess &, QWidget *)> placeholder(const QString &name,
                                                                    const QString &caption)
{
    return [name, caption](MainWindowAccess &, QWidget *parent) -> QWidget * {
        return new PlaceholderWindow(name, caption, parent);
    };
}

// The schedule overview is a window of its own that stays on top; the menu stays as it is.
QWidget *scheduleOverview(MainWindowAccess &, QWidget *parent)
{
    auto *overview = new PlaceholderWindow(QStringLiteral("FTP_ProfileStatus"),
                                           QStringLiteral("Corvale Web Backup Schedule"), parent);
    overview->setWindowFlags(Qt::Dialog | Qt::WindowStaysOnTopHint);
    return overview;
}

} // namespace

const QList<MenuWindow> &menuWindows()
{
    static const QList<MenuWindow> windows{
        {QStringLiteral("ConnectionButton"), false, true,
         [](MainWindowAccess &main, QWidget *parent) -> QWidget * {
             return new TFTP_ConnectionData(main, parent);
         }},
        {QStringLiteral("ProfilesButton"), true, true,
         placeholder(QStringLiteral("FTP_Profiles"), QStringLiteral("Profile Operations"))},
        {QStringLiteral("LogsButton"), true, true,
         placeholder(QStringLiteral("FTP_LogMaint"), QStringLiteral("Log Maintenance"))},
        {QStringLiteral("LiveSessionButton"), true, true,
         placeholder(QStringLiteral("FTP_Freestyle"), QStringLiteral("Live FTP Session"))},
        {QStringLiteral("InstantBackupButton"), true, true,
         placeholder(QStringLiteral("FTP_CreateNewProfile"), QStringLiteral("Profiles"))},
        {QStringLiteral("ScheduleButton"), false, false, scheduleOverview},
    };
    return windows;
}

const MenuWindow *menuWindow(const QString &button)
{
    for (const MenuWindow &window : menuWindows()) {
        if (window.button == button)
            return &window;
    }
    return nullptr;
}

} // namespace cvb
