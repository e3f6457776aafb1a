// The full log of a profile: uncut lines in logs/PROFILE.log, rotated, three earlier files kept.
#include "data/FullLog.h"
#include "data/Database.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <gtest/gtest.h>

namespace {

QByteArray contents(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("(missing)");
}

TEST(FullLog, LinesGoToTheProfilesFileInTheDatabaseFolderPrivateToTheUser)
{
    QTemporaryDir dir;
    cvb::setAliasFolder(dir.path());
    EXPECT_EQ(cvb::fullLogPath(QStringLiteral("Web Site")),
              dir.path() + QStringLiteral("/logs/Web Site.log"));
    // A name never reaches outside the folder nor hides its file.
    EXPECT_EQ(cvb::fullLogPath(QStringLiteral("../a/b")), dir.path() + QStringLiteral("/logs/_.._a_b.log"));
    EXPECT_EQ(cvb::appendFullLogLines(QStringLiteral("Web Site"), {QStringLiteral("first")}), QString());
    EXPECT_EQ(cvb::appendFullLogLines(QStringLiteral("Web Site"), {QStringLiteral("second")}), QString());
    const QString path = cvb::fullLogPath(QStringLiteral("Web Site"));
    // Several lines at once (the rows a backup held) keep their order, each on a line of its own.
    EXPECT_EQ(cvb::appendFullLogLines(QStringLiteral("Web Site"), {QStringLiteral("third"), QStringLiteral("fourth")}),
              QString());
    EXPECT_EQ(cvb::appendFullLogLines(QStringLiteral("Web Site"), {}), QString());
    EXPECT_EQ(contents(path), "first\nsecond\nthird\nfourth\n");
    EXPECT_EQ(QFileInfo(path).permissions() & (QFile::ReadGroup | QFile::ReadOther), QFile::Permissions());
    EXPECT_EQ(QFileInfo(QFileInfo(path).path()).permissions() & (QFile::ExeGroup | QFile::ExeOther),
              QFile::Permissions());
}

TEST(FullLog, AFullFileIsRotatedAndOnlyThreeEarlierFilesAreKept)
{
    QTemporaryDir dir;
    cvb::setAliasFolder(dir.path());
    const QString path = cvb::fullLogPath(QStringLiteral("P"));
    // Lines of 9 bytes with a limit of 20: every third line starts a new file.
    for (int i = 1; i <= 15; ++i)
        ASSERT_EQ(cvb::appendFullLogLines(QStringLiteral("P"),
                                          {QStringLiteral("line %1").arg(i, 2, 10, QLatin1Char('0'))}, 20),
                  QString());
    EXPECT_EQ(contents(path), "line 13\nline 14\nline 15\n");
    EXPECT_EQ(contents(path + ".1"), "line 10\nline 11\nline 12\n");
    EXPECT_EQ(contents(path + ".2"), "line 07\nline 08\nline 09\n");
    EXPECT_EQ(contents(path + ".3"), "line 04\nline 05\nline 06\n");
    EXPECT_FALSE(QFileInfo::exists(path + ".4"));
}

} // namespace
