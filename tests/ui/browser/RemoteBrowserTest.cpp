// The remote browser and the source list driven by object name against real FTP servers on
// loopback (pyftpdlib; vsftpd for dot files), with scripted message boxes; the rules they apply
// called directly.
#include "tests/ui/browser/BrowserPage.h"

#include "data/ConnectionSettings.h"
#include "data/KnownServers.h"
#include "data/Layouts.h"
#include "data/Table.h"
#include "dialup/NetDial.h"
#include "ftp/FtpClient.h"
#include "tests/support/Files.h"
#include "tests/support/FtpServer.h"
#include "tests/support/ListTexts.h"
#include "tests/support/MainWindowStub.h"
#include "tests/support/SshServer.h"
#include "ui/browser/BrowserRules.h"
#include "ui/browser/SourceGrid.h"
#include "ui/common/ScriptedDialogs.h"

#include <QComboBox>
#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QDir>
#include <QFileInfo>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QTemporaryDir>
#include <gtest/gtest.h>

using namespace cvb;

namespace {

using test::listTexts;

class RemoteBrowserTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(dir.isValid());
        ASSERT_TRUE(server.isListening()) << server.error().toStdString();
        for (const char *file : {"index.html", "www/index.html", "www/images/logo.gif", "www/images/a.js"})
            ASSERT_TRUE(test::writeFile(server.path(QString::fromLatin1(file)), "x"));
        main = std::make_unique<test::MainWindowStub>(dir.path());
        settings.user = server.user();
        settings.password = server.password();
        settings.server = QStringLiteral("127.0.0.1:%1").arg(server.port());
        writeConnectionSettings(*main->cnct, settings);
        page.sources->setSources(main->files.get());
        page.sources->setProfile(QStringLiteral("SITE"));
        page.page.show();
    }

    template <typename T> T *child(const char *name) const
    {
        T *w = page.page.findChild<T *>(QString::fromLatin1(name));
        EXPECT_NE(w, nullptr) << name;
        return w;
    }
    QStringList files() const { return listTexts(child<QListWidget>("lFiles")); }
    QStringList trace() const { return listTexts(child<QListWidget>("lTrace")); }
    QString path() const { return child<QLineEdit>("eRemotePath")->text(); }
    void select(const QString &entry) const
    {
        const auto found = child<QListWidget>("lFiles")->findItems(entry, Qt::MatchExactly);
        ASSERT_EQ(found.size(), 1) << entry.toStdString();
        child<QListWidget>("lFiles")->setCurrentItem(found.first());
    }
    void click(const char *button) const { child<QPushButton>(button)->click(); }

    // The stored rows "PROFILE|SOURCE|MODE" as another cursor reads them from the file.
    QStringList storedSources() const
    {
        Table reader;
        reader.open(QDir(dir.path()).filePath(SourcesTable));
        QStringList rows;
        for (reader.first(); !reader.eof(); reader.next())
            rows << reader.asString("PROFILE") + '|' + reader.asString("SOURCE") + '|' +
                        reader.asString("MODE");
        return rows;
    }

    QTemporaryDir dir;
    ScriptedDialogs dialogs;
    test::PyFtpServer server;
    std::unique_ptr<test::MainWindowStub> main;
    ConnectionSettings settings;
    test::BrowserPage page;
};

} // namespace

TEST(BrowserRules, GoingUpKeepsThePathUpToItsLastSlash)
{
    EXPECT_EQ(parentRemotePath("/www/images"), "/www/");
    EXPECT_EQ(parentRemotePath("/www"), "/");
    EXPECT_EQ(parentRemotePath("/"), "/");
    EXPECT_EQ(parentRemotePath("/www/"), "/www/"); // reported with its slash, it does not move
    EXPECT_EQ(parentRemotePath("www"), "w");
    EXPECT_EQ(parentRemotePath(""), "");
}

TEST(BrowserRules, ADroppedNameIsJoinedWithOneSlashAndGetsTheModeOfItsName)
{
    EXPECT_EQ(droppedSource("P", "/", "index.html").source, "//index.html");
    EXPECT_EQ(droppedSource("P", "/www", "images").source, "/www/images");
    const QList<std::pair<QString, QString>> modes{{"images", "ASCII"},
                                                   {"logo.gif", "Binary"},
                                                   {"INDEX.HTM", "ASCII"},
                                                   {"a.js", "Binary"},
                                                   {"a.b", "ASCII"}};
    for (const auto &[name, mode] : modes)
        EXPECT_EQ(droppedSource("P", "/", name).mode, mode) << name.toStdString();
}

TEST(BrowserRules, ASourceThatTheTableWouldCutShortDoesNotFit)
{
    EXPECT_TRUE(fitsSourceField({"P", "/" + QString(199, 'a'), "ASCII"}));
    EXPECT_FALSE(fitsSourceField({"P", "/" + QString(200, 'a'), "ASCII"}));
    // The width counts bytes: 100 two-byte letters fill it.
    EXPECT_FALSE(fitsSourceField({"P", "/" + QString(100, QChar(0xE9)), "ASCII"}));
}

TEST_F(RemoteBrowserTest, ConnectListsTheLogOnFolderAndTheButtonsWalkTheTree)
{
    page.browser->connectAndList(*main->cnct);
    ASSERT_GE(trace().size(), 2);
    EXPECT_EQ(trace().first(), "Loading Winsock");
    EXPECT_TRUE(trace().contains("CLIENT: USER tester")) << trace().join('\n').toStdString();
    EXPECT_TRUE(dialogs.texts().isEmpty());
    EXPECT_EQ(path(), "/");
    EXPECT_EQ(files(), (QStringList{"index.html", "www"}));

    select("www");
    click("OpenButton");
    EXPECT_EQ(path(), "/www");
    EXPECT_EQ(files(), (QStringList{"images", "index.html"}));
    select("images");
    emit child<QListWidget>("lFiles")->itemActivated(child<QListWidget>("lFiles")->currentItem());
    EXPECT_EQ(path(), "/www/images");
    EXPECT_EQ(files(), (QStringList{"a.js", "logo.gif"}));

    const QStringList steps{"/www", "/", "/"};
    for (const QString &expected : steps) {
        click("UpButton");
        EXPECT_EQ(path(), expected);
    }
    EXPECT_EQ(files(), (QStringList{"index.html", "www"}));
    EXPECT_TRUE(dialogs.texts().isEmpty());
}

TEST_F(RemoteBrowserTest, AFolderChangeTheServerRefusesIsTracedAndTheFolderListedAgain)
{
    ASSERT_TRUE(QDir().mkpath(server.path("gone")));
    page.browser->connectAndList(*main->cnct);
    ASSERT_EQ(files(), (QStringList{"gone", "index.html", "www"}));
    ASSERT_TRUE(QDir(server.path("gone")).removeRecursively());

    select("gone");
    const qsizetype before = trace().size();
    click("OpenButton");
    const QStringList added = trace().mid(before);
    const auto at = [&](const QString &start) {
        return std::find_if(added.begin(), added.end(),
                            [&](const QString &l) { return l.startsWith(start); }) -
               added.begin();
    };
    const qsizetype command = at("CLIENT: CWD //gone"), reply = at("SERVER: 550"), error = at("ERR:141: 550");
    EXPECT_LT(command, reply) << added.join('\n').toStdString();
    EXPECT_LT(reply, error) << added.join('\n').toStdString();
    EXPECT_LT(error, added.size()) << added.join('\n').toStdString();
    EXPECT_EQ(path(), "/");
    EXPECT_EQ(files(), (QStringList{"index.html", "www"}));

    // A file is no folder: the same error line and the same listing, each entry once.
    select("index.html");
    click("OpenButton");
    EXPECT_EQ(trace().filter("ERR:").size(), 2) << trace().join('\n').toStdString();
    EXPECT_EQ(path(), "/");
    EXPECT_EQ(files(), (QStringList{"index.html", "www"}));
    EXPECT_TRUE(dialogs.texts().isEmpty());
}

TEST_F(RemoteBrowserTest, ConnectingAgainStartsFromTheLogOnFolderWithEachEntryOnce)
{
    page.browser->connectAndList(*main->cnct);
    select("www");
    click("OpenButton");
    ASSERT_EQ(path(), "/www");
    // Once with the session left open, once after a log-off as the wizard's "Previous" does.
    page.browser->connectAndList(settings);
    EXPECT_EQ(path(), "/");
    EXPECT_EQ(files(), (QStringList{"index.html", "www"}));
    page.browser->component().SetAction(ftpLogoff);
    page.browser->connectAndList(settings);
    EXPECT_EQ(files(), (QStringList{"index.html", "www"}));
    EXPECT_EQ(trace().filter("Loading Winsock").size(), 1);
}

TEST_F(RemoteBrowserTest, OpeningOrDroppingWithNothingSelectedDoesNothing)
{
    page.browser->connectAndList(settings);
    const QStringList traced = trace();
    child<QListWidget>("lFiles")->clearSelection();
    click("OpenButton");
    EXPECT_TRUE(page.sources->grid()->dropFrom(page.browser->fileList()));
    EXPECT_EQ(trace(), traced);
    EXPECT_EQ(files(), (QStringList{"index.html", "www"}));
    EXPECT_TRUE(storedSources().isEmpty());
    EXPECT_TRUE(dialogs.texts().isEmpty());
}

TEST_F(RemoteBrowserTest, AWrongPasswordIsTracedAndShownOnceAndTheBrowserStaysUsable)
{
    settings.password = QStringLiteral("wrong");
    page.browser->connectAndList(settings);
    ASSERT_EQ(dialogs.texts().size(), 1);
    EXPECT_TRUE(dialogs.texts().first().startsWith("141: 530")) << dialogs.texts().first().toStdString();
    EXPECT_EQ(trace().filter("EXCEPTION: ").size(), 1);
    EXPECT_EQ(trace().filter("EXCEPTION: ").first(), "EXCEPTION: " + dialogs.texts().first());
    EXPECT_TRUE(files().isEmpty());
    EXPECT_TRUE(child<QPushButton>("OpenButton")->isEnabled());

    settings.password = server.password();
    page.browser->connectAndList(settings);
    EXPECT_EQ(dialogs.texts().size(), 1);
    EXPECT_EQ(files(), (QStringList{"index.html", "www"}));
}

TEST_F(RemoteBrowserTest, DropsStoreRowsAtOnceAndTheGridStoresModesWhenItLeavesTheRow)
{
    page.browser->connectAndList(settings);
    select("index.html");
    auto *grid = child<SourceGrid>("SourceGrid");
    EXPECT_FALSE(grid->dropFrom(child<QListWidget>("lTrace")));
    EXPECT_TRUE(storedSources().isEmpty());
    EXPECT_TRUE(grid->dropFrom(page.browser->fileList()));
    EXPECT_EQ(storedSources(), QStringList{"SITE|//index.html|ASCII"});
    select("www");
    click("OpenButton");
    select("images");
    click("OpenButton");
    select("logo.gif");
    grid->dropFrom(page.browser->fileList());
    ASSERT_EQ(storedSources(), (QStringList{"SITE|//index.html|ASCII", "SITE|/www/images/logo.gif|Binary"}));
    EXPECT_EQ(grid->model()->headerData(SourceColumn, Qt::Horizontal).toString(), "Files To Backup");
    EXPECT_EQ(grid->model()->headerData(ModeColumn, Qt::Horizontal).toString(), "Select Mode");
    EXPECT_EQ(grid->model()->columnCount(), 2);
    EXPECT_EQ(grid->currentIndex().row(), 1);
    EXPECT_EQ(grid->verticalHeader()->count(), 2) << "the grid did not hear of the new row";

    // A mode chosen on the first row is shown at once and stored when the grid leaves the row.
    grid->setCurrentIndex(grid->model()->index(0, ModeColumn));
    grid->edit(grid->currentIndex());
    auto *box = grid->findChild<QComboBox *>("ModeBox");
    ASSERT_NE(box, nullptr);
    EXPECT_EQ(box->currentText(), "ASCII");
    box->setCurrentIndex(box->findText("Binary"));
    emit box->activated(box->currentIndex());
    EXPECT_EQ(grid->model()->index(0, ModeColumn).data().toString(), "Binary");
    EXPECT_EQ(storedSources().first(), "SITE|//index.html|ASCII");
    grid->setCurrentIndex(grid->model()->index(1, SourceColumn));
    EXPECT_EQ(storedSources().first(), "SITE|//index.html|Binary");

    // Typed text is kept up to the field's 20 characters.
    EXPECT_TRUE(grid->model()->setData(grid->model()->index(1, ModeColumn), "binary transfer, please"));
    grid->setCurrentIndex(grid->model()->index(0, SourceColumn));
    EXPECT_EQ(storedSources().last(), "SITE|/www/images/logo.gif|binary transfer, ple");

    // Delete takes the current row without a question.
    click("DeleteButton");
    EXPECT_EQ(storedSources(), QStringList{"SITE|/www/images/logo.gif|binary transfer, ple"});
    EXPECT_EQ(grid->model()->rowCount(), 1);
    EXPECT_TRUE(dialogs.texts().isEmpty());
}

TEST_F(RemoteBrowserTest, APathTooLongForTheTableIsRefusedWithAMessage)
{
    const QString deep = QString(120, 'd');
    ASSERT_TRUE(test::writeFile(server.path(deep + "/" + QString(90, 'f')), "x"));
    page.browser->connectAndList(settings);
    select(deep);
    click("OpenButton");
    select(QString(90, 'f'));
    page.sources->grid()->dropFrom(page.browser->fileList());
    EXPECT_TRUE(storedSources().isEmpty());
    ASSERT_EQ(dialogs.texts().size(), 1);
    EXPECT_TRUE(dialogs.texts().first().contains(QString(90, 'f')));
}

TEST_F(RemoteBrowserTest, TheCallersDialUpStatusLinesAndOwnLinesReachTheTrace)
{
    qputenv("CVB_RAS", "sim");
    TcvbNetDial dial;
    page.browser->setDialer(&dial);
    settings.useDefaultConnection = false;
    settings.phoneNumber = QStringLiteral("555-0100");
    page.browser->connectAndList(settings);
    const qsizetype winsock = trace().indexOf("Loading Winsock");
    EXPECT_GT(winsock, 0) << trace().join('\n').toStdString();
    EXPECT_EQ(files(), (QStringList{"index.html", "www"}));
    page.browser->addTrace("finished download");
    EXPECT_EQ(trace().last(), "finished download");
    qunsetenv("CVB_RAS");
}

TEST_F(RemoteBrowserTest, ErrorEventsAreTracedUnlessTheirCodeIsIgnored)
{
    TcvbFTP &ftp = page.browser->component();
    ftp.OnError(&ftp, 10054, "Connection reset");
    page.browser->setIgnoredErrorCodes({141});
    ftp.OnError(&ftp, 141, "550 refused");
    ftp.OnError(&ftp, 10053, "Aborted");
    EXPECT_EQ(trace(), (QStringList{"ERR Event: 10054Connection reset", "ERR Event: 10053Aborted"}));
}

// Also the harness for a look at the page: CVB_BROWSER_DEMO_MS keeps it on the screen that long.
TEST_F(RemoteBrowserTest, BothHalvesFitTheMainWindowsAreaWithTheirTextsWhole)
{
    page.browser->connectAndList(settings);
    select("index.html");
    page.sources->grid()->dropFrom(page.browser->fileList());
    for (const char *name : {"OpenButton", "UpButton", "DeleteButton"}) {
        auto *button = child<QPushButton>(name);
        EXPECT_GE(button->width(), button->sizeHint().width()) << name;
        EXPECT_TRUE(page.page.rect().contains(QRect(button->mapTo(&page.page, QPoint()), button->size())))
            << name;
    }
    for (const char *name : {"WebServerLabel", "BackupListLabel"}) {
        auto *label = child<QLabel>(name);
        EXPECT_GE(label->width(), label->sizeHint().width()) << name;
    }
    const int hold = qEnvironmentVariableIntValue("CVB_BROWSER_DEMO_MS");
    for (QDeadlineTimer shown(hold); !shown.hasExpired();)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 50);
}

// vsftpd leaves names that begin with a dot out of plain listings.
TEST(RemoteBrowserVsftpd, ASitesDotFilesAreListed)
{
    QTemporaryDir site;
    ASSERT_TRUE(test::writeFile(site.filePath("site/.htaccess"), "Deny from all\n"));
    ASSERT_TRUE(test::writeFile(site.filePath("site/index.html"), "x"));
    test::VsftpdServer server(site.filePath("site"));
    ASSERT_TRUE(server.isListening()) << server.error().toStdString();
    ScriptedDialogs dialogs;
    ConnectionSettings settings;
    settings.user = QStringLiteral("anonymous");
    settings.password = QStringLiteral("backup@example.com");
    settings.server = QStringLiteral("127.0.0.1:%1").arg(server.port());
    TRemoteBrowser browser;
    browser.connectAndList(settings);
    EXPECT_TRUE(dialogs.texts().isEmpty()) << dialogs.texts().join('\n').toStdString();
    EXPECT_EQ(browser.entries(), (QStringList{".htaccess", "index.html"}));
}

TEST(RemoteBrowserSftp, ListsTheStartFolderWithDotFilesAndWalksDownAndUpTheServersPaths)
{
    test::SshServer server;
    ASSERT_TRUE(server.isListening()) << server.error().toStdString();
    ASSERT_TRUE(test::writeFile(server.path(".htaccess"), "Deny from all\n"));
    ASSERT_TRUE(test::writeFile(server.path("www/index.html"), "x"));
    QTemporaryDir dir, home;
    ASSERT_TRUE(server.installUserKey(home.path()));
    const QByteArray savedHome = qgetenv("HOME");
    qputenv("HOME", home.path().toLocal8Bit());
    qunsetenv("SSH_AUTH_SOCK");
    test::MainWindowStub main(dir.path());
    ASSERT_EQ(
        pinFingerprint(dir.path(), QStringLiteral("127.0.0.1"), server.port(), server.hostKeyFingerprint()),
        QString());
    ScriptedDialogs dialogs;
    ConnectionSettings settings;
    settings.user = test::SshServer::keyUser();
    settings.server = server.address();
    TRemoteBrowser browser;
    browser.connectAndList(settings);
    EXPECT_TRUE(dialogs.texts().isEmpty()) << dialogs.texts().join('\n').toStdString();
    QStringList names = browser.entries();
    names.sort();
    EXPECT_EQ(names, (QStringList{".htaccess", "www"}));
    auto *files = browser.findChild<QListWidget *>("lFiles");
    auto *path = browser.findChild<QLineEdit *>("eRemotePath");
    const QString root = QFileInfo(server.root()).canonicalFilePath();
    EXPECT_EQ(path->text(), root);

    files->setCurrentItem(files->findItems(QStringLiteral("www"), Qt::MatchExactly).value(0));
    browser.findChild<QPushButton *>("OpenButton")->click();
    EXPECT_EQ(path->text(), root + "/www");
    EXPECT_EQ(browser.entries(), QStringList{"index.html"});
    browser.findChild<QPushButton *>("UpButton")->click();
    EXPECT_EQ(path->text(), root);
    qputenv("HOME", savedHome);
}

TEST(BrowserRules, ASourceOfATakenNameIsToldWhereTheBackupSavesIt)
{
    const QStringList sources{"/www/index.html", "/www/images", "/cgi-bin/index.htm"};
    EXPECT_EQ(sourcesOfSameName(sources, "/cgi-bin/index.html"), QStringList{"/www/index.html"});
    EXPECT_TRUE(sourcesOfSameName(sources, "/www/index.html").isEmpty());
    const QString note = sameNameMessage("/www/index.html", "/cgi-bin/index.html");
    EXPECT_TRUE(note.contains("as cgi-bin/index.html.")) << note.toStdString();
    EXPECT_TRUE(sameNameMessage("/www/index.html", "/a/../index.html").contains("will not save it"));
}

TEST_F(RemoteBrowserTest, ADroppedFileWhoseNameAnotherFileOfTheProfileHasIsStoredWithANote)
{
    ASSERT_TRUE(test::writeFile(server.path("a/images"), "a file named like the folder"));
    page.browser->connectAndList(settings);
    auto drop = [&](const QString &entry) {
        select(entry);
        page.sources->grid()->dropFrom(page.browser->fileList());
    };
    drop("index.html");
    select("www");
    click("OpenButton");
    drop("index.html");
    ASSERT_EQ(dialogs.texts().size(), 1);
    EXPECT_TRUE(
        dialogs.texts().first().contains("The backup will save /www/index.html below the backup folder "
                                         "under its remote path, as www/index.html."))
        << dialogs.texts().first().toStdString();
    // The probes leave the browser where it was.
    EXPECT_EQ(path(), "/www");
    // A folder and a file of one name do not meet in the backup folder.
    drop("images");
    click("UpButton");
    select("a");
    click("OpenButton");
    drop("images");
    EXPECT_EQ(dialogs.texts().size(), 1) << dialogs.texts().join('\n').toStdString();
    EXPECT_EQ(storedSources(), (QStringList{"SITE|//index.html|ASCII", "SITE|/www/index.html|ASCII",
                                            "SITE|/www/images|ASCII", "SITE|/a/images|ASCII"}));
}
