// What the package ships beside the programs: a desktop entry and metainfo that the desktop's
// own checkers accept, icons of the sizes their names promise, and the animated logo that the
// windows show, also copied beside the program in the build folder.
#include "tests/support/Peers.h"

#include <QFileInfo>
#include <QImage>
#include <QImageReader>
#include <gtest/gtest.h>

namespace {

QString shipped(const QString &name)
{
    return cvb::test::sourcePath(QStringLiteral("share/") + name);
}

} // namespace

TEST(ShippedFiles, TheDesktopEntriesAndTheMetainfoPassTheirValidators)
{
    for (const char *entry : {"example.corvale.Backup.desktop", "corvale-backup-autostart.desktop"}) {
        const auto result = cvb::test::runProcess(QStringLiteral("desktop-file-validate"),
                                                  {shipped(QString::fromLatin1(entry))}, 60000);
        EXPECT_EQ(result.exitCode, 0) << entry << result.out.toStdString() << result.err.toStdString();
        EXPECT_FALSE(result.out.contains("error")) << result.out.toStdString();
    }
    const auto metainfo =
        cvb::test::runProcess(QStringLiteral("appstreamcli"),
                              {QStringLiteral("validate"), QStringLiteral("--no-net"),
                               shipped(QStringLiteral("example.corvale.Backup.metainfo.xml"))},
                              60000);
    EXPECT_EQ(metainfo.exitCode, 0) << metainfo.out.toStdString() << metainfo.err.toStdString();
}

TEST(ShippedFiles, IconsHaveTheirSizesAndTheLogoIsAnAnimationBesideTheProgram)
{
    for (int size : {16, 22, 24, 32, 48, 64, 128, 256}) {
        const QImage icon(shipped(QStringLiteral("icons/corvale-backup-%1.png").arg(size)));
        EXPECT_EQ(icon.size(), QSize(size, size)) << size;
        EXPECT_TRUE(icon.hasAlphaChannel()) << size;
    }
    for (const QString &logo : {shipped(QStringLiteral("logo.gif")),
                                qEnvironmentVariable("CVB_BUILD_DIR") + QStringLiteral("/app/logo.gif")}) {
        QImageReader reader(logo);
        EXPECT_TRUE(reader.canRead()) << logo.toStdString();
        EXPECT_EQ(reader.size(), QSize(180, 120));
        EXPECT_GT(reader.imageCount(), 1);
    }
    EXPECT_TRUE(
        QFileInfo::exists(qEnvironmentVariable("CVB_BUILD_DIR") + QStringLiteral("/app/corvale-backup.png")));
}
