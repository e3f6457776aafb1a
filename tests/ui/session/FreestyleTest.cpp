// The live session window driven by object name against pyftpdlib on loopback (and the server
// with odd listings for hostile names), with scripted message boxes; its rules called directly.
#include "ftp/FolderListing.h"
#include "ftp/FtpClient.h"
#include "remote/TreeCopy.h"
#include "tests/support/Files.h"
#include "tests/support/FtpServer.h"
#include "tests/support/ListTexts.h"
#include "tests/support/MainWindowStub.h"
#include "tests/support/ScriptedServer.h"
#include "tests/support/SshServer.h"
#include "ui/browser/TRemoteBrowser.h"
#include "ui/common/ScriptedDialogs.h"
#include "ui/session/SessionRules.h"
#include "ui/session/TFTP_Freestyle.h"

#include "data/ConnectionSettings.h"
#include "data/KnownServers.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QDir>
#include <QDirIterator>
#include <QLineEdit>
#include <QListView>
#include <QListWidget>
#include <QPushButton>
#include <QRadioButton>
#include <QRegularExpression>
#include <QScopeGuard>
#include <QTemporaryDir>
#include <QTimer>
#include <functional>
#include <gtest/gtest.h>

using namespace cvb;

namespace {

using test::listTexts;

template <typename Condition> bool waitFor(Condition condition, int ms = 20000)
{
    QDeadlineTimer deadline(ms);
    while (!condition() && !deadline.hasExpired())
        QCoreApplication::processEvents(QEventLoop::AllEvents, 50);
    return condition();
}

const QByteArray Binary("GIF89a\r\n\0\x01\n\r\xff", 13);

class FreestyleTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(dir.isValid() && local.isValid());
        main = std::make_unique<test::MainWindowStub>(dir.path());
    }
    void TearDown() override
    {
        delete window.data();
        // The window made the local folder current; it goes with the test, and servers started
        // later would inherit a deleted working folder (pyftpdlib then fails its CWD).
        QDir::setCurrent(QDir::rootPath());
    }
    void open(int port, const QString &user = QStringLiteral("tester"),
              const QString &password = QStringLiteral("secret"))
    {
        openServer(QStringLiteral("127.0.0.1:%1").arg(port), user, password);
    }
    // With the server field as the user typed it.
    void openServer(const QString &server, const QString &user, const QString &password)
    {
        ConnectionSettings settings;
        settings.user = user;
        settings.password = password;
        settings.server = server;
        settings.useDefaultConnection = true;
        writeConnectionSettings(*main->cnct, settings);
        window = new TFTP_Freestyle(*main);
        window->resize(632, 418);
        window->show();
        window->setLocalFolder(local.path());
        window->ConnectButtonClick();
    }
    template <typename T> T *child(const char *name) const
    {
        T *w = window->findChild<T *>(QString::fromLatin1(name));
        EXPECT_NE(w, nullptr) << name;
        return w;
    }
    QStringList remote() const { return listTexts(child<QListWidget>("lFiles")); }
    QStringList trace() const { return listTexts(child<QListWidget>("lTrace")); }
    QString localPath(const QString &relative) const { return QDir(local.path()).filePath(relative); }
    void selectRemote(const QString &entry) const
    {
        const auto found = child<QListWidget>("lFiles")->findItems(entry, Qt::MatchExactly);
        ASSERT_EQ(found.size(), 1) << entry.toStdString();
        child<QListWidget>("lFiles")->setCurrentItem(found.first());
    }
    void download(const QString &entry) const
    {
        selectRemote(entry);
        EXPECT_TRUE(window->dropOnLocalFiles(child<QListWidget>("lFiles")));
    }
    void upload(const QString &name) const
    {
        ASSERT_TRUE(waitFor([&] { return window->selectLocalFile(name); })) << name.toStdString();
        EXPECT_TRUE(window->dropOnRemoteList(child<QListView>("FileListBox1")));
    }

    QTemporaryDir dir, local;
    ScriptedDialogs dialogs;
    std::unique_ptr<test::MainWindowStub> main;
    QPointer<TFTP_Freestyle> window;
};

} // namespace

TEST_F(FreestyleTest, UploadsAFileInTheChosenModeAndListsItsNameEachTime)
{
    test::PyFtpServer server;
    ASSERT_TRUE(server.isListening()) << server.error().toStdString();
    ASSERT_TRUE(test::writeFile(server.path("old.txt"), "x"));
    ASSERT_TRUE(test::writeFile(localPath("logo.gif"), Binary));
    ASSERT_TRUE(test::writeFile(localPath("page.txt"), "one\ntwo\n"));
    open(server.port(), server.user(), server.password());
    EXPECT_EQ(remote(), QStringList{"old.txt"});
    EXPECT_EQ(QDir::currentPath(), QDir(local.path()).absolutePath());

    child<QRadioButton>("BinaryButton")->click();
    upload("logo.gif");
    EXPECT_EQ(test::readFile(server.path("logo.gif")), Binary);
    EXPECT_EQ(remote(), (QStringList{"logo.gif", "old.txt"}));
    upload("logo.gif");
    EXPECT_EQ(remote(), (QStringList{"logo.gif", "logo.gif", "old.txt"}));

    child<QRadioButton>("AsciiButton")->click();
    upload("page.txt");
    EXPECT_EQ(test::readFile(server.path("page.txt")), "one\ntwo\n");
    EXPECT_EQ(trace().count("finished upload"), 3);
    EXPECT_TRUE(dialogs.shown().isEmpty());
}

TEST_F(FreestyleTest, DownloadsAFileAndAFolderTreeBreadthFirstWithEachFilesMode)
{
    test::PyFtpServer server;
    ASSERT_TRUE(server.isListening()) << server.error().toStdString();
    ASSERT_TRUE(test::writeFile(server.path("www/index.html"), "<p>\r\n"));
    ASSERT_TRUE(test::writeFile(server.path("www/images/logo.gif"), Binary));
    ASSERT_TRUE(test::writeFile(server.path("www/images/icons/a.png"), Binary + "png"));
    ASSERT_TRUE(test::writeFile(server.path("www/images/icons/deep/b.jpg"), Binary + "jpg"));
    ASSERT_TRUE(test::writeFile(server.path("www/css/site.css"), "a{}"));
    ASSERT_TRUE(test::writeFile(server.path("top.gif"), Binary));
    open(server.port(), server.user(), server.password());

    child<QRadioButton>("BinaryButton")->click();
    download("top.gif");
    EXPECT_EQ(test::readFile(localPath("top.gif")), Binary);

    download("www");
    SCOPED_TRACE(trace().join('\n').toStdString());
    EXPECT_EQ(test::readFile(localPath("www/images/logo.gif")), Binary);
    EXPECT_EQ(test::readFile(localPath("www/images/icons/a.png")), Binary + "png");
    EXPECT_EQ(test::readFile(localPath("www/images/icons/deep/b.jpg")), Binary + "jpg");
    EXPECT_TRUE(QFileInfo(localPath("www/css/site.css")).isFile());
    EXPECT_TRUE(QFileInfo(localPath("www/index.html")).isFile());
    // The last folder processed stays shown, and the mode is the one the buttons show.
    EXPECT_EQ(child<QLineEdit>("eRemotePath")->text(), "/www/images/icons/deep");
    EXPECT_EQ(remote(), QStringList{"b.jpg"});
    EXPECT_EQ(window->browser().component().TransferMode(), tmBinary);
    EXPECT_TRUE(child<QRadioButton>("BinaryButton")->isChecked());
    EXPECT_EQ(trace().count("finished download"), 6);
    EXPECT_TRUE(child<QListView>("FileListBox1")->isEnabled());
    // Nothing but the copies is left in the local folder.
    EXPECT_EQ(QDir(localPath("www/images")).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot),
              (QStringList{"icons", "logo.gif"}));
}

TEST_F(FreestyleTest, OverSftpFilesAndAFolderTreeComeDownAndAFileGoesUp)
{
    test::SshServer server;
    ASSERT_TRUE(server.isListening()) << server.error().toStdString();
    // The user's key from a ~/.ssh of the test's own, the host key pinned as the connection
    // test pins it.
    QTemporaryDir home;
    ASSERT_TRUE(server.installUserKey(home.path()));
    const QByteArray savedHome = qgetenv("HOME");
    const auto restoreHome = qScopeGuard([&] { qputenv("HOME", savedHome); });
    qputenv("HOME", home.path().toLocal8Bit());
    qunsetenv("SSH_AUTH_SOCK");
    ASSERT_EQ(
        pinFingerprint(dir.path(), QStringLiteral("127.0.0.1"), server.port(), server.hostKeyFingerprint()),
        QString());
    ASSERT_TRUE(test::writeFile(server.path("www/index.html"), "<p>\r\n"));
    ASSERT_TRUE(test::writeFile(server.path("www/images/logo.gif"), Binary));
    ASSERT_TRUE(test::writeFile(server.path("www/images/icons/a.png"), Binary + "png"));
    ASSERT_TRUE(test::writeFile(server.path("top.gif"), Binary));
    ASSERT_TRUE(test::writeFile(localPath("page.txt"), "one\ntwo\n"));
    openServer(server.address(), test::SshServer::keyUser(), QString());
    SCOPED_TRACE(trace().join('\n').toStdString());
    QStringList names = remote();
    names.sort();
    EXPECT_EQ(names, (QStringList{"top.gif", "www"}));

    // Copied as they are whichever mode the buttons show.
    child<QRadioButton>("AsciiButton")->click();
    download("top.gif");
    EXPECT_EQ(test::readFile(localPath("top.gif")), Binary);
    download("www");
    EXPECT_EQ(test::readFile(localPath("www/index.html")), "<p>\r\n");
    EXPECT_EQ(test::readFile(localPath("www/images/logo.gif")), Binary);
    EXPECT_EQ(test::readFile(localPath("www/images/icons/a.png")), Binary + "png");
    EXPECT_EQ(trace().count("finished download"), 4);

    // Up into the folder shown, the last one of the folder download.
    const QString shown = child<QLineEdit>("eRemotePath")->text();
    EXPECT_EQ(shown, QFileInfo(server.path("www/images/icons")).canonicalFilePath());
    upload("page.txt");
    EXPECT_EQ(test::readFile(shown + "/page.txt"), "one\ntwo\n");
    names = remote();
    names.sort();
    EXPECT_EQ(names, (QStringList{"a.png", "page.txt"}));
    EXPECT_TRUE(dialogs.shown().isEmpty()) << dialogs.texts().join('\n').toStdString();
}

TEST_F(FreestyleTest, AFailedDownloadKeepsWhatIsInTheWayAndSaysSo)
{
    test::PyFtpServer server;
    ASSERT_TRUE(server.isListening()) << server.error().toStdString();
    ASSERT_TRUE(test::writeFile(server.path("notes.txt/inner.txt"), "new"));
    ASSERT_TRUE(test::writeFile(server.path("page.html"), "new"));
    ASSERT_TRUE(test::writeFile(localPath("notes.txt"), "old notes"));
    ASSERT_TRUE(QDir(local.path()).mkpath("page.html/kept"));
    open(server.port(), server.user(), server.password());

    download("notes.txt");
    EXPECT_EQ(test::readFile(localPath("notes.txt")), "old notes");
    EXPECT_TRUE(
        trace().filter(QRegularExpression("^ERR:A file is in the way of the folder .*notes.txt$")).size() ==
        1)
        << trace().join('\n').toStdString();

    download("page.html");
    EXPECT_TRUE(QFileInfo(localPath("page.html/kept")).isDir());
    EXPECT_TRUE(
        trace().filter(QRegularExpression("^ERR:A folder is in the way of the file .*page.html$")).size() ==
        1)
        << trace().join('\n').toStdString();
    EXPECT_EQ(QDir(local.path()).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot),
              (QStringList{"notes.txt", "page.html"}));
}

TEST_F(FreestyleTest, NamesThatWouldLeaveTheLocalFolderAreRefused)
{
    QTemporaryDir site;
    ASSERT_TRUE(test::writeFile(QDir(site.path()).filePath("pub/a.txt"), "a"));
    const QStringList odd{"../outside.txt", "/tmp/cvb-absolute.txt", "sub/file"};
    test::OddFtpServer server(site.path(), odd);
    ASSERT_NE(server.port(), 0);
    ASSERT_TRUE(QDir(local.path()).mkdir("in"));
    open(server.port());
    window->setLocalFolder(localPath("in"));

    download("../outside.txt");
    download("pub");
    EXPECT_TRUE(QFileInfo(localPath("in/pub/a.txt")).isFile());
    for (const QString &name : odd)
        EXPECT_EQ(trace().count(refusedNameLine(name)), name == "../outside.txt" ? 2 : 1)
            << name.toStdString();
    EXPECT_EQ(QDir(local.path()).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot),
              QStringList{"in"});
    EXPECT_FALSE(QFileInfo::exists("/tmp/cvb-absolute.txt"));

    // This server takes no uploads: the error is shown and no success is claimed.
    ASSERT_TRUE(test::writeFile(localPath("in/up.txt"), "up"));
    upload("up.txt");
    ASSERT_EQ(dialogs.shown().size(), 1);
    EXPECT_EQ(dialogs.shown().first().kind, ScriptedDialogs::Kind::Error);
    EXPECT_EQ(trace().count("finished upload"), 0);
    EXPECT_TRUE(child<QListView>("FileListBox1")->isEnabled());
}

TEST_F(FreestyleTest, ErrorReplyReportsAddNoLineAndReturnLogsOff)
{
    test::PyFtpServer server;
    ASSERT_TRUE(server.isListening()) << server.error().toStdString();
    open(server.port(), server.user(), server.password());
    TcvbFTP &ftp = window->browser().component();
    const int before = child<QListWidget>("lTrace")->count();
    ftp.OnError(&ftp, 141, "550 refused");
    EXPECT_EQ(child<QListWidget>("lTrace")->count(), before);
    ftp.OnError(&ftp, 10054, "Connection reset");
    EXPECT_EQ(child<QListWidget>("lTrace")->count(), before + 1);

    child<QPushButton>("ReturnButton")->click();
    EXPECT_FALSE(ftp.Connected());
    EXPECT_EQ(main->menuShown, 1);
    EXPECT_TRUE(waitFor([&] { return window.isNull(); }));
}

TEST_F(FreestyleTest, TheWindowStaysResponsiveThroughTheFixedPauses)
{
    test::PyFtpServer server;
    ASSERT_TRUE(server.isListening()) << server.error().toStdString();
    ASSERT_TRUE(test::writeFile(server.path("pics/a.gif"), Binary));
    ASSERT_TRUE(test::writeFile(server.path("pics/more/b.gif"), Binary));
    open(server.port(), server.user(), server.password());
    qputenv("CVB_PACING", "1");
    const auto restore = qScopeGuard([] { qputenv("CVB_PACING", "0"); });
    int ticksDuringTransfer = 0;
    QTimer timer;
    QObject::connect(&timer, &QTimer::timeout,
                     [&] { ticksDuringTransfer += window->transferring() ? 1 : 0; });
    timer.start(200);
    download("pics");
    // Two folders: at least 2 x 2000 ms of pauses plus 2 x 500 ms after the files.
    EXPECT_GE(ticksDuringTransfer, 10);
    EXPECT_EQ(test::readFile(localPath("pics/more/b.gif")), Binary);
}

TEST_F(FreestyleTest, TheWindowStaysResponsiveWhileASlowServerSendsAFile)
{
    QTemporaryDir site;
    const QByteArray big = QByteArray(1024 * 1024, '\x5a') + Binary;
    ASSERT_TRUE(test::writeFile(QDir(site.path()).filePath("big.bin"), big));
    test::OddFtpServer server(site.path(), {}, false, 1024 * 1024 / 5);
    ASSERT_NE(server.port(), 0);
    open(server.port());
    child<QRadioButton>("BinaryButton")->click();
    int ticksDuringTransfer = 0;
    QTimer timer;
    QObject::connect(&timer, &QTimer::timeout,
                     [&] { ticksDuringTransfer += window->transferring() ? 1 : 0; });
    timer.start(200);
    download("big.bin");
    // About five seconds of sending: the test's timer goes on firing meanwhile.
    EXPECT_GE(ticksDuringTransfer, 10);
    EXPECT_EQ(test::readFile(localPath("big.bin")), big);
}

namespace {

// Every entry below `folder` (hidden ones included), relative to it, sorted.
QStringList everythingBelow(const QString &folder)
{
    QStringList found;
    QDirIterator it(folder, QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot,
                    QDirIterator::Subdirectories);
    while (it.hasNext())
        found << QDir(folder).relativeFilePath(it.next());
    found.sort();
    return found;
}

// Calls `act` once, from the event loop, as soon as `condition` holds (checked every `ms`; 0:
// on every pass of the event loop).
void onceWhen(QObject *context, std::function<bool()> condition, std::function<void()> act, int ms = 10)
{
    auto *timer = new QTimer(context);
    QObject::connect(timer, &QTimer::timeout, timer, [timer, condition, act] {
        if (!condition())
            return;
        timer->stop();
        timer->deleteLater();
        act();
    });
    timer->start(ms);
}

} // namespace

TEST_F(FreestyleTest, AfterAFolderDownloadTheNextFileGoesInTheModeTheButtonsShow)
{
    // The folder's text files go in ASCII by their names; the single file after them goes in the
    // checked "Binary" mode, byte for byte.
    test::PyFtpServer server;
    ASSERT_TRUE(server.isListening()) << server.error().toStdString();
    ASSERT_TRUE(test::writeFile(server.path("docs/a.gif"), Binary));
    ASSERT_TRUE(test::writeFile(server.path("docs/notes.txt"), "one\r\ntwo\n"));
    const QByteArray crlf = QByteArray("a\r\nb\rc\n").repeated(500);
    ASSERT_TRUE(test::writeFile(server.path("data.dat"), crlf));
    open(server.port(), server.user(), server.password());
    child<QRadioButton>("BinaryButton")->click();
    download("docs");
    EXPECT_EQ(test::readFile(localPath("docs/a.gif")), Binary);
    EXPECT_EQ(window->browser().component().TransferMode(), tmBinary);

    child<QPushButton>("UpButton")->click();
    ASSERT_TRUE(waitFor([&] { return remote().contains("data.dat"); })) << remote().join(' ').toStdString();
    download("data.dat");
    EXPECT_EQ(test::readFile(localPath("data.dat")), crlf);

    // And the other way round: "ASCII" checked, a folder whose last file is binary.
    child<QRadioButton>("AsciiButton")->click();
    ASSERT_TRUE(test::writeFile(server.path("pics/z.gif"), Binary));
    child<QPushButton>("ConnectButton")->click();
    download("pics");
    EXPECT_EQ(window->browser().component().TransferMode(), tmASCII);
}

TEST_F(FreestyleTest, AFolderDownloadStopsAtTheDepthLimitOnAServerWhoseEveryFolderHoldsAFolder)
{
    // Every folder holds a folder "d", further down than the limit (as a link back up, d -> .,
    // shows on a server that resolves it without end). Each level's a.gif is fetched down to
    // the limit; the folders below it are not entered.
    test::PyFtpServer server;
    ASSERT_TRUE(server.isListening()) << server.error().toStdString();
    const QString deepest = "loop" + QString("/d").repeated(kMaxFolderDepth);
    ASSERT_TRUE(test::writeFile(server.path(deepest + "/a.gif"), Binary));
    ASSERT_TRUE(test::writeFile(server.path(deepest + "/d/a.gif"), Binary));
    ASSERT_TRUE(QDir(server.path(deepest)).mkpath("d/d/d"));
    open(server.port(), server.user(), server.password());
    child<QRadioButton>("BinaryButton")->click();
    download("loop");
    SCOPED_TRACE(trace().mid(trace().size() - 20).join('\n').toStdString());
    EXPECT_EQ(test::readFile(localPath(deepest + "/a.gif")), Binary);
    EXPECT_FALSE(QFileInfo::exists(localPath(deepest + "/d")));
    const QStringList limit = trace().filter("levels below the dropped folder");
    ASSERT_EQ(limit.size(), 1);
    EXPECT_TRUE(limit[0].startsWith(
        QStringLiteral("ERR:Folders more than %1 levels below the dropped folder").arg(kMaxFolderDepth)));
    EXPECT_TRUE(limit[0].endsWith("/" + deepest + "/d")) << limit[0].toStdString();
    EXPECT_EQ(trace().count("finished download"), 1);
    EXPECT_FALSE(window->transferring());
}

TEST_F(FreestyleTest, StopEndsAFolderDownloadKeepsWhatIsCompleteAndLeavesNoTemporaryFile)
{
    QTemporaryDir site;
    ASSERT_TRUE(test::writeFile(QDir(site.path()).filePath("pics/a.gif"), Binary));
    ASSERT_TRUE(test::writeFile(QDir(site.path()).filePath("pics/hang.bin"), QByteArray(1 << 20, 'h')));
    ASSERT_TRUE(test::writeFile(QDir(site.path()).filePath("pics/sub/b.gif"), Binary));
    test::OddFtpServer server(site.path(), {}, false, 0, QStringLiteral("hang.bin"));
    ASSERT_NE(server.port(), 0);
    open(server.port());
    child<QRadioButton>("BinaryButton")->click();
    auto *stop = child<QPushButton>("StopButton");
    EXPECT_FALSE(stop->isEnabled());
    onceWhen(
        window, [&] { return !trace().filter("RETR hang.bin").isEmpty(); },
        [&] {
            EXPECT_TRUE(stop->isEnabled());
            stop->click();
        });
    download("pics");
    SCOPED_TRACE(trace().join('\n').toStdString());
    // The complete file stays, the stopped one leaves nothing, and nothing below is fetched.
    EXPECT_EQ(test::readFile(localPath("pics/a.gif")), Binary);
    EXPECT_EQ(everythingBelow(local.path()), (QStringList{"pics", "pics/a.gif"}));
    EXPECT_EQ(trace().count("Download stopped: the files copied so far are kept."), 1);
    EXPECT_TRUE(trace().filter(QRegularExpression("^ERR:")).isEmpty());
    EXPECT_FALSE(window->transferring());
    EXPECT_FALSE(stop->isEnabled());
    EXPECT_TRUE(child<QListView>("FileListBox1")->isEnabled());
    EXPECT_EQ(window->browser().component().TransferMode(), tmBinary);

    // The session goes on: the next download logs on again by itself, in the same folder.
    const int before = trace().count("finished download");
    download("a.gif");
    EXPECT_EQ(trace().count("finished download"), before + 1);
    EXPECT_TRUE(dialogs.shown().isEmpty());
}

TEST_F(FreestyleTest, ClosingDuringADownloadStopsItAndClosesOnceTheWaitHasUnwound)
{
    QTemporaryDir site;
    ASSERT_TRUE(test::writeFile(QDir(site.path()).filePath("pics/a.gif"), Binary));
    ASSERT_TRUE(test::writeFile(QDir(site.path()).filePath("pics/hang.bin"), QByteArray(1 << 20, 'h')));
    ASSERT_TRUE(test::writeFile(QDir(site.path()).filePath("pics/sub/b.gif"), Binary));
    test::OddFtpServer server(site.path(), {}, false, 0, QStringLiteral("hang.bin"));
    ASSERT_NE(server.port(), 0);
    open(server.port());
    int closeAsked = 0;
    onceWhen(
        window, [&] { return !trace().filter("RETR hang.bin").isEmpty(); },
        [&] {
            ++closeAsked;
            window->close();
        });
    download("pics");
    EXPECT_EQ(closeAsked, 1);
    EXPECT_TRUE(waitFor([&] { return window.isNull(); }));
    EXPECT_EQ(main->menuShown, 1);
    EXPECT_EQ(everythingBelow(local.path()), (QStringList{"pics", "pics/a.gif"}));
    EXPECT_TRUE(dialogs.shown().isEmpty());
}

TEST_F(FreestyleTest, ClosingWhileReturnLogsOffAndHangsUpWaitsForBothAndClosesOnce)
{
    qputenv("CVB_RAS", "sim");
    const auto restore = qScopeGuard([] { qunsetenv("CVB_RAS"); });
    test::PyFtpServer server;
    ASSERT_TRUE(server.isListening()) << server.error().toStdString();
    ConnectionSettings settings;
    settings.user = server.user();
    settings.password = server.password();
    settings.server = QStringLiteral("127.0.0.1:%1").arg(server.port());
    settings.useDefaultConnection = false;
    settings.dialUser = "dialer";
    settings.dialPassword = "dialpw";
    settings.phoneNumber = "555-0100";
    writeConnectionSettings(*main->cnct, settings);
    window = new TFTP_Freestyle(*main);
    window->show();
    window->setLocalFolder(local.path());
    window->ConnectButtonClick();
    ASSERT_TRUE(window->browser().component().Connected());

    // A second click and the close arrive while the log-off waits for the server's reply.
    bool duringLogOff = false;
    onceWhen(
        window, [&] { return trace().contains("CLIENT: QUIT"); },
        [&] {
            duringLogOff = window->browser().component().Action() == ftpLogoff;
            window->ReturnButtonClick();
            window->close();
        },
        0);
    child<QPushButton>("ReturnButton")->click();
    EXPECT_TRUE(duringLogOff);
    EXPECT_TRUE(waitFor([&] { return window.isNull(); }));
    EXPECT_EQ(main->menuShown, 1);
}

TEST_F(FreestyleTest, ClosingWhileConnectingEndsTheLogOnAndClosesWithoutAMessage)
{
    test::ScriptedServer silent; // accepts, never greets
    QObject context;
    onceWhen(
        &context, [&] { return window && window->browser().component().Action() == ftpLogon; },
        [&] { window->close(); });
    open(silent.Port());
    EXPECT_TRUE(waitFor([&] { return window.isNull(); }));
    EXPECT_EQ(main->menuShown, 1);
    EXPECT_TRUE(dialogs.shown().isEmpty()) << dialogs.texts().join('\n').toStdString();
}

// The window fills the main window's 632 x 418 client area: its controls must fit in it.
TEST_F(FreestyleTest, TheWindowFitsTheMainWindowsArea)
{
    window = new TFTP_Freestyle(*main);
    const QSize least = window->minimumSizeHint();
    EXPECT_LE(least.width(), 632);
    EXPECT_LE(least.height(), 418);
}
