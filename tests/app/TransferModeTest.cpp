#include "data/TransferMode.h"

#include <gtest/gtest.h>

using namespace cvb;

TEST(TransferMode, TheExtensionListHasItsFiveEntriesInOrder)
{
    EXPECT_EQ(defaultAsciiExtensions(), (QStringList{"dat", "htm", "tml", "txt", "tml"}));
}

TEST(TransferMode, ChoosesByTheLastThreeCharactersOfNamesThatHaveAnExtension)
{
    struct Case
    {
        const char *name;
        TransferMode mode;
    };
    const Case cases[] = {
        {"index.html", TransferMode::Ascii},
        {"page.shtml", TransferMode::Ascii},
        {"data.dat", TransferMode::Ascii},
        {"notes.txt", TransferMode::Ascii},
        {"INDEX.HTM", TransferMode::Ascii},
        {"x.bdat", TransferMode::Ascii}, // the dot takes no part
        {"logo.gif", TransferMode::Binary},
        {"site.tar.gz", TransferMode::Binary},
        {"a.gz", TransferMode::Binary},
        {".htaccess", TransferMode::Binary},
        {"notes.text", TransferMode::Binary}, // "ext" is not listed
        // No extension: fewer than 4 characters, or no dot at all, always goes as ASCII.
        {"a.c", TransferMode::Ascii},
        {"README", TransferMode::Ascii},
        {"archive_zip", TransferMode::Ascii},
        {"", TransferMode::Ascii},
    };
    for (const Case &c : cases)
        EXPECT_EQ(transferModeFor(QString::fromUtf8(c.name)), c.mode) << c.name;
}

TEST(TransferMode, HasExtensionNeedsFourCharactersAndADot)
{
    EXPECT_TRUE(HasExtension(QStringLiteral("a.gz")));
    EXPECT_TRUE(HasExtension(QStringLiteral("dir.d/file")));
    EXPECT_FALSE(HasExtension(QStringLiteral(".gz")));
    EXPECT_FALSE(HasExtension(QStringLiteral("abcd")));
}

TEST(TransferMode, UsesTheListItIsGiven)
{
    const QStringList onlyCss{QStringLiteral("css")};
    EXPECT_EQ(transferModeFor(QStringLiteral("style.css"), onlyCss), TransferMode::Ascii);
    EXPECT_EQ(transferModeFor(QStringLiteral("index.html"), onlyCss), TransferMode::Binary);
}

TEST(TransferMode, StoredTextsAreASCIIAndBinaryAndOnlyBinaryMeansBinary)
{
    EXPECT_EQ(transferModeText(TransferMode::Ascii), QStringLiteral("ASCII"));
    EXPECT_EQ(transferModeText(TransferMode::Binary), QStringLiteral("Binary"));
    EXPECT_EQ(transferModeFromText(QStringLiteral("Binary")), TransferMode::Binary);
    for (const char *other : {"ASCII", "", "binary", "BINARY", "Binary ", "Text"})
        EXPECT_EQ(transferModeFromText(QString::fromUtf8(other)), TransferMode::Ascii) << other;
}
