// A profile made with the mouse and keyboard alone, end to end: created through the profile
// operations and the wizard against a real FTP server on loopback, backed up by the program run
// with --run-profile, and backed up again at once from the main window's instant backup, which
// the running program's queue monitor starts.
#include "MainWinFixture.h"

#include "tests/support/FtpServer.h"
#include "tests/support/Peers.h"
#include "tests/support/ScheduleOverview.h"
#include "ui/browser/SourceGrid.h"
#include "ui/profiles/TFTP_CreateNewProfile.h"

#include <QDeadlineTimer>
#include <QDir>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QStackedWidget>
#include <QTableView>
#include <QTest>

namespace {

class ProfileEndToEnd : public MainWinTest
{
protected:
    QWidget *wizard() const { return child<QWidget>(QStringLiteral("FTP_CreateNewProfile")); }
    int page() const { return wizard()->findChild<QStackedWidget *>("PageControl1")->currentIndex() + 1; }
    void click(QWidget *in, const char *name) const
    {
        auto *button = in->findChild<QAbstractButton *>(QString::fromLatin1(name));
        ASSERT_NE(button, nullptr) << name;
        button->click();
    }
    void next() const { click(wizard(), "NextButton"); }

    // Waits until `done` holds, serving the program's events meanwhile.
    template <typename Condition> bool waitFor(Condition done, int ms = 60000)
    {
        QDeadlineTimer deadline(ms);
        while (!done() && !deadline.hasExpired()) {
            QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 50);
            processDeletes();
        }
        return done();
    }

    QStringList logEvents() const
    {
        cvb::Table log;
        log.open(cvb::LogTable);
        QStringList events;
        for (int row = 0; row < log.recordCount(); ++row)
            events << log.stringAt(row, QStringLiteral("EVENT"));
        return events;
    }

    // Drags entries of the remote list onto the source grid, one at a time.
    void dropEntries(const QStringList &entries) const
    {
        auto *remote = wizard()->findChild<QListWidget *>(QStringLiteral("lFiles"));
        auto *grid = wizard()->findChild<cvb::SourceGrid *>(QStringLiteral("SourceGrid"));
        ASSERT_TRUE(remote && grid);
        for (const QString &entry : entries) {
            const QList<QListWidgetItem *> found = remote->findItems(entry, Qt::MatchExactly);
            ASSERT_EQ(found.size(), 1) << entry.toStdString();
            remote->setCurrentItem(found.first());
            EXPECT_TRUE(grid->dropFrom(remote)) << entry.toStdString();
        }
    }

    void expectCopied(const cvb::test::PyFtpServer &server, const QString &target) const
    {
        for (const char *file : {"index.html", "images/logo.gif", "docs/a.txt", "docs/deeper/b.bin"}) {
            const QString name = QString::fromLatin1(file);
            EXPECT_EQ(cvb::test::readFile(QDir(target).filePath(name)),
                      cvb::test::readFile(server.path(name)))
                << file;
        }
        EXPECT_FALSE(QFileInfo::exists(QDir(target).filePath("skipped.txt")));
    }
};

} // namespace

TEST_F(ProfileEndToEnd, AProfileMadeInTheWizardIsBackedUpByRunProfileAndAtOnceFromTheMainWindow)
{
    cvb::test::PyFtpServer server;
    ASSERT_TRUE(server.isListening()) << server.error().toStdString();
    QByteArray binary;
    for (int i = 0; i < 70000; ++i)
        binary.append(char(i * 7 % 256));
    ASSERT_TRUE(cvb::test::writeFile(server.path("index.html"), "<html>\nhome\n</html>\n"));
    ASSERT_TRUE(cvb::test::writeFile(server.path("skipped.txt"), "not chosen\n"));
    ASSERT_TRUE(QDir().mkpath(server.path("images")) && QDir().mkpath(server.path("docs/deeper")));
    ASSERT_TRUE(cvb::test::writeFile(server.path("images/logo.gif"), binary));
    ASSERT_TRUE(cvb::test::writeFile(server.path("docs/a.txt"), "a\n"));
    ASSERT_TRUE(cvb::test::writeFile(server.path("docs/deeper/b.bin"), binary.left(1000)));
    setConnection(QStringLiteral("127.0.0.1:%1").arg(server.port()), server.user(), server.password());
    const QString target = dir.filePath("backups");
    ASSERT_TRUE(QDir().mkpath(target));

    // Created with the profile operations.
    cvb::TMainWin &w = createWindow();
    w.show();
    w.openMenuWindow(QStringLiteral("ProfilesButton"));
    QWidget *operations = child<QWidget>(QStringLiteral("FTP_Profiles"));
    ASSERT_NE(operations, nullptr);
    click(operations, "CreateButton");
    ASSERT_NE(wizard(), nullptr);
    next();
    QTest::keyClicks(wizard()->findChild<QLineEdit *>("eProfileName"), "website");
    next();
    click(wizard(), "cbMonday");
    next();
    ASSERT_EQ(page(), 4);
    // A look into a folder and back up to the log-on folder before the drops.
    auto *remote = wizard()->findChild<QListWidget *>(QStringLiteral("lFiles"));
    ASSERT_FALSE(remote->findItems("docs", Qt::MatchExactly).isEmpty());
    remote->setCurrentItem(remote->findItems("docs", Qt::MatchExactly).first());
    click(wizard(), "OpenButton");
    EXPECT_FALSE(remote->findItems("deeper", Qt::MatchExactly).isEmpty());
    click(wizard(), "UpButton");
    EXPECT_FALSE(remote->findItems("index.html", Qt::MatchExactly).isEmpty());
    dropEntries({"index.html", "images", "docs"});
    const QString profileFilter = QStringLiteral("PROFILE='WEBSITE'");
    EXPECT_EQ(win->Table_Files().filter(), profileFilter);
    ASSERT_EQ(win->Table_Files().recordCount(), 3);
    EXPECT_EQ(win->Table_Files().stringAt(0, "SOURCE"), QStringLiteral("//index.html"));
    EXPECT_EQ(win->Table_Files().stringAt(1, "MODE"), QStringLiteral("ASCII"));
    next();
    ASSERT_EQ(page(), 5);
    static_cast<cvb::TFTP_CreateNewProfile *>(wizard())->setCurrentFolder(target);
    bool overviewShown = false;
    const auto closer = cvb::test::closeScheduleOverviewWhenShown(&overviewShown);
    next();
    EXPECT_TRUE(overviewShown);
    processDeletes();
    EXPECT_EQ(wizard(), nullptr);
    EXPECT_TRUE(dialogs.texts().isEmpty()) << dialogs.texts().join('\n').toStdString();

    // The program on its own, as a timer or cron starts it.
    delete win.data();
    lock.reset();
    qputenv("CVB_NOW", "2024-03-05T14:07:30");
    const cvb::test::ProcessResult run = cvb::test::runProcess(
        qEnvironmentVariable("CVB_BUILD_DIR") + QStringLiteral("/app/corvale-backup"),
        {QStringLiteral("--data"), dir.path(), QStringLiteral("--run-profile"), QStringLiteral("WEBSITE")},
        120000);
    qunsetenv("CVB_NOW");
    EXPECT_EQ(run.exitCode, 0) << run.err.toStdString();
    expectCopied(server, target);

    // At once from the main window: page 9, a double-click, and the queue monitor does the rest.
    ASSERT_TRUE(QDir(target).removeRecursively() && QDir().mkpath(target));
    lock = cvb::openDatabase(dir.path());
    cvb::TMainWin &again = createWindow();
    again.show();
    QStringList closed;
    QObject::connect(
        &again, &cvb::TMainWin::backupClosed, &again,
        [&closed](const QString &profile, bool ok) { closed << profile + (ok ? " ok" : " failed"); });
    again.openMenuWindow(QStringLiteral("InstantBackupButton"));
    ASSERT_NE(wizard(), nullptr);
    EXPECT_EQ(page(), 9);
    auto *grid = wizard()->findChild<QTableView *>("InstantGrid");
    ASSERT_EQ(grid->model()->rowCount(), 1);
    emit grid->doubleClicked(grid->model()->index(0, 0));
    processDeletes();
    EXPECT_EQ(wizard(), nullptr);
    EXPECT_TRUE(child<QWidget>(QStringLiteral("MenuPanel"))->isVisibleTo(&again));
    ASSERT_TRUE(waitFor([&closed] { return !closed.isEmpty(); })) << "the queued backup did not run";
    EXPECT_EQ(closed, QStringList{"WEBSITE ok"});
    expectCopied(server, target);
    const QStringList events = logEvents();
    EXPECT_TRUE(events.contains(QStringLiteral("WEBSITE Begining backup profile WEBSITE")))
        << events.join('\n').toStdString();
    EXPECT_GE(events.filter(QStringLiteral("WEBSITE ")).size(), 4) << events.join('\n').toStdString();
}
