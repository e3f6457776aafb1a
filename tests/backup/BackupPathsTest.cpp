#include "backup/BackupPaths.h"

#include <gtest/gtest.h>

namespace {

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

} // namespace
