// The rules a fetch lives by that no healthy server shows: which failures earn another try, how
// the pauses between tries grow, and which temporary files of earlier runs a backup keeps.
#include "remote/FileFetch.h"

#include "ftp/FtpCodes.h"
#include "ftp/PartFile.h"
#include "socket/IPPortMsg.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>

namespace {

using cvb::isTransientFailure;

TEST(FileFetch, OnlyBusyClosingAndLostConnectionsAreTriedAgain)
{
    const int refused = cvb::kFtpReplyRefused;
    for (const char *reply : {"421 Too busy", "425 Can't open data connection.", "426 Connection closed; transfer aborted.",
                              "450 File busy", "451 Local error in processing"})
        EXPECT_TRUE(isTransientFailure(refused, QString::fromLatin1(reply))) << reply;
    for (const char *reply : {"550 No such file or directory.", "553 Not allowed", "530 Login incorrect.",
                              "500 Unknown command", "452 Insufficient storage"})
        EXPECT_FALSE(isTransientFailure(refused, QString::fromLatin1(reply))) << reply;
    // As the component's message gives the reply, after its own code.
    EXPECT_TRUE(isTransientFailure(refused, QStringLiteral("141: 426 Connection reset; transfer aborted.")));
    EXPECT_FALSE(isTransientFailure(refused, QStringLiteral("141: 550 No such file or directory.")));
    // A reset data connection, a connection the server closed, the idle limit.
    EXPECT_TRUE(isTransientFailure(10054, QStringLiteral("[10054] Connection reset by peer.")));
    EXPECT_TRUE(isTransientFailure(cvb::CIPPortMsg::kInterrupted, QStringLiteral("Timed out")));
    // A local file that cannot be written is no matter for the server.
    EXPECT_FALSE(isTransientFailure(cvb::kFtpDownloadFileFailed, QStringLiteral("No space left on device")));
}

TEST(FileFetch, PausesDoubleFromTheBaseUpToTheLimitWithinAQuarterEitherWay)
{
    cvb::RetryPolicy policy;
    policy.backOffBaseMs = 2000;
    policy.backOffMaxMs = 60000;
    for (int round = 0; round < 50; ++round) {
        const int second = policy.backOffMs(2);
        const int third = policy.backOffMs(3);
        const int tenth = policy.backOffMs(10);
        EXPECT_GE(second, 1500);
        EXPECT_LE(second, 2500);
        EXPECT_GE(third, 3000);
        EXPECT_LE(third, 5000);
        EXPECT_GE(tenth, 45000);
        EXPECT_LE(tenth, 75000);
    }
    policy.backOffBaseMs = 0;
    EXPECT_EQ(policy.backOffMs(5), 0);
}

TEST(FileFetch, TheSweepKeepsResumableTemporaryFilesAndRemovesTheOthersOnly)
{
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    QDir(dir.path()).mkpath(QStringLiteral("img"));
    const auto make = [&dir](const QString &relative) {
        QFile file(dir.filePath(relative));
        EXPECT_TRUE(file.open(QIODevice::WriteOnly));
        file.write("part");
    };
    const QString target = dir.filePath(QStringLiteral("img/big file.bin"));
    const QString resumable = cvb::PartFile::resumablePath(target, QStringLiteral("r1234-20250102030405"));
    make(QStringLiteral("img/") + QFileInfo(resumable).fileName());
    make(QStringLiteral(".index.html.k3j9x.part"));          // a download that was cut short
    make(QStringLiteral(".htaccess"));                       // the site's own files stay
    make(QStringLiteral("notes.part"));
    make(QStringLiteral("img/.logo.png"));

    const cvb::ResumableParts parts = cvb::sweepPartFiles(dir.path());
    ASSERT_EQ(parts.size(), 1);
    EXPECT_EQ(parts.value(cvb::PartFile::resumablePrefix(target)), resumable);
    EXPECT_TRUE(QFile::exists(resumable));
    EXPECT_FALSE(QFile::exists(dir.filePath(QStringLiteral(".index.html.k3j9x.part"))));
    for (const char *kept : {".htaccess", "notes.part", "img/.logo.png"})
        EXPECT_TRUE(QFile::exists(dir.filePath(QString::fromLatin1(kept)))) << kept;

    cvb::removeParts(parts);
    EXPECT_FALSE(QFile::exists(resumable));
}

TEST(FileFetch, ALongNameKeepsOneResumablePrefixWhateverItsTag)
{
    const QString target = QStringLiteral("/tmp/") + QString(250, QLatin1Char('a'));
    const QString shortTag = cvb::PartFile::resumablePath(target, QStringLiteral("r1-20250102030405"));
    const QString longTag =
        cvb::PartFile::resumablePath(target, QStringLiteral("r1234567890123456789-20250102030405"));
    const QString prefix = cvb::PartFile::resumablePrefix(target);
    EXPECT_TRUE(shortTag.startsWith(prefix));
    EXPECT_TRUE(longTag.startsWith(prefix));
    EXPECT_LE(QFile::encodeName(QFileInfo(longTag).fileName()).size(), 255);
}

} // namespace
