// A failed backup under a tray: one message at the tray icon naming the profile and its first
// failure, and the icon's tooltip with the last result of each profile.
#include "MainWinFixture.h"

#include "data/Layouts.h"
#include "tests/support/FtpServer.h"
#include "ui/common/TrayNotices.h"
#include "ui/profiles/ProfileRules.h"

#include <QApplication>
#include <QDeadlineTimer>
#include <QSystemTrayIcon>

namespace {

// A tray that is there, and remembers what it was asked to show.
class RecordingTray : public cvb::TrayNotices
{
public:
    RecordingTray() : m_previous(cvb::installTrayNotices(this)) {}
    ~RecordingTray() override { cvb::installTrayNotices(m_previous); }
    bool available() const override { return true; }
    void showMessage(QSystemTrayIcon &icon, const QString &title, const QString &text) override
    {
        shown << icon.objectName() + QStringLiteral(" | ") + title + QStringLiteral(" | ") + text;
    }
    QStringList shown;

private:
    cvb::TrayNotices *m_previous;
};

class TrayNotice : public MainWinTest
{
protected:
    void addProfile(const QString &name)
    {
        cvb::Table profiles;
        profiles.open(cvb::ProfilesTable, cvb::ProfileIndex);
        profiles.insert();
        profiles.setString(QStringLiteral("PROFILE"), name);
        profiles.setString(QStringLiteral("TARGET_LOC"), dir.filePath("backups"));
        profiles.setBool(QStringLiteral("ACTIVE"), true);
        profiles.post();
        cvb::Table sources;
        sources.open(cvb::SourcesTable, cvb::ProfileIndex);
        sources.insert();
        sources.setString(QStringLiteral("PROFILE"), name);
        sources.setString(QStringLiteral("SOURCE"), QStringLiteral("/index.html"));
        sources.post();
    }
};

TEST_F(TrayNotice, AFailedBackupShowsOneTrayMessageWithItsFirstFailure)
{
    cvb::test::PyFtpServer server;
    ASSERT_TRUE(server.isListening());
    setConnection(QStringLiteral("127.0.0.1:%1").arg(server.port()), server.user(), QStringLiteral("wrong"));
    {
        cvb::Table cnct;
        cnct.open(cvb::ConnectionTable);
        cnct.edit();
        cnct.setBool(QStringLiteral("USEDEFAULT"), true);
        cnct.post();
    }
    ASSERT_TRUE(QDir().mkpath(dir.filePath("backups")));
    addProfile(QStringLiteral("Locked"));
    RecordingTray tray;

    cvb::TMainWin &w = createWindow();
    QStringList closed;
    QObject::connect(&w, &cvb::TMainWin::backupClosed, &w, [&closed](const QString &profile, bool ok) {
        closed << profile + (ok ? " ok" : " failed");
    });
    cvb::queueProfile(w.Table_Queue(), QStringLiteral("Locked"));
    w.startQueuedBackupSoon();
    QDeadlineTimer end(60000);
    while (closed.isEmpty() && !end.hasExpired()) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 50);
        processDeletes();
    }
    ASSERT_EQ(closed, QStringList{"Locked failed"});
    ASSERT_EQ(tray.shown.size(), 1) << tray.shown.join('\n').toStdString();
    EXPECT_TRUE(tray.shown[0].startsWith(QStringLiteral("TrayIcon1 | ") +
                                         QApplication::applicationDisplayName() +
                                         QStringLiteral(" | The backup of profile Locked failed: ")))
        << tray.shown[0].toStdString();
    EXPECT_TRUE(tray.shown[0].contains(QStringLiteral("530"))) << tray.shown[0].toStdString();
    EXPECT_TRUE(w.TrayIcon1()->toolTip().contains(QStringLiteral("\nLocked: backup failed, 0 files")))
        << w.TrayIcon1()->toolTip().toStdString();
}

} // namespace
