#include "backup/BackupPaths.h"

#include <gtest/gtest.h>

namespace {

using cvb::ListedName;

TEST(BackupPaths, SourceFolderNameBecomesTheFirstLocalLevel)
{
    const QString site = QStringLiteral("/www/site");
    EXPECT_EQ(cvb::sourceBaseLength(site), 5);
    EXPECT_EQ(cvb::RelativeLocalPath(site, 5), QStringLiteral("site"));
    EXPECT_EQ(cvb::RelativeLocalPath(QStringLiteral("/www/site/img"), 5), QStringLiteral("site/img"));
    EXPECT_EQ(
        cvb::RelativeLocalPath(QStringLiteral("/cgi-bin"), cvb::sourceBaseLength(QStringLiteral("/cgi-bin"))),
        QStringLiteral("cgi-bin"));
    EXPECT_EQ(cvb::sourceLocalName(QStringLiteral("/www/index.html")), QStringLiteral("index.html"));
    EXPECT_EQ(cvb::sourceLocalName(QStringLiteral("noslash")), QStringLiteral("noslash"));
}

TEST(BackupPaths, ALaterFileSourceOfATakenNameGoesBelowItsRemotePath)
{
    EXPECT_EQ(cvb::remotePathPlace(QStringLiteral("/cgi-bin/index.html")), QStringLiteral("cgi-bin/index.html"));
    EXPECT_EQ(cvb::remotePathPlace(QStringLiteral("//www/a b/x.txt")), QStringLiteral("www/a b/x.txt"));
    for (const char *leaves : {"/www/../../etc/passwd", "/www/./x", "/www//x", "/"})
        EXPECT_EQ(cvb::remotePathPlace(QString::fromLatin1(leaves)), QString()) << leaves;
}

TEST(BackupPaths, PathsLeavingTheBackupFolderAreRecognised)
{
    EXPECT_TRUE(cvb::staysInsideBackupFolder(QStringLiteral("site/img")));
    EXPECT_TRUE(cvb::staysInsideBackupFolder(QStringLiteral("..hidden/a..b")));
    EXPECT_TRUE(cvb::staysInsideBackupFolder(QString()));
    EXPECT_FALSE(cvb::staysInsideBackupFolder(QStringLiteral("..")));
    EXPECT_FALSE(cvb::staysInsideBackupFolder(QStringLiteral("site/../../etc")));
    EXPECT_FALSE(cvb::staysInsideBackupFolder(QStringLiteral("/etc")));
}

TEST(BackupPaths, ListingLinesAreCopiedSkippedOrRefused)
{
    for (const char *copy : {"index.html", ".htaccess", "my file.txt", "..x", "a..b", "back\\slash"})
        EXPECT_EQ(cvb::classifyListedName(QString::fromLatin1(copy)), ListedName::Copy) << copy;
    for (const char *skip : {"", ".", "..", "site/.", "/www/site/.."})
        EXPECT_EQ(cvb::classifyListedName(QString::fromLatin1(skip)), ListedName::Skip) << skip;
    for (const char *refuse : {"/etc/passwd", "../up", "sub/file", "a/../b"})
        EXPECT_EQ(cvb::classifyListedName(QString::fromLatin1(refuse)), ListedName::Refuse) << refuse;
}

} // namespace
