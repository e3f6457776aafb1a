#include "data/Settings.h"

#include "tests/support/Files.h"

#include <QFileInfo>
#include <QTemporaryDir>
#include <gtest/gtest.h>

namespace {

TEST(ProgramSettings, DefaultsWithoutAFileAndValuesKeptPrivatelyAcrossReads)
{
    QTemporaryDir dir;
    {
        cvb::ProgramSettings settings(dir.path());
        EXPECT_EQ(settings.connections(), 3);
        EXPECT_TRUE(settings.pauses());
        EXPECT_TRUE(settings.fetchOnlyChanged());
        EXPECT_EQ(settings.retries(), 3);
        EXPECT_TRUE(settings.mailUser().isEmpty());
        EXPECT_EQ(settings.connectionLimit(QStringLiteral("ftp.example.org:21")), 0);
        EXPECT_TRUE(settings.unreadable().isEmpty());
        EXPECT_FALSE(QFileInfo::exists(settings.filePath()));

        settings.setConnections(12); // beyond the limit: the most there is
        settings.setPauses(false);
        settings.setMailUser(QStringLiteral("backup@example.org"));
        settings.setMailPassword(QStringLiteral("s3cret = ; \"x\""));
        settings.setConnectionLimit(QStringLiteral("FTP.example.org:21"), 2);
        EXPECT_TRUE(settings.save().isEmpty());
    }
    cvb::ProgramSettings again(dir.path());
    EXPECT_EQ(again.connections(), 8);
    EXPECT_FALSE(again.pauses());
    EXPECT_EQ(again.mailUser(), QStringLiteral("backup@example.org"));
    EXPECT_EQ(again.mailPassword(), QStringLiteral("s3cret = ; \"x\""));
    EXPECT_EQ(again.connectionLimit(QStringLiteral("ftp.example.org:21")), 2);
    EXPECT_EQ(QFileInfo(again.filePath()).permissions() & 0x0777, QFile::ReadUser | QFile::WriteUser);
}

TEST(ProgramSettings, AValueThatCannotBeReadCountsAsItsDefaultAndIsNamed)
{
    QTemporaryDir dir;
    ASSERT_TRUE(cvb::test::writeFile(dir.filePath(cvb::SettingsFileName),
                                     "[transfer]\nconnections=many\npauses=perhaps\nretries=0\n"));
    cvb::ProgramSettings settings(dir.path());
    EXPECT_EQ(settings.connections(), 3);
    EXPECT_TRUE(settings.pauses());
    EXPECT_EQ(settings.retries(), 3);
    EXPECT_EQ(settings.unreadable(), (QStringList{QStringLiteral("transfer/connections"),
                                                  QStringLiteral("transfer/pauses"),
                                                  QStringLiteral("transfer/retries")}));
}

} // namespace
