#include "app/MenuTable.h"

#include "ui/connection/TFTP_ConnectionData.h"
#include "ui/logs/TFTP_LogMaint.h"
#include "ui/profiles/TFTP_CreateNewProfile.h"
#include "ui/profiles/TFTP_Profiles.h"
#include "ui/schedule/TFTP_ProfileStatus.h"
#include "ui/session/TFTP_Freestyle.h"

#include <QWidget>

namespace cvb {

const QList<MenuWindow> &menuWindows()
{
    static const QList<MenuWindow> windows{
        {QStringLiteral("ConnectionButton"), false, true,
         [](MainWindowAccess &main, QWidget *parent) -> QWidget * {
             return new TFTP_ConnectionData(main, parent);
         }},
        {QStringLiteral("ProfilesButton"), true, true,
         [](MainWindowAccess &main, QWidget *parent) -> QWidget * {
             return new TFTP_Profiles(main, parent);
         }},
        {QStringLiteral("LogsButton"), true, true,
         [](MainWindowAccess &main, QWidget *parent) -> QWidget * {
             return new TFTP_LogMaint(main, parent);
         }},
        {QStringLiteral("LiveSessionButton"), true, true,
         [](MainWindowAccess &main, QWidget *parent) -> QWidget * {
             return new TFTP_Freestyle(main, parent);
         }},
        {QStringLiteral("InstantBackupButton"), true, true,
         [](MainWindowAccess &main, QWidget *parent) -> QWidget * {
             return TFTP_CreateNewProfile::forInstantBackup(main, parent);
         }},
        // A window of its own that stays on top; the menu stays as it is.
        {QStringLiteral("ScheduleButton"), false, false,
         [](MainWindowAccess &, QWidget *parent) -> QWidget * { return new TFTP_ProfileStatus(parent); }},
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
