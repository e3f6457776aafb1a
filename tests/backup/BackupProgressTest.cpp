// What the backup window shows while its backup runs, and its Stop button, against a slow FTP
// server on loopback; the full log of a backup with deep paths.
#include "backup/BackupRun.h"
#include "data/FullLog.h"
#include "dialup/NetDial.h"
#include "tests/backup/BackupHarness.h"
#include "tests/support/Files.h"
#include "tests/support/FtpServer.h"
#include "tests/support/SmtpServer.h"
#include "ui/common/ScriptedDialogs.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTimer>
#include <gtest/gtest.h>

namespace {

using cvb::TFTP_BackupThread;
using cvb::test::BackupHarness;
using cvb::test::ProfileSettings;

QString address(int port)
{
    return QStringLiteral("127.0.0.1:%1").arg(port);
}

TFTP_BackupThread *runningWindow()
{
    for (QWidget *widget : QApplication::topLevelWidgets()) {
        auto *window = qobject_cast<TFTP_BackupThread *>(widget);
        if (window && !window->isClosing())
            return window;
    }
    return nullptr;
}

QString label(TFTP_BackupThread *window, const char *name)
{
    const auto *shown = window->findChild<QLabel *>(QLatin1String(name));
    return shown ? shown->text() : QStringLiteral("(no %1)").arg(QLatin1String(name));
}

// The number a label starts with ("3 of 4 files done", "12.5 kB").
double leadingNumber(const QString &text)
{
    return text.section(QLatin1Char(' '), 0, 0).toDouble();
}

// A site of two small files and, in a folder below them, a large one, sent at 40 kB a second.
struct SlowSite
{
    SlowSite()
    {
        cvb::test::writeFile(root.filePath(QStringLiteral("site/a.bin")), QByteArray(20000, 'a'));
        cvb::test::writeFile(root.filePath(QStringLiteral("site/b.bin")), QByteArray(20000, 'b'));
        cvb::test::writeFile(root.filePath(QStringLiteral("site/z/large.bin")), QByteArray(2000000, 'l'));
    }
    QTemporaryDir root;
    cvb::test::OddFtpServer server{root.path(), {}, false, 40000};
};

QStringList temporaryFiles(const QString &folder)
{
    QStringList found;
    QDir::Filters filters = QDir::Files | QDir::Hidden;
    for (const QFileInfo &file : QDir(folder).entryInfoList(filters))
        if (file.fileName().endsWith(QLatin1String(".part")))
            found << file.fileName();
    return found;
}

TEST(BackupWindowProgress, CountsAndBytesAdvanceAndStopWithYesEndsTheBackupWithItsRowAndItsMail)
{
    SlowSite site;
    ASSERT_GT(site.server.port(), 0);
    cvb::test::SmtpServer smtp;
    ASSERT_TRUE(smtp.IsRunning());
    BackupHarness h;
    h.setConnection(address(site.server.port()), QStringLiteral("tester"), QStringLiteral("secret"));
    h.setConnectionField(QStringLiteral("SMTP"), address(smtp.Port()));
    h.setConnectionField(QStringLiteral("EMAILADDR"), QStringLiteral("backup@example.org"));
    ProfileSettings profile{QStringLiteral("Slow")};
    profile.email = true;
    profile.recipient = QStringLiteral("owner@example.org");
    h.addProfile(profile);
    h.addSource(QStringLiteral("Slow"), QStringLiteral("/site"));
    h.enqueue(QStringLiteral("Slow"));
    cvb::ScriptedDialogs dialogs;
    dialogs.prepareAnswers({cvb::Answer::Yes});

    // What the window showed: the first reading with bytes, and a later one with more bytes and
    // a file done.
    QString firstBytes, laterBytes, laterFiles, profileShown, firstFailure;
    bool gaugeShown = false;
    QElapsedTimer sinceStop;
    qint64 stoppedAfterMs = -1;
    QTimer watch;
    watch.setInterval(100);
    QObject::connect(&watch, &QTimer::timeout, [&] {
        TFTP_BackupThread *window = runningWindow();
        if (!window || sinceStop.isValid())
            return;
        const QString bytes = label(window, "BytesLabel");
        if (firstBytes.isEmpty()) {
            if (leadingNumber(bytes) > 0)
                firstBytes = bytes;
            return;
        }
        const auto *gauge = window->findChild<QProgressBar *>(QStringLiteral("FileGauge"));
        if (gauge && gauge->isEnabled() && gauge->value() > 0 && gauge->value() < 100 && !gaugeShown) {
            gaugeShown = true;
            const QString shots = qEnvironmentVariable("CVB_SCREENSHOT_DIR");
            if (!shots.isEmpty())
                window->grab().save(shots + QStringLiteral("/backup-window.png"));
        }
        if (bytes == firstBytes || !label(window, "FilesLabel").startsWith(QLatin1String("2 of 3")) ||
            !gaugeShown)
            return;
        laterBytes = bytes;
        laterFiles = label(window, "FilesLabel");
        profileShown = label(window, "ProfileLabel");
        QObject::connect(&window->run(), &cvb::BackupRun::logged, [&, window](const QString &message) {
            if (message == QLatin1String("Backup stopped by the user.")) {
                stoppedAfterMs = sinceStop.elapsed();
                firstFailure = window->run().firstFailure();
            }
        });
        sinceStop.start();
        window->findChild<QPushButton *>(QStringLiteral("StopButton"))->click();
    });
    watch.start();
    const auto closed = h.runQueue(1, 60000);
    watch.stop();

    ASSERT_EQ(closed.size(), 1u);
    EXPECT_FALSE(closed[0].ok);
    EXPECT_EQ(profileShown, QStringLiteral("Slow"));
    EXPECT_EQ(laterFiles, QStringLiteral("2 of 3 files done"));
    EXPECT_NE(laterBytes, firstBytes);
    EXPECT_TRUE(gaugeShown);
    EXPECT_EQ(dialogs.texts(), QStringList{QStringLiteral("Stop the backup of profile Slow?")});
    ASSERT_GE(stoppedAfterMs, 0) << h.eventsOf(QStringLiteral("Slow")).join(QLatin1Char('\n')).toStdString();
    EXPECT_LT(stoppedAfterMs, 2000);
    // The tray names the stop, not the interrupted transfer it caused.
    EXPECT_EQ(firstFailure, QStringLiteral("Backup stopped by the user."));
    EXPECT_EQ(temporaryFiles(h.target() + QStringLiteral("/site/z")), QStringList{});
    EXPECT_FALSE(QFileInfo::exists(h.target() + QStringLiteral("/site/z/large.bin")));
    const QStringList rows = h.eventsOf(QStringLiteral("Slow"));
    EXPECT_EQ(rows.count(QStringLiteral("Backup stopped by the user.")), 1);
    EXPECT_FALSE(rows.contains(QStringLiteral("Backup Complete")));

    const QByteArray mail = smtp.WaitMessage(1).message;
    EXPECT_TRUE(mail.contains(" Backup stopped by the user.\r\n")) << mail.toStdString();
    EXPECT_TRUE(mail.contains("WARNING.  The backup experienced errors")) << mail.toStdString();
}

TEST(BackupWindowProgress, StopAnsweredWithNoLetsTheBackupComplete)
{
    QTemporaryDir root;
    cvb::test::writeFile(root.filePath(QStringLiteral("one.bin")), QByteArray(120000, 'o'));
    cvb::test::OddFtpServer server(root.path(), {}, false, 40000);
    ASSERT_GT(server.port(), 0);
    BackupHarness h;
    h.setConnection(address(server.port()), QStringLiteral("tester"), QStringLiteral("secret"));
    h.addProfile({QStringLiteral("Keep")});
    h.addSource(QStringLiteral("Keep"), QStringLiteral("/one.bin"));
    h.enqueue(QStringLiteral("Keep"));
    cvb::ScriptedDialogs dialogs;
    dialogs.prepareAnswers({cvb::Answer::No});

    bool asked = false;
    QTimer watch;
    watch.setInterval(50);
    QObject::connect(&watch, &QTimer::timeout, [&] {
        TFTP_BackupThread *window = runningWindow();
        if (!window || asked || leadingNumber(label(window, "BytesLabel")) <= 0)
            return;
        asked = true;
        window->findChild<QPushButton *>(QStringLiteral("StopButton"))->click();
    });
    watch.start();
    const auto closed = h.runQueue(1, 60000);
    watch.stop();

    ASSERT_EQ(closed.size(), 1u);
    EXPECT_TRUE(asked);
    EXPECT_TRUE(closed[0].ok);
    EXPECT_EQ(dialogs.texts(), QStringList{QStringLiteral("Stop the backup of profile Keep?")});
    EXPECT_EQ(h.eventsOf(QStringLiteral("Keep")).last(), QStringLiteral("Result: complete"));
    EXPECT_EQ(QFileInfo(h.target() + QStringLiteral("/one.bin")).size(), 120000);
}

// The program goes on after a stop: a line the backup dialled is hung up.
TEST(BackupWindowProgress, StopHangsUpTheLineTheBackupDialled)
{
    qputenv("CVB_RAS", "sim");
    SlowSite site;
    ASSERT_GT(site.server.port(), 0);
    BackupHarness h;
    h.setConnection(address(site.server.port()), QStringLiteral("tester"), QStringLiteral("secret"));
    h.setConnectionFlag(QStringLiteral("USEDEFAULT"), false);
    h.setConnectionField(QStringLiteral("USERID"), QStringLiteral("dialer"));
    h.setConnectionField(QStringLiteral("PHONENUM"), QStringLiteral("5551234"));
    h.addProfile({QStringLiteral("Line")});
    h.addSource(QStringLiteral("Line"), QStringLiteral("/site"));
    h.enqueue(QStringLiteral("Line"));
    cvb::ScriptedDialogs dialogs;
    dialogs.prepareAnswers({cvb::Answer::Yes});
    QTimer watch;
    watch.setInterval(50);
    QObject::connect(&watch, &QTimer::timeout, [&] {
        TFTP_BackupThread *window = runningWindow();
        if (window && !window->isStopping() && leadingNumber(label(window, "BytesLabel")) > 0)
            window->findChild<QPushButton *>(QStringLiteral("StopButton"))->click();
    });
    watch.start();
    const auto closed = h.runQueue(1, 60000);
    watch.stop();
    ASSERT_EQ(closed.size(), 1u);
    EXPECT_TRUE(h.eventsOf(QStringLiteral("Line")).contains(QStringLiteral("Backup stopped by the user.")));
    cvb::TcvbNetDial dial;
    QStringList open;
    dial.OnConnectedEntry = [&](QObject *, int handle, const QString &entry, const QString &, const QString &,
                                const QString &) {
        if (handle != 0)
            open << entry;
    };
    dial.SetAction(cvb::ntdListConnections);
    EXPECT_EQ(open, QStringList{});
    qunsetenv("CVB_RAS");
}

// The log table cuts its rows at 100 characters; the full log and the detailed mail do not.
TEST(FullLog, HoldsTheWholePathOfAFileDeepInTheSiteAndTheDetailedMailCarriesIt)
{
    cvb::test::PyFtpServer server;
    ASSERT_TRUE(server.isListening());
    const QString deep = QStringLiteral("deep/") + QString(60, QLatin1Char('f')) + QLatin1Char('/') +
                         QString(60, QLatin1Char('g')) + QStringLiteral("/the-file-at-the-bottom.txt");
    ASSERT_GE(deep.size(), 150);
    cvb::test::writeFile(server.path(deep), "bottom\n");
    cvb::test::SmtpServer smtp;
    ASSERT_TRUE(smtp.IsRunning());
    BackupHarness h;
    h.setConnection(address(server.port()), server.user(), server.password());
    h.setConnectionField(QStringLiteral("SMTP"), address(smtp.Port()));
    h.setConnectionField(QStringLiteral("EMAILADDR"), QStringLiteral("backup@example.org"));
    ProfileSettings profile{QStringLiteral("Deep")};
    profile.email = true;
    profile.detailed = true;
    profile.recipient = QStringLiteral("owner@example.org");
    h.addProfile(profile);
    h.addSource(QStringLiteral("Deep"), QStringLiteral("/deep"));
    h.enqueue(QStringLiteral("Deep"));
    const auto closed = h.runQueue();
    ASSERT_EQ(closed.size(), 1u);
    EXPECT_TRUE(closed[0].ok);

    const QString finished = QStringLiteral("Finished downloading ") + h.target() + QLatin1Char('/') + deep;
    const QStringList rows = h.eventsOf(QStringLiteral("Deep"));
    EXPECT_FALSE(rows.contains(finished)); // cut in the table
    const QString full = QString::fromUtf8(cvb::test::readFile(cvb::fullLogPath(QStringLiteral("Deep"))));
    EXPECT_TRUE(full.contains(QLatin1Char(' ') + finished + QLatin1Char('\n'))) << full.toStdString();
    EXPECT_TRUE(full.contains(QStringLiteral(" Backup Complete\n")));
    // The rows are held and written in batches: none is lost, also the last ones after the end.
    const QStringList lines = full.split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    ASSERT_FALSE(lines.isEmpty());
    EXPECT_EQ(rows.last(), QStringLiteral("Result: complete"));
    EXPECT_TRUE(lines.last().endsWith(QStringLiteral(" Result: complete"))) << lines.last().toStdString();
    const QByteArray mail = smtp.WaitMessage(1).message;
    EXPECT_TRUE(mail.contains(' ' + finished.toUtf8() + "\r\n")) << mail.toStdString();
}

} // namespace
