// The live session window driven by object name against pyftpdlib on loopback (and the server
// with odd listings for hostile names), with scripted message boxes; its rules called directly.
#include "ftp/FtpClient.h"
#include "tests/support/Files.h"
#include "tests/support/FtpServer.h"
#include "tests/support/ListTexts.h"
#include "tests/support/MainWindowStub.h"
#include "ui/browser/TRemoteBrowser.h"
#include "ui/common/ScriptedDialogs.h"
#include "ui/session/SessionRules.h"
#include "ui/session/TFTP_Freestyle.h"

#include "data/ConnectionSettings.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QDir>
#include <QLineEdit>
#include <QListView>
#include <QListWidget>
#include <QPushButton>
#include <QRadioButton>
#include <QRegularExpression>
#include <QScopeGuard>
#include <QTemporaryDir>
#include <QTimer>
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
        ConnectionSettings settings;
        settings.user = user;
        settings.password = password;
        settings.server = QStringLiteral("127.0.0.1:%1").arg(port);
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

TEST(SessionRules, NamesThatWouldLeaveTheFolderAreRefusedAndTheFolderItselfSkipped)
{
    bool refused = false;
    EXPECT_EQ(localPathOf("/data", "index.html", &refused), "/data/index.html");
    EXPECT_FALSE(refused);
    for (const char *name : {"../outside.txt", "/etc/passwd", "sub/../x"}) {
        EXPECT_EQ(localPathOf("/data", QString::fromLatin1(name), &refused), std::nullopt) << name;
        EXPECT_TRUE(refused) << name;
    }
    for (const char *name : {".", "..", ""}) {
        EXPECT_EQ(localPathOf("/data", QString::fromLatin1(name), &refused), std::nullopt) << name;
        EXPECT_FALSE(refused) << name;
    }
}

TEST(SessionRules, FoldersAreTakenFirstInFirstOutWithTheirLocalFolders)
{
    FolderDownload work("/data");
    EXPECT_TRUE(work.queue("/", "www"));
    EXPECT_FALSE(work.queue("/", "../up"));
    EXPECT_EQ(work.size(), 1);
    const FolderDownload::Folder top = work.takeFirst();
    EXPECT_EQ(top.remotePath, "//www");
    EXPECT_EQ(work.localFolder(top), "/data/www");
    // The server reports the folder as "/www"; its subfolders keep their place below "www".
    work.queue("/www", "images", top.relative);
    work.queue("/www", "css", top.relative);
    const FolderDownload::Folder first = work.takeFirst();
    EXPECT_EQ(first.remotePath, "/www/images");
    EXPECT_EQ(work.localFolder(first), "/data/www/images");
    EXPECT_EQ(work.takeFirst().remotePath, "/www/css");
    EXPECT_TRUE(work.isEmpty());
}

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
    // The last folder processed stays shown, and the last file's mode stays set.
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
