// The manual pages and the --help texts of the program and its tools say the same: every option
// of one is in the other, and --help is a clean answer (standard output, exit 0, a final newline).
#include "tests/support/Peers.h"

#include <QFile>
#include <QRegularExpression>
#include <QSet>
#include <gtest/gtest.h>

namespace {

struct Program
{
    const char *name;
    const char *buildPath; // below the build folder
};

const Program Programs[] = {
    {"corvale-backup", "/app/corvale-backup"},
    {"cvb-dbf", "/tools/cvb-dbf/cvb-dbf"},
    {"cvb-ftp", "/tools/cvb-ftp/cvb-ftp"},
    {"cvb-encode", "/tools/cvb-encode/cvb-encode"},
};

QSet<QString> longOptions(const QString &text)
{
    QSet<QString> options;
    static const QRegularExpression option(QStringLiteral("(?<![\\w-])--[a-z][a-z-]*[a-z]"));
    for (const auto &match : option.globalMatch(text))
        options.insert(match.captured());
    return options;
}

QString manPageText(const char *name)
{
    QFile page(cvb::test::sourcePath(QStringLiteral("share/man/%1.1").arg(QLatin1String(name))));
    if (!page.open(QIODevice::ReadOnly))
        return {};
    // The page's own escapes: "\-" is a hyphen, "\fB" and the like switch fonts.
    QString text = QString::fromUtf8(page.readAll());
    text.replace(QStringLiteral("\\-"), QStringLiteral("-"));
    text.remove(QRegularExpression(QStringLiteral("\\\\f[BIRP]")));
    return text;
}

} // namespace

TEST(ManPages, EveryOptionOfTheHelpIsInThePageAndTheOtherWayRound)
{
    for (const Program &p : Programs) {
        SCOPED_TRACE(p.name);
        const auto help =
            cvb::test::runProcess(qEnvironmentVariable("CVB_BUILD_DIR") + QLatin1String(p.buildPath),
                                  {QStringLiteral("--help")}, 60000);
        ASSERT_EQ(help.exitCode, 0) << help.err.toStdString();
        EXPECT_TRUE(help.err.isEmpty()) << help.err.toStdString();
        EXPECT_TRUE(help.out.endsWith('\n'));

        const QString page = manPageText(p.name);
        ASSERT_FALSE(page.isEmpty()) << "no manual page";
        EXPECT_TRUE(page.contains(QStringLiteral(".SH SYNOPSIS")));
        const QSet<QString> inHelp = longOptions(QString::fromUtf8(help.out));
        const QSet<QString> inPage = longOptions(page);
        EXPECT_TRUE(inHelp.contains(QStringLiteral("--help")) &&
                    inHelp.contains(QStringLiteral("--version")));
        for (const QString &option : inHelp)
            EXPECT_TRUE(inPage.contains(option))
                << option.toStdString() << " is missing from the manual page";
        for (const QString &option : inPage)
            EXPECT_TRUE(inHelp.contains(option)) << option.toStdString() << " is not in --help";

        const auto version =
            cvb::test::runProcess(qEnvironmentVariable("CVB_BUILD_DIR") + QLatin1String(p.buildPath),
                                  {QStringLiteral("--version")}, 60000);
        EXPECT_EQ(version.exitCode, 0);
        EXPECT_EQ(version.out, QByteArray(p.name) + " " CVB_VERSION "\n");
    }
}
