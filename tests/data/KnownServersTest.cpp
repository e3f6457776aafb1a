#include "data/KnownServers.h"

#include "tests/support/Files.h"

#include <QFileInfo>
#include <QTemporaryDir>
#include <gtest/gtest.h>

namespace {

const QString kFirst = QStringLiteral("AA:BB");
const QString kSecond = QStringLiteral("CC:DD");

TEST(KnownServers, APinIsKeptPerHostAndPortAndReplacedWhenPinnedAgain)
{
    QTemporaryDir dir;
    EXPECT_TRUE(cvb::pinnedFingerprint(dir.path(), QStringLiteral("ftp.example.org"), 21).isEmpty());
    EXPECT_TRUE(cvb::pinFingerprint(dir.path(), QStringLiteral("ftp.example.org"), 21, kFirst).isEmpty());
    EXPECT_TRUE(cvb::pinFingerprint(dir.path(), QStringLiteral("ftp.example.org"), 990, kSecond).isEmpty());
    EXPECT_EQ(cvb::pinnedFingerprint(dir.path(), QStringLiteral("FTP.example.org"), 21), kFirst);
    EXPECT_EQ(cvb::pinnedFingerprint(dir.path(), QStringLiteral("ftp.example.org"), 990), kSecond);
    EXPECT_TRUE(cvb::pinnedFingerprint(dir.path(), QStringLiteral("other.example.org"), 21).isEmpty());

    EXPECT_TRUE(cvb::pinFingerprint(dir.path(), QStringLiteral("ftp.example.org"), 21, kSecond).isEmpty());
    EXPECT_EQ(cvb::pinnedFingerprint(dir.path(), QStringLiteral("ftp.example.org"), 21), kSecond);

    const QString path = dir.filePath(cvb::KnownServersFileName);
    const QByteArray text = cvb::test::readFile(path);
    EXPECT_EQ(text.count("ftp.example.org:21 "), 1) << text.toStdString();
    EXPECT_TRUE(text.contains("ftp.example.org:990 CC:DD\n")) << text.toStdString();
    EXPECT_EQ(QFileInfo(path).permissions() & 0x0777, QFile::ReadUser | QFile::WriteUser);
}

TEST(KnownServers, LinesWrittenByHandAndCommentsAreRead)
{
    QTemporaryDir dir;
    ASSERT_TRUE(
        cvb::test::writeFile(dir.filePath(cvb::KnownServersFileName),
                             "# my servers\n\n  127.0.0.1:2121   AA:BB  \n# ftp.example.org:21 CC:DD\n"));
    EXPECT_EQ(cvb::pinnedFingerprint(dir.path(), QStringLiteral("127.0.0.1"), 2121), kFirst);
    EXPECT_TRUE(cvb::pinnedFingerprint(dir.path(), QStringLiteral("ftp.example.org"), 21).isEmpty());
}

} // namespace
