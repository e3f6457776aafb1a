#include "app/MainWin.h"

#include "app/MenuTable.h"
#include "backup/BackupRun.h"
#include "data/ConnectionSettings.h"
#include "data/EventLogRow.h"
#include "data/Layouts.h"
#include "data/Table.h"
#include "data/TransferMode.h"
#include "scheduler/QueueMonitor.h"
#include "scheduler/TableScheduleBook.h"
#include "ui/backup/FTP_BackupThread_Unit.h"
#include "ui/common/Dialogs.h"
#include "ui/common/Pictures.h"
#include "ui/common/TrayNotices.h"
#include "ui/common/VendorLogo.h"

#include <QApplication>
#include <QDesktopServices>
#include <QFont>
#include <QHBoxLayout>
#include <QLabel>
#include <QListWidget>
#include <QMenu>
#include <QScreen>
#include <QShowEvent>
#include <QStatusBar>
#include <QStyle>
#include <QSystemTrayIcon>
#include <QCloseEvent>
#include <QTimer>
#include <QToolButton>
#include <QUrl>
#include <QVBoxLayout>

namespace cvb {

namespace {

const QString GuardMessage =
    QStringLiteral("The web server connection information has not been completed. This "
                   "information must be present to perform this function.");
const QString BackgroundMessage = QStringLiteral(
    "Corvale Web Backup will now run in the background. All active backups will be performed on "
    "schedule. Restore the program with the icon system tray.");
const QString QuitQuestion = QStringLiteral(
    "Click \"Yes\" to minimize the program and allow the backups to occur at their regular times.  "
    "Click \"Cancel\" to cancel the backups and exit the program.");
const QString TrayHint = QStringLiteral("Corvale Backup - Right-Click for Menu");
const QString LogoFile = QStringLiteral("logo.gif");

} // namespace

TMainWin::TMainWin(QWidget *parent) : QWidget(parent)
{
    setObjectName(QStringLiteral("MainWin"));
    setWindowTitle(QStringLiteral("Corvale Web Backup"));
    setWindowFlags(Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                   Qt::WindowMinimizeButtonHint | Qt::WindowCloseButtonHint);
    setAttribute(Qt::WA_DeleteOnClose);
    setFixedSize(632, 418);

    tableCnct_ = openCursor(QStringLiteral("Table_Cnct"), ConnectionTable);
    tableProfiles_ = openCursor(QStringLiteral("Table_Profiles"), ProfilesTable, ProfileIndex);
    tableFiles_ = openCursor(QStringLiteral("Table_Files"), SourcesTable, ProfileIndex);
    tableQueue_ = openCursor(QStringLiteral("Table_Queue"), QueueTable);
    tableLog_ = openCursor(QStringLiteral("Table_Log"), LogTable);
    tableProfilesLkup_ = openCursor(QStringLiteral("Table_ProfilesLKUP"), ProfilesTable, ProfileIndex);
    tableFilesLkup_ = openCursor(QStringLiteral("Table_FilesLKUP"), SourcesTable, ProfileIndex);
    monitorBook_ = std::make_unique<TableScheduleBook>(*tableProfilesLkup_, *tableQueue_,
                                                       TableScheduleBook::AfterPass::DropFilter);

    eventMonitor_ = new QTimer(this);
    eventMonitor_->setObjectName(QStringLiteral("EventMonitor"));
    eventMonitor_->setInterval(15000);
    connect(eventMonitor_, &QTimer::timeout, this, &TMainWin::EventMonitorTimer);
    queueMonitor_ = new QTimer(this);
    queueMonitor_->setObjectName(QStringLiteral("QueueMonitor"));
    queueMonitor_->setInterval(10000);
    connect(queueMonitor_, &QTimer::timeout, this, &TMainWin::QueueMonitorTimer);
    QueueMonitorWiring wiring;
    wiring.queue = tableQueue_;
    wiring.profilesLookup = tableProfilesLkup_;
    wiring.filesLookup = tableFilesLkup_;
    wiring.timer = queueMonitor_;
    wiring.setCurrentProfile = [this](const QString &profile) { setCurrentBackupProfile(profile); };
    wiring.eventLog = [this](const QString &message) { EventLog(message); };
    wiring.clearStatus = [this] { clearStatus(); };
    wiring.startBackup = [this](const BackupRequest &request) {
        BackupEnvironment environment;
        environment.queue = tableQueue_;
        environment.connection = tableCnct_;
        environment.owner = this;
        environment.backupEnded = [this](const BackupProgressSnapshot &progress, bool ok,
                                         const QString &firstFailure) {
            backupHasEnded(progress, ok, firstFailure);
            emit backupEnded(progress, ok, firstFailure);
        };
        environment.backupClosed = [this](const QString &profile, bool ok) {
            emit backupClosed(profile, ok);
            // Tried again from the event loop, once that backup window's own closing has ended.
            if (closeAfterBackups_)
                QTimer::singleShot(0, this, &QWidget::close);
        };
        startBackupWindow(environment, request);
    };
    queueMonitorLogic_ = std::make_unique<cvb::QueueMonitor>(std::move(wiring));
    eventMonitor_->start();
    queueMonitor_->start();

    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    menuPanel_ = buildMenuPanel();
    layout->addWidget(menuPanel_);
    buildTrayIcon();
    centreOnScreen();

    startUp();
}

TMainWin::~TMainWin()
{
    // The windows opened from the menu work on the cursors: they go first, while the cursors are
    // still there, and without calling back into this window while it is being taken apart.
    for (const QPointer<QWidget> &window : std::as_const(menuWindows_)) {
        if (window) {
            disconnect(window, nullptr, this, nullptr);
            delete window;
        }
    }
}

Table *TMainWin::openCursor(const QString &name, const QString &fileName, const QString &index)
{
    auto *table = new Table(name, this);
    table->open(fileName, index);
    return table;
}

QToolButton *TMainWin::addButton(const QString &name, const QString &caption, void (TMainWin::*handler)())
{
    auto *button = new QToolButton(menuPanel_);
    button->setObjectName(name);
    button->setText(caption);
    button->setToolButtonStyle(Qt::ToolButtonTextOnly);
    button->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Expanding);
    if (handler)
        connect(button, &QToolButton::clicked, this, handler);
    else // a window of the menu table
        connect(button, &QToolButton::clicked, this, [this, name] { openMenuWindow(name); });
    return button;
}

QWidget *TMainWin::buildMenuPanel()
{
    menuPanel_ = new QWidget(this);
    menuPanel_->setObjectName(QStringLiteral("MenuPanel"));

    statusBar_ = new QStatusBar(menuPanel_);
    statusBar_->setObjectName(QStringLiteral("StatusBar1"));
    statusBar_->setSizeGripEnabled(false);

    logo_ = new QLabel(menuPanel_);
    logo_->setObjectName(QStringLiteral("GIFImage4"));
    logo_->setAlignment(Qt::AlignCenter);
    logo_->setMinimumSize(180, 120);
    logo_->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Expanding);

    auto *logos = new QHBoxLayout;
    const QStringList logoTexts{QStringLiteral("Corvale"), QStringLiteral("Web"), QStringLiteral("Backup")};
    for (int i = 0; i < logoTexts.size(); ++i) {
        auto *logo = new QToolButton(menuPanel_);
        logo->setObjectName(QStringLiteral("VendorLogo%1").arg(i + 1));
        logo->setText(logoTexts.at(i));
        logo->setToolTip(VendorHint);
        logo->setAutoRaise(true);
        logo->setCursor(Qt::PointingHandCursor);
        connect(logo, &QToolButton::clicked, this, &TMainWin::VendorLogoClick);
        logos->addWidget(logo);
    }

    auto *left = new QVBoxLayout;
    left->addWidget(statusBar_);
    left->addWidget(logo_, 1);
    left->addLayout(logos);
    for (QToolButton *small : {
             addButton(QStringLiteral("ScheduleButton"), QStringLiteral("View Web Backup Schedule")),
             addButton(QStringLiteral("BackgroundButton"), QStringLiteral("Run In Background"),
                       &TMainWin::BackgroundButtonClick),
             addButton(QStringLiteral("QuitButton"), QStringLiteral("Quit And Exit Program"),
                       &TMainWin::QuitButtonClick),
         }) {
        small->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
        left->addWidget(small);
    }

    auto *right = new QVBoxLayout;
    QFont large = font();
    large.setPointSize(large.pointSize() + 3);
    large.setBold(true);
    for (QToolButton *big : {
             addButton(QStringLiteral("ConnectionButton"), QStringLiteral("Set Connection To Web Server")),
             addButton(QStringLiteral("ProfilesButton"), QStringLiteral("Build/Edit Backup Session Profile")),
             addButton(QStringLiteral("LogsButton"), QStringLiteral("View Backup History Logs")),
             addButton(QStringLiteral("LiveSessionButton"),
                       QStringLiteral("Live Upload/Download To Web Server (FTP)")),
             addButton(QStringLiteral("InstantBackupButton"),
                       QStringLiteral("Initiate Instant Profile Backup")),
         }) {
        big->setFont(large);
        right->addWidget(big);
    }

    // The extension list of the transfer-mode rule: part of the window, never shown.
    asciiExtensions_ = new QListWidget(menuPanel_);
    asciiExtensions_->setObjectName(QStringLiteral("ASCIIExtensions"));
    asciiExtensions_->addItems(defaultAsciiExtensions());
    asciiExtensions_->hide();

    auto *columns = new QHBoxLayout(menuPanel_);
    columns->addLayout(left, 2);
    columns->addLayout(right, 3);
    return menuPanel_;
}

void TMainWin::buildTrayIcon()
{
    trayMenu_ = new QMenu(this);
    trayMenu_->setObjectName(QStringLiteral("TrayMenu"));
    QAction *restore = trayMenu_->addAction(QStringLiteral("Restore"));
    restore->setObjectName(QStringLiteral("Restore"));
    connect(restore, &QAction::triggered, this, &TMainWin::RestoreClick);

    trayIcon_ = new QSystemTrayIcon(applicationIcon(style()->standardIcon(QStyle::SP_DriveNetIcon)), this);
    trayIcon_->setObjectName(QStringLiteral("TrayIcon1"));
    trayIcon_->setToolTip(TrayHint);
    trayIcon_->setContextMenu(trayMenu_);
    trayTimer_ = new QTimer(this);
    trayTimer_->setObjectName(QStringLiteral("TrayTimer"));
    trayTimer_->setInterval(1000);
    connect(trayTimer_, &QTimer::timeout, this, &TMainWin::TrayTimerTimer);
    trayTimer_->start();
    // Without a tray on the desktop the icon stays unshown; hiding the window then only hides it.
    if (QSystemTrayIcon::isSystemTrayAvailable())
        trayIcon_->show();
}

void TMainWin::backupHasEnded(const BackupProgressSnapshot &progress, bool ok, const QString &firstFailure)
{
    lastResults_[progress.profile] = summaryLine(progress, ok);
    if (!ok && trayNotices().available())
        trayNotices().showMessage(*trayIcon_, QApplication::applicationDisplayName(),
                                  failureNotice(progress.profile, firstFailure));
    TrayTimerTimer();
}

void TMainWin::TrayTimerTimer()
{
    QStringList lines{TrayHint};
    const auto windows = findChildren<TFTP_BackupThread *>(Qt::FindDirectChildrenOnly);
    for (TFTP_BackupThread *window : windows) {
        if (!window->isClosing())
            lines << progressLine(window->run().progress());
    }
    for (auto result = lastResults_.cbegin(); result != lastResults_.cend(); ++result)
        lines << result.value();
    const QString tip = lines.join(QLatin1Char('\n'));
    if (trayIcon_->toolTip() != tip)
        trayIcon_->setToolTip(tip);
}

void TMainWin::centreOnScreen()
{
    if (const QScreen *screen = QGuiApplication::primaryScreen()) {
        QRect frame(QPoint(), size());
        frame.moveCenter(screen->availableGeometry().center());
        move(frame.topLeft());
    }
}

void TMainWin::startUp()
{
    // The catch-up stops both timers while it runs and starts them again afterwards.
    TableScheduleBook book(*tableProfiles_, *tableQueue_, TableScheduleBook::AfterPass::KeepFilter);
    schedule_.catchUp(
        book,
        [](const QString &question) { return dialogs().warning(question, Buttons::YesNo) == Answer::Yes; },
        eventMonitor_, queueMonitor_);
}

void TMainWin::EventMonitorTimer()
{
    schedule_.tick(*monitorBook_, eventMonitor_);
}

void TMainWin::QueueMonitorTimer()
{
    queueMonitorLogic_->QueueMonitorTimer();
}

bool TMainWin::AllowAccess()
{
    if (readConnectionSettings(*tableCnct_).complete())
        return true;
    dialogs().information(GuardMessage);
    return false;
}

void TMainWin::ShowMenuPanel()
{
    menuPanel_->show();
}

void TMainWin::HideMenuPanel()
{
    menuPanel_->hide();
}

void TMainWin::EventLog(const QString &message)
{
    writeLogRow(*tableLog_, currentBackupProfile_, message);
    statusBar_->showMessage(message);
    statusBar_->repaint();
}

void TMainWin::startQueuedBackupSoon()
{
    // Not while the monitor is held (the start-up catch-up, the program ending).
    if (queueMonitor_->isActive())
        QTimer::singleShot(0, this, [this] {
            if (queueMonitor_->isActive())
                QueueMonitorTimer();
        });
}

void TMainWin::clearStatus()
{
    statusBar_->clearMessage();
    statusBar_->repaint();
}

QString TMainWin::statusText() const
{
    return statusBar_->currentMessage();
}

QStringList TMainWin::asciiExtensions() const
{
    QStringList list;
    for (int i = 0; i < asciiExtensions_->count(); ++i)
        list << asciiExtensions_->item(i)->text();
    return list;
}

bool TMainWin::IsAsciiExtension(const QString &name) const
{
    return cvb::IsAsciiExtension(name, asciiExtensions());
}

void TMainWin::openMenuWindow(const QString &button)
{
    const MenuWindow *entry = menuWindow(button);
    if (!entry || (entry->guarded && !AllowAccess()))
        return;
    if (entry->hidesMenu)
        HideMenuPanel();
    QWidget *window = entry->make(*this, this);
    window->setAttribute(Qt::WA_DeleteOnClose);
    menuWindows_.removeAll(nullptr);
    menuWindows_ << window;
    if (entry->hidesMenu) {
        connect(window, &QObject::destroyed, this, &TMainWin::ShowMenuPanel);
        layout()->addWidget(window);
    }
    window->show();
}

void TMainWin::BackgroundButtonClick()
{
    dialogs().information(BackgroundMessage);
    hide();
}

void TMainWin::QuitButtonClick()
{
    if (dialogs().warning(QuitQuestion, Buttons::YesCancel) == Answer::Yes)
        hide();
    else
        close();
}

void TMainWin::RestoreClick()
{
    setWindowState((windowState() & ~Qt::WindowMinimized) | Qt::WindowActive);
    show();
    raise();
    activateWindow();
    openMenuWindow(QStringLiteral("ScheduleButton"));
}

void TMainWin::VendorLogoClick()
{
    VendorLogo::openVendorPage();
}

void TMainWin::showEvent(QShowEvent *event)
{
    QWidget::showEvent(event);
    if (!event->spontaneous())
        loadLogo();
}

void TMainWin::closeEvent(QCloseEvent *event)
{
    if (stopRunningBackups()) {
        closeAfterBackups_ = true;
        eventMonitor_->stop();
        queueMonitor_->stop();
        hide();
        event->ignore();
        return;
    }
    QWidget::closeEvent(event);
}

bool TMainWin::stopRunningBackups()
{
    bool running = false;
    const auto windows = findChildren<TFTP_BackupThread *>(Qt::FindDirectChildrenOnly);
    for (TFTP_BackupThread *window : windows) {
        if (!window->isClosing()) {
            window->stopBackup();
            running = true;
        }
    }
    return running;
}

void TMainWin::loadLogo()
{
    showPicture(logo_, LogoFile);
}

} // namespace cvb
