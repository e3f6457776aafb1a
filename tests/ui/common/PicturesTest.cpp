#include "ui/common/Pictures.h"

#include "tests/support/Files.h"

#include <QDir>
#include <QTemporaryDir>
#include <gtest/gtest.h>

TEST(Pictures, TheFirstFolderThatHoldsThePictureWinsAndNoneGivesNothing)
{
    QTemporaryDir current, program, installed;
    const QStringList folders{current.path(), program.path(), installed.path()};
    EXPECT_TRUE(cvb::pictureFile(QStringLiteral("logo.gif"), folders).isEmpty());

    cvb::test::writeFile(QDir(installed.path()).filePath(QStringLiteral("logo.gif")), "installed");
    EXPECT_EQ(cvb::pictureFile(QStringLiteral("logo.gif"), folders),
              QDir(installed.path()).filePath("logo.gif"));
    cvb::test::writeFile(QDir(current.path()).filePath(QStringLiteral("logo.gif")), "user's own");
    EXPECT_EQ(cvb::pictureFile(QStringLiteral("logo.gif"), folders),
              QDir(current.path()).filePath("logo.gif"));

    // A folder of that name is no picture.
    QDir(program.path()).mkdir(QStringLiteral("other.gif"));
    EXPECT_TRUE(cvb::pictureFile(QStringLiteral("other.gif"), folders).isEmpty());

    // The order: the current folder, the program's folder, the installed data folder.
    const QStringList standard = cvb::pictureFolders();
    ASSERT_EQ(standard.size(), 3);
    EXPECT_EQ(standard[0], QDir::currentPath());
    EXPECT_TRUE(standard[2].endsWith(QStringLiteral("/share/corvale-backup")));
}
