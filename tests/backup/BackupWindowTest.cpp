// Backups run in process through the queue monitor and real backup windows,
// against FTP servers on loopback.
#include "data/Clock.h"
#include "data/DateText.h"
#include "data/Settings.h"
#include "dialup/NetDial.h"
#include "mail/MailComposer.h"
#include "tests/backup/BackupHarness.h"
#include "tests/support/FtpServer.h"
#include "tests/support/Peers.h"
#include "tests/support/SiteTree.h"
#include "tests/support/SmtpServer.h"

#include "tests/support/Files.h"
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTimer>
#include <gtest/gtest.h>

namespace {

using cvb::test::BackupHarness;
using cvb::test::OddFtpServer;
using cvb::test::ProfileSettings;
using cvb::test::readFile;

void writeFile(const QString &path, const QByteArray &bytes)
{
    ASSERT_TRUE(cvb::test::writeFile(path, bytes)) << path.toStdString();
}

using cvb::test::OddFtpServer;

QString address(int port)
{
    return QStringLiteral("127.0.0.1:%1").arg(port);
}

TEST(BackupWindow, FileAndFolderSourcesAreCopiedBreadthFirstWithEveryRow)
{
    cvb::test::PyFtpServer server;
    ASSERT_TRUE(server.isListening()) << server.error().toStdString();
    writeFile(server.path(QStringLiteral("www/index.html")), "<html>home</html>\n");
    writeFile(server.path(QStringLiteral("www/site/index.html")), "<p>site</p>\n");
    writeFile(server.path(QStringLiteral("www/site/.htaccess")), "Deny from all\r\n");
    writeFile(server.path(QStringLiteral("www/site/README")), "read me\nplease\n");
    writeFile(server.path(QStringLiteral("www/site/logo.gif")), QByteArray("GIF\r\n\x00\xff", 7));
    writeFile(server.path(QStringLiteral("www/site/img/a b.gif")), QByteArray("\r\r\n\n", 4));
    writeFile(server.path(QStringLiteral("cgi-bin/x.pl")), "#!/usr/bin/perl\r\n");

    BackupHarness h;
    h.setConnection(address(server.port()), server.user(), server.password());
    h.addProfile({QStringLiteral("Site")});
    h.addSource(QStringLiteral("Site"), QStringLiteral("/www/index.html"), QStringLiteral("Binary"));
    h.addSource(QStringLiteral("Site"), QStringLiteral("/www/site"));
    h.addSource(QStringLiteral("Site"), QStringLiteral("/cgi-bin"));
    h.enqueue(QStringLiteral("Site"));
    const auto closed = h.runQueue();
    ASSERT_EQ(closed.size(), 1u);
    EXPECT_TRUE(closed[0].ok);

    const QString t = h.target();
    QStringList rows = h.eventsOf(QStringLiteral("Site"));
    ASSERT_GE(rows.size(), 3);
    EXPECT_FALSE(rows[2].isEmpty()); // the socket library's description and status
    rows.removeAt(2);
    // A folder's rows come in the order of its listing, which is the server's.
    if (rows.size() >= 8)
        std::sort(rows.begin() + 4, rows.begin() + 8);
    EXPECT_EQ(rows, (QStringList{
                        QStringLiteral("Begining backup profile Site"),
                        QStringLiteral("Loading Winsock"),
                        QStringLiteral("Logging in to '/"),
                        QStringLiteral("Finished downloading /www/index.html"),
                        QStringLiteral("Finished downloading ") + t + QStringLiteral("/site/.htaccess"),
                        QStringLiteral("Finished downloading ") + t + QStringLiteral("/site/README"),
                        QStringLiteral("Finished downloading ") + t + QStringLiteral("/site/index.html"),
                        QStringLiteral("Finished downloading ") + t + QStringLiteral("/site/logo.gif"),
                        QStringLiteral("Finished downloading ") + t + QStringLiteral("/cgi-bin/x.pl"),
                        QStringLiteral("Finished downloading ") + t + QStringLiteral("/site/img/a b.gif"),
                        QStringLiteral("Files downloaded: 7, unchanged: 0, failed: 0."),
                        QStringLiteral("Bytes over the network: 88."),
                        QStringLiteral("Logged out of FTP server."),
                        QStringLiteral("Backup Complete"),
                        QStringLiteral("Result: complete"),
                    }));
    QTemporaryDir expected;
    cvb::test::copyExpectedBackup(server.root(), expected.path());
    EXPECT_EQ(cvb::test::treeDifferences(expected.path(), t), QStringList{});
    EXPECT_TRUE(h.queue().isEmpty());
}

TEST(BackupWindow, MissingSourceGivesItsTwoRowsNoFolderAndAFailedBackup)
{
    cvb::test::PyFtpServer server;
    ASSERT_TRUE(server.isListening());
    writeFile(server.path(QStringLiteral("www/present.txt")), "here\n");
    BackupHarness h;
    h.setConnection(address(server.port()), server.user(), server.password());
    h.addProfile({QStringLiteral("Miss")});
    h.addSource(QStringLiteral("Miss"), QStringLiteral("/www/missing.html"));
    h.addSource(QStringLiteral("Miss"), QStringLiteral("/www/present.txt"));
    h.enqueue(QStringLiteral("Miss"));
    const auto closed = h.runQueue();
    ASSERT_EQ(closed.size(), 1u);
    EXPECT_FALSE(closed[0].ok);
    const QStringList rows = h.eventsOf(QStringLiteral("Miss"));
    const qsizetype at =
        rows.indexOf(QStringLiteral("Download of file : /www/missing.html may not have been successful!"));
    ASSERT_GT(at, 0) << rows.join(QLatin1Char('\n')).toStdString();
    EXPECT_TRUE(rows[at - 1].startsWith(QStringLiteral("EXCEPTION: 141: 550 ")))
        << rows[at - 1].toStdString();
    EXPECT_EQ(rows[at + 1], QStringLiteral("Finished downloading /www/present.txt"));
    EXPECT_EQ(rows.mid(rows.size() - 2), (QStringList{QStringLiteral("Backup Complete"), QStringLiteral("Result: failed")}));
    EXPECT_FALSE(QFileInfo::exists(h.target() + QStringLiteral("/missing.html")));
    EXPECT_EQ(readFile(h.target() + QStringLiteral("/present.txt")), "here\n");
}

// The fixed pauses of a backup (a second per folder step and listing, half a second per file) keep
// serving the program's timers and windows.
TEST(BackupWindow, TheProgramKeepsRespondingDuringTheFixedPauses)
{
    cvb::test::PyFtpServer server;
    ASSERT_TRUE(server.isListening());
    writeFile(server.path(QStringLiteral("www/a.txt")), "a\n");
    writeFile(server.path(QStringLiteral("www/b.txt")), "b\n");
    BackupHarness h;
    h.setConnection(address(server.port()), server.user(), server.password());
    h.addProfile({QStringLiteral("Calm")});
    h.addSource(QStringLiteral("Calm"), QStringLiteral("/www"));
    h.enqueue(QStringLiteral("Calm"));

    const QByteArray pacing = qgetenv("CVB_PACING");
    qputenv("CVB_PACING", "1");
    int ticks = 0;
    QTimer timer;
    timer.setInterval(200);
    QObject::connect(&timer, &QTimer::timeout, [&] { ++ticks; });
    timer.start();
    const auto closed = h.runQueue();
    timer.stop();
    qputenv("CVB_PACING", pacing);
    ASSERT_EQ(closed.size(), 1u);
    EXPECT_TRUE(closed[0].ok);
    // About four seconds of pauses: a timer held up by them would hardly fire at all.
    EXPECT_GE(ticks, 8);
}

TEST(BackupWindow, ListedNamesLeavingTheFolderAreRefusedAndDotEntriesSkipped)
{
    QTemporaryDir root;
    writeFile(root.filePath(QStringLiteral("site/page.html")), "page\n");
    writeFile(root.filePath(QStringLiteral("outside.txt")), "must not be fetched\n");
    OddFtpServer server(root.filePath(QStringLiteral("site")),
                        {QStringLiteral("."), QStringLiteral(".."), QStringLiteral("./."),
                         QStringLiteral("../outside.txt"), QStringLiteral("/etc/hostname"),
                         QStringLiteral("sub/page.html")});
    ASSERT_GT(server.port(), 0);
    BackupHarness h;
    h.setConnection(address(server.port()), QStringLiteral("tester"), QStringLiteral("secret"));
    h.addProfile({QStringLiteral("Odd")});
    h.addSource(QStringLiteral("Odd"), QStringLiteral("/"));
    h.enqueue(QStringLiteral("Odd"));
    const auto closed = h.runQueue();
    ASSERT_EQ(closed.size(), 1u);
    EXPECT_FALSE(closed[0].ok);

    const QStringList rows = h.eventsOf(QStringLiteral("Odd"));
    for (const char *name : {"../outside.txt", "/etc/hostname", "sub/page.html"}) {
        const QString failed = QStringLiteral("Download of file : ") + QLatin1String(name) +
                               QStringLiteral(" may not have been successful!");
        const qsizetype at = rows.indexOf(failed);
        ASSERT_GT(at, 0) << name;
        EXPECT_TRUE(rows[at - 1].startsWith(QStringLiteral("EXCEPTION: "))) << rows[at - 1].toStdString();
        EXPECT_EQ(rows.count(failed), 1);
    }
    EXPECT_EQ(rows.mid(rows.size() - 2), (QStringList{QStringLiteral("Backup Complete"), QStringLiteral("Result: failed")}));
    EXPECT_EQ(QDir(h.target()).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot),
              QStringList{QStringLiteral("page.html")});
    EXPECT_FALSE(QFile::exists(QFileInfo(h.target()).path() + QStringLiteral("/outside.txt")));
}

TEST(BackupWindow, FirewallSettingUsesPassiveDataConnections)
{
    QTemporaryDir root;
    writeFile(root.filePath(QStringLiteral("f.txt")), "passive\n");
    OddFtpServer server(root.path(), {}, true);
    ASSERT_GT(server.port(), 0);
    for (const bool firewall : {false, true}) {
        BackupHarness h;
        h.setConnection(address(server.port()), QStringLiteral("tester"), QStringLiteral("secret"), firewall);
        h.addProfile({QStringLiteral("Fw")});
        h.addSource(QStringLiteral("Fw"), QStringLiteral("/f.txt"));
        h.enqueue(QStringLiteral("Fw"));
        const auto closed = h.runQueue();
        ASSERT_EQ(closed.size(), 1u);
        EXPECT_EQ(closed[0].ok, firewall)
            << h.eventsOf(QStringLiteral("Fw")).join(QLatin1Char('\n')).toStdString();
        EXPECT_EQ(QFileInfo(h.target() + QStringLiteral("/f.txt")).isFile(), firewall);
    }
}

TEST(BackupWindow, OverwriteReplacesFilesAndKeepsTheOldCopyOfAFileThatCouldNotBeFetched)
{
    cvb::test::PyFtpServer server;
    ASSERT_TRUE(server.isListening());
    writeFile(server.path(QStringLiteral("site/a.txt")), "first a\n");
    writeFile(server.path(QStringLiteral("site/b.txt")), "first b\n");
    BackupHarness h;
    h.setConnection(address(server.port()), server.user(), server.password());
    h.addProfile({QStringLiteral("Over")});
    h.addSource(QStringLiteral("Over"), QStringLiteral("/site"));
    h.enqueue(QStringLiteral("Over"));
    ASSERT_TRUE(h.runQueue().at(0).ok);

    writeFile(server.path(QStringLiteral("site/a.txt")), "second a\n");
    // b.txt is still listed but is gone from the server: its download fails.
    QFile::remove(server.path(QStringLiteral("site/b.txt")));
    cvb::test::OddFtpServer listsMore(server.path(QString()), {QStringLiteral("b.txt")});
    ASSERT_GT(listsMore.port(), 0);
    h.setConnection(address(listsMore.port()), QStringLiteral("tester"), QStringLiteral("secret"));
    h.enqueue(QStringLiteral("Over"));
    // Listed, then unknown to the server: it vanished, which is named but fails nothing.
    EXPECT_TRUE(h.runQueue().at(0).ok);
    EXPECT_TRUE(h.eventsOf(QStringLiteral("Over")).contains(QStringLiteral("Vanished during the backup: /site/b.txt")));
    EXPECT_EQ(readFile(h.target() + QStringLiteral("/site/a.txt")), "second a\n");
    EXPECT_EQ(readFile(h.target() + QStringLiteral("/site/b.txt")), "first b\n");
    EXPECT_EQ(QDir(h.target() + QStringLiteral("/site")).entryList(QDir::Files | QDir::Hidden),
              (QStringList{QStringLiteral("a.txt"), QStringLiteral("b.txt")}));
}

// A backup is a copy: CR bytes survive whatever the source's mode and the name's extension say,
// and two file sources of one name both keep their bytes.
TEST(BackupWindow, FilesArriveByteForByteAndASecondSourceOfANameGoesBelowItsRemotePath)
{
    cvb::test::PyFtpServer server;
    ASSERT_TRUE(server.isListening());
    const QByteArray crlf("a\r\nb\n\rc\r", 9);
    writeFile(server.path(QStringLiteral("www/index.html")), "<p>www</p>\r\n");
    writeFile(server.path(QStringLiteral("cgi-bin/index.html")), "<p>cgi</p>\n");
    writeFile(server.path(QStringLiteral("www/notes.txt")), crlf);
    writeFile(server.path(QStringLiteral("data/table.dat")), crlf);
    BackupHarness h;
    h.setConnection(address(server.port()), server.user(), server.password());
    h.addProfile({QStringLiteral("Exact")});
    h.addSource(QStringLiteral("Exact"), QStringLiteral("/www/index.html"), QStringLiteral("ASCII"));
    h.addSource(QStringLiteral("Exact"), QStringLiteral("/cgi-bin/index.html"), QStringLiteral("ASCII"));
    h.addSource(QStringLiteral("Exact"), QStringLiteral("/www/notes.txt"), QStringLiteral("ASCII"));
    h.addSource(QStringLiteral("Exact"), QStringLiteral("/data"), QStringLiteral("Binary"));
    h.enqueue(QStringLiteral("Exact"));
    const auto closed = h.runQueue();
    ASSERT_EQ(closed.size(), 1u);
    const QStringList rows = h.eventsOf(QStringLiteral("Exact"));
    EXPECT_TRUE(closed[0].ok) << rows.join(QLatin1Char('\n')).toStdString();

    const QString t = h.target();
    EXPECT_EQ(readFile(t + QStringLiteral("/index.html")), "<p>www</p>\r\n");
    EXPECT_EQ(readFile(t + QStringLiteral("/cgi-bin/index.html")), "<p>cgi</p>\n");
    EXPECT_EQ(readFile(t + QStringLiteral("/notes.txt")), crlf);
    EXPECT_EQ(readFile(t + QStringLiteral("/data/table.dat")), crlf);
    const qsizetype at = rows.indexOf(QStringLiteral("Finished downloading /cgi-bin/index.html"));
    ASSERT_GT(at, 0);
    EXPECT_EQ(rows[at - 1],
              QStringLiteral("The name index.html is taken: /cgi-bin/index.html is saved as cgi-bin/index.html"));
}

// The probe entered the folder, then the server refused the folder step's CWD for a moment (450):
// with one try a file, everything below it is missing, which must not pass for a complete backup;
// with the default tries, the folder is entered on the next try and copied whole.
TEST(BackupWindow, AFolderRefusedForAMomentAfterItsProbeIsTriedAgainOrFailsTheBackupWithItsMessage)
{
    QTemporaryDir root;
    for (const char *name : {"a", "b", "c", "d"})
        writeFile(root.filePath(QStringLiteral("site/busy/%1.txt").arg(QLatin1String(name))), "x\n");
    writeFile(root.filePath(QStringLiteral("site/top.txt")), "top\n");
    for (const int tries : {1, cvb::SettingsLimits::kDefaultRetries}) {
        // A server that lists names alone: a name is probed before it is taken for a folder.
        OddFtpServer server(root.path(), {}, false, 0, {}, QStringLiteral("busy"), true);
        ASSERT_GT(server.port(), 0);
        BackupHarness h;
        {
            cvb::ProgramSettings settings(h.dataFolder());
            settings.setRetries(tries);
            ASSERT_EQ(settings.save(), QString());
        }
        h.setConnection(address(server.port()), QStringLiteral("tester"), QStringLiteral("secret"));
        h.addProfile({QStringLiteral("Busy")});
        h.addSource(QStringLiteral("Busy"), QStringLiteral("/site"));
        h.enqueue(QStringLiteral("Busy"));
        const auto closed = h.runQueue();
        ASSERT_EQ(closed.size(), 1u);
        const QStringList rows = h.eventsOf(QStringLiteral("Busy"));
        const QString shown = rows.join(QLatin1Char('\n'));
        EXPECT_EQ(readFile(h.target() + QStringLiteral("/site/top.txt")), "top\n");
        if (tries == 1) {
            EXPECT_FALSE(closed[0].ok);
            const qsizetype at = rows.indexOf(
                QStringLiteral("The folder /site/busy could not be entered; nothing below it was copied."));
            ASSERT_GT(at, 0) << shown.toStdString();
            EXPECT_TRUE(rows[at - 1].startsWith(QStringLiteral("EXCEPTION: ")) &&
                        rows[at - 1].contains(QStringLiteral("450")))
                << rows[at - 1].toStdString();
        } else {
            EXPECT_TRUE(closed[0].ok) << shown.toStdString();
            EXPECT_EQ(rows.filter(QStringLiteral("Try 2 of 3 of /site/busy follows in")).size(), 1) << shown.toStdString();
            EXPECT_EQ(readFile(h.target() + QStringLiteral("/site/busy/d.txt")), "x\n");
        }
    }
}

TEST(BackupWindow, TwoBackupsAtOnceKeepTheirFilesAndRowsApart)
{
    cvb::test::PyFtpServer server;
    ASSERT_TRUE(server.isListening());
    for (int i = 0; i < 12; ++i) {
        writeFile(server.path(QStringLiteral("one/f%1.txt").arg(i)), "one " + QByteArray::number(i) + "\n");
        writeFile(server.path(QStringLiteral("two/sub/g%1.txt").arg(i)),
                  "two " + QByteArray::number(i) + "\n");
    }
    cvb::test::SmtpServer smtp;
    ASSERT_TRUE(smtp.IsRunning());
    BackupHarness h;
    h.setConnection(address(server.port()), server.user(), server.password());
    h.setConnectionField(QStringLiteral("SMTP"), QStringLiteral("127.0.0.1:%1").arg(smtp.Port()));
    h.setConnectionField(QStringLiteral("EMAILADDR"), QStringLiteral("backup@example.org"));
    QTemporaryDir targets;
    for (const QString &name : {QStringLiteral("One"), QStringLiteral("Two")}) {
        ProfileSettings profile{
            name, targets.filePath(name == QLatin1String("One") ? QStringLiteral("1") : QStringLiteral("2"))};
        profile.email = true;
        profile.detailed = true;
        profile.recipient = name.toLower() + QStringLiteral("@example.org");
        h.addProfile(profile);
    }
    QDir().mkpath(targets.filePath(QStringLiteral("1")));
    QDir().mkpath(targets.filePath(QStringLiteral("2")));
    h.addSource(QStringLiteral("One"), QStringLiteral("/one"));
    h.addSource(QStringLiteral("Two"), QStringLiteral("/two"));
    h.enqueue(QStringLiteral("One"));
    h.enqueue(QStringLiteral("Two"));
    // Short pauses instead of none: the workers run at idle priority, and on a busy machine the
    // second would otherwise get its first turn only after the first backup had ended.
    const QByteArray pacing = qgetenv("CVB_PACING");
    qputenv("CVB_PACING", "0.1");
    const auto closed = h.runQueue(2);
    qputenv("CVB_PACING", pacing);
    ASSERT_EQ(closed.size(), 2u);
    EXPECT_TRUE(closed[0].ok && closed[1].ok);

    // Both were running at the same time: their rows interleave.
    const QStringList all = h.events();
    const qsizetype lastOfFirst = std::max(all.lastIndexOf(QStringLiteral("One Backup Complete")),
                                           all.lastIndexOf(QStringLiteral("Two Backup Complete")));
    const qsizetype startOfSecond = std::max(all.indexOf(QStringLiteral("One Loading Winsock")),
                                             all.indexOf(QStringLiteral("Two Loading Winsock")));
    EXPECT_LT(startOfSecond, std::min(all.indexOf(QStringLiteral("One Backup Complete")),
                                      all.indexOf(QStringLiteral("Two Backup Complete"))));
    EXPECT_GT(lastOfFirst, 0);
    for (const QString &row : h.eventsOf(QStringLiteral("One")))
        EXPECT_FALSE(row.contains(QStringLiteral("/2/")) || row.contains(QStringLiteral("/two")))
            << row.toStdString();
    for (const QString &row : h.eventsOf(QStringLiteral("Two")))
        EXPECT_FALSE(row.contains(QStringLiteral("/1/")) || row.contains(QStringLiteral("/one")))
            << row.toStdString();
    EXPECT_EQ(cvb::test::treeDifferences(server.path(QStringLiteral("one")),
                                         targets.filePath(QStringLiteral("1/one"))),
              QStringList{});
    EXPECT_EQ(cvb::test::treeDifferences(server.path(QStringLiteral("two")),
                                         targets.filePath(QStringLiteral("2/two"))),
              QStringList{});

    // Each report goes to its own recipient and carries its own backup's rows, in order.
    const cvb::test::ReceivedMail mails[] = {smtp.WaitMessage(1), smtp.WaitMessage(2)};
    for (const QString &name : {QStringLiteral("One"), QStringLiteral("Two")}) {
        const QString recipient = name.toLower() + QStringLiteral("@example.org");
        const auto *mail = std::find_if(std::begin(mails), std::end(mails),
                                        [&](const auto &m) { return m.rcptTos == QStringList{recipient}; });
        ASSERT_NE(mail, std::end(mails)) << recipient.toStdString();
        const QString text = QString::fromUtf8(mail->message);
        EXPECT_TRUE(text.contains(QStringLiteral("Subject: Backup report for profile : ") + name));
        qsizetype from = 0;
        const QStringList rows = h.eventsOf(name);
        ASSERT_TRUE(rows.contains(QStringLiteral("Loading Winsock")));
        for (const QString &row : rows.mid(rows.indexOf(QStringLiteral("Loading Winsock")))) {
            const qsizetype at = text.indexOf(QLatin1Char(' ') + row + QStringLiteral("\r\n"), from);
            EXPECT_GE(at, from) << name.toStdString() << ": " << row.toStdString();
            from = std::max(from, at);
        }
        const QString other = name == QLatin1String("One") ? QStringLiteral("/two") : QStringLiteral("/one");
        EXPECT_FALSE(text.contains(other)) << text.toStdString();
    }
}

} // namespace

namespace {

QStringList openDialUpConnections()
{
    cvb::TcvbNetDial dial;
    QStringList entries;
    dial.OnConnectedEntry = [&](QObject *, int handle, const QString &entry, const QString &, const QString &,
                                const QString &) {
        if (handle != 0)
            entries << entry;
    };
    dial.SetAction(cvb::ntdListConnections);
    return entries;
}

void prepareDialUp(BackupHarness &h)
{
    h.setConnectionFlag(QStringLiteral("USEDEFAULT"), false);
    h.setConnectionField(QStringLiteral("USERID"), QStringLiteral("dialer"));
    h.setConnectionField(QStringLiteral("PASSCODE"), QStringLiteral("pw"));
    h.setConnectionField(QStringLiteral("PHONENUM"), QStringLiteral("5551234"));
}

// The outcome of a backup of one small file that dials up first, through the simulator run
// with the given options.
struct DialRun
{
    std::size_t windows = 0;
    bool ok = false;
    QStringList rows;
};

DialRun dialUpBackupOfOneFile(const QByteArray &simulatorOptions)
{
    qputenv("CVB_RAS", "sim");
    qputenv("CVB_RAS_SIM", simulatorOptions);
    DialRun run;
    cvb::test::PyFtpServer server;
    EXPECT_TRUE(server.isListening());
    writeFile(server.path(QStringLiteral("a.txt")), "dialled\n");
    BackupHarness h;
    h.setConnection(address(server.port()), server.user(), server.password());
    prepareDialUp(h);
    h.addProfile({QStringLiteral("Dial")});
    h.addSource(QStringLiteral("Dial"), QStringLiteral("/a.txt"));
    h.enqueue(QStringLiteral("Dial"));
    const auto closed = h.runQueue();
    qunsetenv("CVB_RAS_SIM");
    run.windows = closed.size();
    run.ok = !closed.empty() && closed[0].ok;
    run.rows = h.eventsOf(QStringLiteral("Dial"));
    return run;
}

TEST(BackupWindow, DialsUpBeforeTheBackupAndHangsUpAfterIt)
{
    const DialRun run = dialUpBackupOfOneFile({});
    ASSERT_EQ(run.windows, 1u);
    EXPECT_TRUE(run.ok);
    ASSERT_GE(run.rows.size(), 3);
    EXPECT_EQ(run.rows[1], QStringLiteral("Dialing dialer"));
    EXPECT_EQ(run.rows[2], QStringLiteral("Loading Winsock"));
    EXPECT_EQ(run.rows.mid(run.rows.size() - 2),
              (QStringList{QStringLiteral("Backup Complete"), QStringLiteral("Result: complete")}));
    EXPECT_EQ(openDialUpConnections(), QStringList{});
}

// A hang-up that fails ends the transfer step by an error, before "Backup Complete": the worker
// ends without BackupDone, and the window must count the backup as failed and close.
TEST(BackupWindow, AWorkerEndingByAnErrorGivesAFailedBackupAndClosesTheWindow)
{
    const DialRun run = dialUpBackupOfOneFile("hangup=668");
    ASSERT_EQ(run.windows, 1u);
    EXPECT_FALSE(run.ok);
    ASSERT_GE(run.rows.size(), 2);
    EXPECT_TRUE(run.rows[run.rows.size() - 2].startsWith(QStringLiteral("EXCEPTION: ")))
        << run.rows[run.rows.size() - 2].toStdString();
    EXPECT_EQ(run.rows.last(), QStringLiteral("Result: failed"));
    EXPECT_FALSE(run.rows.contains(QStringLiteral("Backup Complete")));
}

} // namespace

namespace {

// A backup of one small file with its report mailed to a real SMTP server, the
// clock pinned so that the report's date and time texts are known.
struct ReportRun
{
    cvb::test::ReceivedMail mail;
    QString stamp; // date text, " ", time text of the pinned moment
    QStringList rows;
};

// The moment every report run happens at.
const QDateTime kReportMoment(QDate(2026, 12, 7), QTime(20, 56, 5));

ReportRun runWithReport(bool detailed, bool sourceExists, bool dialUp)
{
    ReportRun result;
    const QDateTime moment = kReportMoment;
    cvb::Clock::pin(moment);
    result.stamp = cvb::DateText::date(moment.date()) + QLatin1Char(' ') + cvb::DateText::time(moment.time());
    cvb::test::SmtpServer smtp;
    EXPECT_TRUE(smtp.IsRunning());
    cvb::test::PyFtpServer server;
    EXPECT_TRUE(server.isListening());
    writeFile(server.path(QStringLiteral("a.txt")), "report\n");
    BackupHarness h;
    h.setConnection(address(server.port()), server.user(), server.password());
    h.setConnectionField(QStringLiteral("SMTP"), QStringLiteral("127.0.0.1:%1").arg(smtp.Port()));
    h.setConnectionField(QStringLiteral("EMAILADDR"), QStringLiteral("backup@example.org"));
    if (dialUp) {
        qputenv("CVB_RAS", "sim");
        prepareDialUp(h);
    }
    ProfileSettings profile{QStringLiteral("Rep")};
    profile.email = true;
    profile.detailed = detailed;
    profile.recipient = QStringLiteral("owner@example.org");
    h.addProfile(profile);
    h.addSource(QStringLiteral("Rep"), sourceExists ? QStringLiteral("/a.txt") : QStringLiteral("/none.txt"));
    h.enqueue(QStringLiteral("Rep"));
    EXPECT_EQ(h.runQueue().size(), 1u);
    result.mail = smtp.WaitMessage(1);
    result.rows = h.eventsOf(QStringLiteral("Rep"));
    cvb::Clock::useSystemTime();
    return result;
}

QByteArray reportMessage(const QStringList &bodyLines)
{
    QByteArray m = "To: owner@example.org\r\nFrom: backup@example.org\r\nSubject: Backup "
                   "report for profile : Rep\r\n"
                   "Reply-To: backup@example.org\r\nDate: " +
                   cvb::MailDate(kReportMoment).toUtf8() +
                   "\r\nMessage-ID: <ID>\r\nX-Mailer: Halvorn's Corvale "
                   "Backup\r\n\r\n";
    for (const QString &line : bodyLines)
        m += line.toUtf8() + "\r\n";
    return m + "\r\n"; // the client sends CR LF before the closing "."
}

const QStringList closingLines{QStringLiteral(" "),
                               QStringLiteral("Corvale Backup documentation and sales information"),
                               QStringLiteral("is available at https://www.corvale.example/")};

TEST(BackupReport, SummaryOnlyReportOfASuccessfulBackup)
{
    const ReportRun r = runWithReport(false, true, false);
    EXPECT_EQ(r.mail.mailFrom, QStringLiteral("backup@example.org"));
    EXPECT_EQ(r.mail.rcptTos, QStringList{QStringLiteral("owner@example.org")});
    EXPECT_EQ(
        cvb::test::maskedMessageId(r.mail.message).toStdString(),
        reportMessage(QStringList{r.stamp + QStringLiteral(" The backup was successful.")} + closingLines)
            .toStdString());
}

TEST(BackupReport, DetailedReportCarriesEveryBackupRowButTheDialling)
{
    const ReportRun r = runWithReport(true, true, true);
    ASSERT_EQ(r.rows.value(1), QStringLiteral("Dialing dialer"));
    QStringList body;
    for (const QString &row : r.rows.mid(2)) // from "Loading Winsock" on
        body << r.stamp + QLatin1Char(' ') + row;
    EXPECT_EQ(body.first(), r.stamp + QStringLiteral(" Loading Winsock"));
    EXPECT_EQ(body.last(), r.stamp + QStringLiteral(" Result: complete"));
    body << r.stamp + QStringLiteral(" The backup was successful.") << closingLines;
    EXPECT_EQ(cvb::test::maskedMessageId(r.mail.message).toStdString(), reportMessage(body).toStdString());
}

TEST(BackupReport, FailedBackupReportsTheWarningAndWhereToLook)
{
    const ReportRun r = runWithReport(false, false, false);
    EXPECT_EQ(
        cvb::test::maskedMessageId(r.mail.message).toStdString(),
        reportMessage(QStringList{r.stamp + QStringLiteral(" WARNING.  The backup experienced errors and "
                                                           "was not totaly sucessful!"),
                                  QStringLiteral("The problem is detailed in the logs in the Corvale Backup "
                                                 "program.  It is recoemnded that you do an instant "
                                                 "backup.")} +
                      closingLines)
            .toStdString());
}

} // namespace
