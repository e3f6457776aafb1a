// What the set-up commands install: ./run.sh what the program needs, ./test.sh the test tools
// besides, and never a package that brings a system service.
#include "tests/support/Peers.h"

#include <QSet>
#include <gtest/gtest.h>

namespace {

QSet<QString> packagesOf(const QStringList &choice)
{
    const auto r =
        cvb::test::runProcess(QStringLiteral("/bin/bash"),
                              QStringList{cvb::test::sourcePath(QStringLiteral("scripts/install-deps.sh"))} +
                                  choice + QStringList{QStringLiteral("--print")});
    EXPECT_EQ(r.exitCode, 0) << r.err.toStdString();
    QSet<QString> packages;
    for (const QString &line : QString::fromUtf8(r.out).split(QLatin1Char('\n'), Qt::SkipEmptyParts))
        packages.insert(line);
    return packages;
}

TEST(SetUp, RunningTheProgramInstallsNoTestToolAndNothingInstallsAServer)
{
    const QSet<QString> program = packagesOf({});
    EXPECT_TRUE(program.contains(QStringLiteral("qt6-base-dev")));
    for (const char *tool : {"vsftpd", "lftp", "lintian", "socat", "netcat-openbsd", "libgtest-dev",
                             "libgmock-dev", "python3-pyftpdlib", "python3-aiosmtpd", "curl", "fakeroot"})
        EXPECT_FALSE(program.contains(QString::fromLatin1(tool))) << tool;

    const QSet<QString> tests = packagesOf({QStringLiteral("--tests")});
    EXPECT_TRUE(tests.contains(program));
    EXPECT_TRUE(tests.contains(QStringLiteral("libgtest-dev")));
    // Every choice together: still no FTP server package (the tests unpack vsftpd's binary).
    const QSet<QString> all =
        packagesOf({QStringLiteral("--tests"), QStringLiteral("--bench"), QStringLiteral("--package")});
    for (const char *server : {"vsftpd", "proftpd-core", "pure-ftpd", "inetutils-ftpd", "ftpd-ssl", "ftpd"})
        EXPECT_FALSE(all.contains(QString::fromLatin1(server))) << server;
}

} // namespace
