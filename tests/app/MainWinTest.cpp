#include "MainWinFixture.h"

#include "data/Layouts.h"

#include <QAction>
#include <QDesktopServices>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QListWidget>
#include <QMenu>
#include <QMovie>
#include <QPushButton>
#include <QStatusBar>
#include <QSystemTrayIcon>
#include <QTest>
#include <QTimer>
#include <QToolButton>
#include <QUrl>

using namespace cvb;

namespace {

const QString GuardMessage =
    QStringLiteral("The web server connection information has not been completed. This "
                   "information must be present to perform this function.");

struct MenuWindow
{
    const char *button;
    const char *window;
    const char *caption;
};
const MenuWindow GuardedWindows[] = {
    {"ProfilesButton", "FTP_Profiles", "Profile Operations"},
    {"LogsButton", "FTP_LogMaint", "Log Maintenance"},
    {"LiveSessionButton", "FTP_Freestyle", "Live FTP Session"},
    {"InstantBackupButton", "FTP_CreateNewProfile", "Profiles"},
};

// Receives what the program asks the desktop to open in a web browser.
class UrlCatcher : public QObject
{
    Q_OBJECT
public:
    UrlCatcher() { QDesktopServices::setUrlHandler(QStringLiteral("https"), this, "openUrl"); }
    ~UrlCatcher() override { QDesktopServices::unsetUrlHandler(QStringLiteral("https")); }
    QList<QUrl> opened;
public slots:
    void openUrl(const QUrl &url) { opened << url; }
};

} // namespace

TEST_F(MainWinTest, HasItsCaptionFixedSizeAndNamedControls)
{
    TMainWin &w = createWindow();
    EXPECT_EQ(w.windowTitle(), QStringLiteral("Corvale Web Backup"));
    EXPECT_EQ(w.minimumSize(), QSize(632, 418));
    EXPECT_EQ(w.maximumSize(), QSize(632, 418));
    EXPECT_FALSE(w.windowFlags() & Qt::WindowMaximizeButtonHint);
    EXPECT_TRUE(w.windowFlags() & Qt::WindowMinimizeButtonHint);
    EXPECT_TRUE(w.windowFlags() & Qt::WindowCloseButtonHint);

    for (const char *name : {"MenuPanel", "GIFImage4", "VendorLogo1", "VendorLogo2", "VendorLogo3"})
        EXPECT_NE(child<QWidget>(QString::fromUtf8(name)), nullptr) << name;
    EXPECT_NE(child<QStatusBar>(QStringLiteral("StatusBar1")), nullptr);
    const QList<std::pair<const char *, const char *>> buttons{
        {"ConnectionButton", "Set Connection To Web Server"},
        {"ProfilesButton", "Build/Edit Backup Session Profile"},
        {"LogsButton", "View Backup History Logs"},
        {"LiveSessionButton", "Live Upload/Download To Web Server (FTP)"},
        {"InstantBackupButton", "Initiate Instant Profile Backup"},
        {"ScheduleButton", "View Web Backup Schedule"},
        {"BackgroundButton", "Run In Background"},
        {"QuitButton", "Quit And Exit Program"}};
    for (const auto &[name, caption] : buttons) {
        auto *button = child<QToolButton>(QString::fromUtf8(name));
        ASSERT_NE(button, nullptr) << name;
        EXPECT_EQ(button->text(), QString::fromUtf8(caption));
    }

    auto *extensions = child<QListWidget>(QStringLiteral("ASCIIExtensions"));
    ASSERT_NE(extensions, nullptr);
    EXPECT_EQ(extensions->count(), 5);
    EXPECT_EQ(w.asciiExtensions(), (QStringList{"dat", "htm", "tml", "txt", "tml"}));
    EXPECT_TRUE(w.IsAsciiExtension(QStringLiteral("x.bdat")));
    EXPECT_FALSE(w.IsAsciiExtension(QStringLiteral("logo.gif")));
}

TEST_F(MainWinTest, OpensItsSevenCursorsAtCreation)
{
    TMainWin &w = createWindow();
    const QList<std::tuple<const char *, QString, QString>> cursors{
        {"Table_Cnct", ConnectionTable, QString()},
        {"Table_Profiles", ProfilesTable, ProfileIndex},
        {"Table_Files", SourcesTable, ProfileIndex},
        {"Table_Queue", QueueTable, QString()},
        {"Table_Log", LogTable, QString()},
        {"Table_ProfilesLKUP", ProfilesTable, ProfileIndex},
        {"Table_FilesLKUP", SourcesTable, ProfileIndex}};
    for (const auto &[name, file, index] : cursors) {
        auto *table = w.findChild<Table *>(QString::fromUtf8(name));
        ASSERT_NE(table, nullptr) << name;
        EXPECT_TRUE(table->isOpen()) << name;
        EXPECT_EQ(table->tableName(), file) << name;
        EXPECT_EQ(table->indexName(), index) << name;
    }
    EXPECT_EQ(&w.Table_Log(), w.findChild<Table *>(QStringLiteral("Table_Log")));
    // The connection cursor stands on the settings record.
    EXPECT_EQ(w.Table_Cnct().recordCount(), 1);
}

TEST_F(MainWinTest, BothTimersRunAfterCreationWithTheirIntervals)
{
    TMainWin &w = createWindow();
    auto *eventMonitor = child<QTimer>(QStringLiteral("EventMonitor"));
    auto *queueMonitor = child<QTimer>(QStringLiteral("QueueMonitor"));
    ASSERT_NE(eventMonitor, nullptr);
    ASSERT_NE(queueMonitor, nullptr);
    EXPECT_EQ(eventMonitor->interval(), 15000);
    EXPECT_EQ(queueMonitor->interval(), 10000);
    EXPECT_TRUE(eventMonitor->isActive());
    EXPECT_TRUE(queueMonitor->isActive());
    EXPECT_EQ(w.EventMonitor(), eventMonitor);
}

TEST_F(MainWinTest, WithAnEmptyPasswordTheGuardedButtonsShowTheGuardMessageAndOpenNothing)
{
    setConnection(QStringLiteral("ftp.example.com"), QStringLiteral("webmaster"), QString());
    TMainWin &w = createWindow();
    w.show();
    for (const MenuWindow &m : GuardedWindows) {
        dialogs.clear();
        QTest::mouseClick(child<QToolButton>(QString::fromUtf8(m.button)), Qt::LeftButton);
        EXPECT_EQ(dialogs.texts(), QStringList{GuardMessage}) << m.button;
        EXPECT_EQ(dialogs.shown().at(0).kind, ScriptedDialogs::Kind::Information);
        EXPECT_EQ(child<QWidget>(QString::fromUtf8(m.window)), nullptr) << m.window;
        EXPECT_TRUE(child<QWidget>(QStringLiteral("MenuPanel"))->isVisible()) << m.button;
    }
}

TEST_F(MainWinTest, TheGuardWantsDomainPasswordAndUserName)
{
    createWindow();
    EXPECT_FALSE(win->AllowAccess());
    delete win.data();
    setConnection(QString(), QStringLiteral("webmaster"), QStringLiteral("secret"));
    createWindow();
    EXPECT_FALSE(win->AllowAccess());
    delete win.data();
    setConnection(QStringLiteral("ftp.example.com"), QString(), QStringLiteral("secret"));
    createWindow();
    EXPECT_FALSE(win->AllowAccess());
    EXPECT_EQ(dialogs.texts(), (QStringList{GuardMessage, GuardMessage, GuardMessage}));
    delete win.data();

    dialogs.clear();
    setConnection(QStringLiteral("ftp.example.com"), QStringLiteral("webmaster"), QStringLiteral("secret"));
    MainWindowAccess &access = createWindow(); // as the windows opened from the menu see it
    EXPECT_TRUE(access.AllowAccess());
    EXPECT_TRUE(dialogs.texts().isEmpty());
}

TEST_F(MainWinTest, UnguardedButtonsOpenWithoutConnectionData)
{
    TMainWin &w = createWindow();
    w.show();
    auto *menu = child<QWidget>(QStringLiteral("MenuPanel"));

    QTest::mouseClick(child<QToolButton>(QStringLiteral("ConnectionButton")), Qt::LeftButton);
    QPointer<QWidget> connection = child<QWidget>(QStringLiteral("FTP_ConnectionData"));
    ASSERT_FALSE(connection.isNull());
    EXPECT_TRUE(connection->isVisible());
    EXPECT_EQ(connection->windowTitle(), QStringLiteral("Web Server Connection Information"));
    EXPECT_FALSE(menu->isVisible());
    // A window opened from the menu fills the main window while the menu is hidden.
    QCoreApplication::processEvents();
    EXPECT_EQ(connection->geometry(), w.rect());
    connection->close();
    processDeletes();
    EXPECT_TRUE(connection.isNull());
    EXPECT_TRUE(menu->isVisible());

    QTest::mouseClick(child<QToolButton>(QStringLiteral("ScheduleButton")), Qt::LeftButton);
    auto *schedule = child<QWidget>(QStringLiteral("FTP_ProfileStatus"));
    ASSERT_NE(schedule, nullptr);
    EXPECT_TRUE(schedule->isVisible());
    EXPECT_TRUE(schedule->isWindow());
    EXPECT_TRUE(schedule->windowFlags() & Qt::WindowStaysOnTopHint);
    EXPECT_EQ(schedule->windowTitle(), QStringLiteral("Corvale Web Backup Schedule"));
    EXPECT_TRUE(menu->isVisible()); // the schedule overview leaves the menu as it is
    EXPECT_TRUE(dialogs.texts().isEmpty());
}

TEST_F(MainWinTest, WithCompleteConnectionEveryGuardedButtonOpensItsWindowAndTheMenuComesBack)
{
    setConnection(QStringLiteral("ftp.example.com"), QStringLiteral("webmaster"), QStringLiteral("secret"));
    TMainWin &w = createWindow();
    w.show();
    auto *menu = child<QWidget>(QStringLiteral("MenuPanel"));
    for (const MenuWindow &m : GuardedWindows) {
        QTest::mouseClick(child<QToolButton>(QString::fromUtf8(m.button)), Qt::LeftButton);
        QPointer<QWidget> opened = child<QWidget>(QString::fromUtf8(m.window));
        ASSERT_FALSE(opened.isNull()) << m.window;
        EXPECT_EQ(opened->windowTitle(), QString::fromUtf8(m.caption));
        EXPECT_TRUE(opened->isVisible());
        EXPECT_FALSE(menu->isVisible()) << m.button;
        opened->close();
        processDeletes();
        EXPECT_TRUE(opened.isNull()) << m.window;
        EXPECT_TRUE(menu->isVisible()) << m.button;
    }
    EXPECT_TRUE(dialogs.texts().isEmpty());
}

TEST_F(MainWinTest, ClosingTheProgramWithMenuWindowsOpenFreesThemFirst)
{
    setConnection(QStringLiteral("ftp.example.com"), QStringLiteral("webmaster"), QStringLiteral("secret"));
    TMainWin &w = createWindow();
    w.show();
    w.openMenuWindow(QStringLiteral("LogsButton"));
    w.openMenuWindow(QStringLiteral("ScheduleButton"));
    QPointer<QWidget> logs = child<QWidget>(QStringLiteral("FTP_LogMaint"));
    QPointer<QWidget> schedule = child<QWidget>(QStringLiteral("FTP_ProfileStatus"));
    ASSERT_FALSE(logs.isNull());
    ASSERT_FALSE(schedule.isNull());
    // Their going must not call back into the main window being destroyed (the sanitizers see it).
    delete win.data();
    EXPECT_TRUE(logs.isNull());
    EXPECT_TRUE(schedule.isNull());
}

TEST_F(MainWinTest, RunInBackgroundTellsTheUserAndHidesTheWindowWhileTheTimersRun)
{
    TMainWin &w = createWindow();
    w.show();
    QTest::mouseClick(child<QToolButton>(QStringLiteral("BackgroundButton")), Qt::LeftButton);
    EXPECT_EQ(dialogs.texts(),
              QStringList{"Corvale Web Backup will now run in the background. All active backups will be "
                          "performed on schedule. Restore the program with the icon system tray."});
    EXPECT_EQ(dialogs.shown().at(0).kind, ScriptedDialogs::Kind::Information);
    EXPECT_FALSE(w.isVisible());
    EXPECT_TRUE(w.EventMonitor()->isActive());
    EXPECT_TRUE(w.QueueMonitor()->isActive());
}

TEST_F(MainWinTest, QuitPromptYesHidesTheWindowAndKeepsTheScheduleRunning)
{
    TMainWin &w = createWindow();
    w.show();
    dialogs.prepareAnswers({Answer::Yes});
    QTest::mouseClick(child<QToolButton>(QStringLiteral("QuitButton")), Qt::LeftButton);
    ASSERT_EQ(dialogs.shown().size(), 1);
    EXPECT_EQ(dialogs.shown().at(0).kind, ScriptedDialogs::Kind::Warning);
    EXPECT_EQ(dialogs.shown().at(0).buttons, Buttons::YesCancel);
    EXPECT_EQ(dialogs.shown().at(0).text,
              QStringLiteral("Click \"Yes\" to minimize the program and allow the backups to occur at their "
                             "regular times.  Click \"Cancel\" to cancel the backups and exit the program."));
    processDeletes();
    ASSERT_FALSE(win.isNull());
    EXPECT_FALSE(w.isVisible());
    EXPECT_TRUE(w.EventMonitor()->isActive());
    EXPECT_TRUE(w.QueueMonitor()->isActive());
}

TEST_F(MainWinTest, QuitPromptCancelClosesAndFreesTheMainWindow)
{
    TMainWin &w = createWindow();
    w.show();
    bool destroyed = false;
    QObject::connect(&w, &QObject::destroyed, [&destroyed] { destroyed = true; });
    dialogs.prepareAnswers({Answer::Cancel});
    QTest::mouseClick(child<QToolButton>(QStringLiteral("QuitButton")), Qt::LeftButton);
    processDeletes();
    EXPECT_TRUE(destroyed);
    EXPECT_TRUE(win.isNull());
}

TEST_F(MainWinTest, RestoreShowsTheWindowAndOpensTheScheduleOverview)
{
    TMainWin &w = createWindow();
    w.show();
    w.showMinimized();
    w.hide();
    auto *tray = child<QSystemTrayIcon>(QStringLiteral("TrayIcon1"));
    ASSERT_NE(tray, nullptr);
    EXPECT_EQ(tray->toolTip(), QStringLiteral("Corvale Backup - Right-Click for Menu"));
    ASSERT_NE(tray->contextMenu(), nullptr);
    const QList<QAction *> entries = tray->contextMenu()->actions();
    ASSERT_EQ(entries.size(), 1);
    EXPECT_EQ(entries.at(0)->text(), QStringLiteral("Restore"));

    entries.at(0)->trigger();
    EXPECT_TRUE(w.isVisible());
    EXPECT_FALSE(w.windowState() & Qt::WindowMinimized);
    auto *schedule = child<QWidget>(QStringLiteral("FTP_ProfileStatus"));
    ASSERT_NE(schedule, nullptr);
    EXPECT_TRUE(schedule->isVisible());
}

TEST_F(MainWinTest, VendorLogosOpenTheVendorsAddressInTheBrowser)
{
    UrlCatcher browser;
    createWindow().show();
    for (const char *name : {"VendorLogo1", "VendorLogo2", "VendorLogo3"}) {
        auto *logo = child<QToolButton>(QString::fromUtf8(name));
        EXPECT_EQ(logo->toolTip(), QStringLiteral("Click Here For Sales And Documentation"));
        QTest::mouseClick(logo, Qt::LeftButton);
    }
    EXPECT_EQ(browser.opened, QList<QUrl>(3, QUrl(VendorAddress)));
}

class LogoTest : public MainWinTest
{
protected:
    void SetUp() override
    {
        MainWinTest::SetUp();
        ASSERT_TRUE(cwd.isValid());
        previous = QDir::currentPath();
        QDir::setCurrent(cwd.path());
    }
    void TearDown() override
    {
        MainWinTest::TearDown();
        QDir::setCurrent(previous);
    }
    void writeLogo(const QByteArray &bytes)
    {
        QFile file(cwd.filePath(QStringLiteral("logo.gif")));
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(bytes);
    }
    QMovie *shownMovie() { return child<QLabel>(QStringLiteral("GIFImage4"))->movie(); }

    QTemporaryDir cwd;
    QString previous;
};

TEST_F(LogoTest, LoadsLogoGifFromTheCurrentFolderOnShowing)
{
    // A 1 x 1 GIF picture.
    writeLogo(
        QByteArray::fromHex("47494638396101000100800000000000ffffff21f90401000000002c000000000100010000020144"
                            "003b"));
    TMainWin &w = createWindow();
    EXPECT_EQ(shownMovie(), nullptr); // not before the window shows
    w.show();
    ASSERT_NE(shownMovie(), nullptr);
    EXPECT_TRUE(shownMovie()->isValid());
}

TEST_F(LogoTest, AMissingOrUnreadableLogoLeavesThePictureAreaEmptySilently)
{
    TMainWin &w = createWindow();
    w.show();
    EXPECT_EQ(shownMovie(), nullptr);
    w.hide();
    writeLogo("this is not a picture");
    w.show();
    EXPECT_EQ(shownMovie(), nullptr);
    EXPECT_TRUE(child<QLabel>(QStringLiteral("GIFImage4"))->pixmap().isNull());
    EXPECT_TRUE(dialogs.texts().isEmpty());
}

#include "MainWinTest.moc"
