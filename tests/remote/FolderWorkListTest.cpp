// The work list of every folder copy: first in first out, each folder with its local place and
// its depth.
#include "remote/TreeCopy.h"

#include <gtest/gtest.h>

namespace {

using cvb::FolderWorkList;
using cvb::kMaxFolderDepth;

TEST(LocalNames, NamesThatWouldLeaveTheFolderAreRefusedAndTheFolderItselfSkipped)
{
    bool refused = false;
    EXPECT_EQ(cvb::localPlace("/data", "index.html", &refused), "/data/index.html");
    EXPECT_FALSE(refused);
    for (const char *name : {"../outside.txt", "/etc/passwd", "sub/../x"}) {
        EXPECT_EQ(cvb::localPlace("/data", QString::fromLatin1(name), &refused), std::nullopt) << name;
        EXPECT_TRUE(refused) << name;
    }
    for (const char *name : {".", "..", ""}) {
        EXPECT_EQ(cvb::localPlace("/data", QString::fromLatin1(name), &refused), std::nullopt) << name;
        EXPECT_FALSE(refused) << name;
    }
}

TEST(FolderWorkList, FoldersAreTakenFirstInFirstOutWithTheirLocalFolders)
{
    FolderWorkList work("/data");
    EXPECT_TRUE(work.queue("/www", "www"));
    EXPECT_FALSE(work.queue("/../up", "../up"));
    EXPECT_EQ(work.size(), 1);
    const FolderWorkList::Folder top = work.takeFirst();
    EXPECT_EQ(top.remotePath, "/www");
    EXPECT_EQ(work.localFolder(top), "/data/www");
    // The server reports the folder as "/www"; its subfolders keep their place below "www".
    work.queueBelow(top, "/www", "images");
    work.queueBelow(top, "/www/", "css");
    const FolderWorkList::Folder first = work.takeFirst();
    EXPECT_EQ(first.remotePath, "/www/images");
    EXPECT_EQ(work.localFolder(first), "/data/www/images");
    EXPECT_EQ(work.takeFirst().remotePath, "/www/css");
    EXPECT_TRUE(work.isEmpty());
}

TEST(FolderWorkList, AFolderDownloadGoesNoDeeperThanTheFolderDepthLimit)
{
    FolderWorkList work("/data");
    ASSERT_TRUE(work.queue("/w", "w"));
    FolderWorkList::Folder folder = work.takeFirst();
    for (int level = 1; level <= kMaxFolderDepth; ++level) {
        EXPECT_FALSE(FolderWorkList::holdsTooDeep(folder)) << level;
        ASSERT_TRUE(work.queueBelow(folder, folder.remotePath, "d")) << level;
        folder = work.takeFirst();
        EXPECT_EQ(folder.depth, level);
    }
    EXPECT_TRUE(FolderWorkList::holdsTooDeep(folder));
    EXPECT_FALSE(work.queueBelow(folder, folder.remotePath, "d"));
    EXPECT_TRUE(work.isEmpty());
    EXPECT_EQ(folder.relative, "w" + QString("/d").repeated(kMaxFolderDepth));
}

} // namespace
