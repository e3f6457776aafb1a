// The rules of every folder copy that keep local names inside the chosen folder.
#include "remote/TreeCopy.h"

#include <gtest/gtest.h>

namespace {

using cvb::ListedName;

TEST(LocalNames, PathsLeavingTheBackupFolderAreRecognised)
{
    EXPECT_TRUE(cvb::staysInsideBackupFolder(QStringLiteral("site/img")));
    EXPECT_TRUE(cvb::staysInsideBackupFolder(QStringLiteral("..hidden/a..b")));
    EXPECT_TRUE(cvb::staysInsideBackupFolder(QString()));
    EXPECT_FALSE(cvb::staysInsideBackupFolder(QStringLiteral("..")));
    EXPECT_FALSE(cvb::staysInsideBackupFolder(QStringLiteral("site/../../etc")));
    EXPECT_FALSE(cvb::staysInsideBackupFolder(QStringLiteral("/etc")));
}

TEST(LocalNames, ListingLinesAreCopiedSkippedOrRefused)
{
    for (const char *copy : {"index.html", ".htaccess", "my file.txt", "..x", "a..b", "back\\slash"})
        EXPECT_EQ(cvb::classifyListedName(QString::fromLatin1(copy)), ListedName::Copy) << copy;
    for (const char *skip : {"", ".", "..", "site/.", "/www/site/.."})
        EXPECT_EQ(cvb::classifyListedName(QString::fromLatin1(skip)), ListedName::Skip) << skip;
    for (const char *refuse : {"/etc/passwd", "../up", "sub/file", "a/../b"})
        EXPECT_EQ(cvb::classifyListedName(QString::fromLatin1(refuse)), ListedName::Refuse) << refuse;
}

} // namespace
