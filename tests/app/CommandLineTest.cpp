#include "app/CommandLine.h"

#include <gtest/gtest.h>

using namespace cvb;

TEST(CommandLine, ReadsEveryOption)
{
    const CommandLine none = parseCommandLine({});
    EXPECT_TRUE(none.error.isEmpty());
    EXPECT_TRUE(none.dataFolder.isEmpty());
    EXPECT_FALSE(none.background);

    const CommandLine all =
        parseCommandLine({"--background", "--data", "/tmp/some folder", "--help", "--version"});
    EXPECT_TRUE(all.error.isEmpty());
    EXPECT_EQ(all.dataFolder, QStringLiteral("/tmp/some folder"));
    EXPECT_TRUE(all.background);
    EXPECT_TRUE(all.help);
    EXPECT_TRUE(all.version);

    EXPECT_EQ(parseCommandLine({"--data=/srv/cvb"}).dataFolder, QStringLiteral("/srv/cvb"));
    EXPECT_EQ(parseCommandLine({"--run-profile", "My Site"}).runProfile, QStringLiteral("My Site"));
    EXPECT_EQ(parseCommandLine({"--run-profile=--data"}).runProfile, QStringLiteral("--data"));
    const CommandLine print = parseCommandLine({"--print-log", "log.pdf", "--data", "/srv/cvb"});
    EXPECT_TRUE(print.error.isEmpty());
    EXPECT_EQ(print.printLog, QStringLiteral("log.pdf"));
    EXPECT_EQ(print.dataFolder, QStringLiteral("/srv/cvb"));
    EXPECT_EQ(parseCommandLine({"--print-log=a b.pdf"}).printLog, QStringLiteral("a b.pdf"));
    const CommandLine mail = parseCommandLine({"--data", "/srv/cvb", "--test-mail"});
    EXPECT_TRUE(mail.error.isEmpty());
    EXPECT_TRUE(mail.testMail);
    EXPECT_FALSE(none.testMail);
    EXPECT_EQ(parseCommandLine({"--verify", "/srv/backup/A"}).verify, QStringLiteral("/srv/backup/A"));
}

TEST(CommandLine, RefusesWhatItDoesNotKnow)
{
    for (const QStringList &args : QList<QStringList>{{"--bogus"},
                                                      {"stray"},
                                                      {"--data"},
                                                      {"--data="},
                                                      {"--data", ""},
                                                      {"--background", "-x"},
                                                      {"--run-profile"},
                                                      {"--run-profile="},
                                                      {"--run-profile", ""},
                                                      {"--print-log"},
                                                      {"--print-log="},
                                                      {"--print-log", "a.pdf", "--run-profile", "Site"},
                                                      {"--test-mail", "--run-profile", "Site"},
                                                      {"--test-mail", "--print-log", "a.pdf"},
                                                      {"--verify"},
                                                      {"--verify", "A", "--run-profile", "Site"}}) {
        const CommandLine result = parseCommandLine(args);
        EXPECT_FALSE(result.error.isEmpty()) << args.join(' ').toStdString();
    }
    EXPECT_TRUE(parseCommandLine({"--bogus"}).error.contains(QStringLiteral("--bogus")));
}

TEST(CommandLine, UsageNamesEveryOption)
{
    for (const char *option : {"--data DIR", "--background", "--run-profile NAME", "--print-log FILE.pdf",
                               "--verify FOLDER", "--test-mail", "--help", "--version"})
        EXPECT_TRUE(usageText().contains(QString::fromUtf8(option))) << option;
}
