// cvb-ftp with an sftp:// server: the host key must be given with --trust (the refusal shows
// it), and ls, put and get work as over FTP.
#include "tests/support/Files.h"
#include "tests/support/Peers.h"
#include "tests/support/SshServer.h"

#include <QTemporaryDir>
#include <gtest/gtest.h>

namespace {

using cvb::test::runProcess;
using cvb::test::SshServer;

TEST(SftpTool, ListsPutsAndGetsWithTheTrustedHostKeyAndRefusesAnUnknownOneShowingIt)
{
    SshServer server;
    ASSERT_TRUE(server.isListening()) << server.error().toStdString();
    QTemporaryDir home;
    ASSERT_TRUE(server.installUserKey(home.path()));
    const QByteArray savedHome = qgetenv("HOME");
    qputenv("HOME", home.path().toLocal8Bit());
    qunsetenv("SSH_AUTH_SOCK");
    const QString tool = qEnvironmentVariable("CVB_BUILD_DIR") + QStringLiteral("/tools/cvb-ftp/cvb-ftp");
    const QStringList account{QStringLiteral("--user"), SshServer::keyUser()};
    const QStringList trusted =
        account + QStringList{QStringLiteral("--trust"), server.hostKeyFingerprint(), server.address()};

    const auto refused = runProcess(tool, account + QStringList{server.address(), QStringLiteral("ls")});
    EXPECT_EQ(refused.exitCode, 1);
    EXPECT_TRUE(refused.err.contains(server.hostKeyFingerprint().toUtf8())) << refused.err.toStdString();
    EXPECT_TRUE(refused.err.contains("--trust")) << refused.err.toStdString();

    QTemporaryDir local;
    ASSERT_TRUE(cvb::test::writeFile(local.filePath(QStringLiteral("page.html")), "<p>up and down</p>\n"));
    EXPECT_EQ(runProcess(tool, trusted + QStringList{QStringLiteral("put"),
                                                     local.filePath(QStringLiteral("page.html")),
                                                     QStringLiteral("page.html")})
                  .exitCode,
              0);
    const auto listed = runProcess(tool, trusted + QStringList{QStringLiteral("ls")});
    EXPECT_EQ(listed.out, "page.html\n") << listed.err.toStdString();
    EXPECT_EQ(runProcess(tool, trusted + QStringList{QStringLiteral("get"), QStringLiteral("page.html"),
                                                     local.filePath(QStringLiteral("back.html"))})
                  .exitCode,
              0);
    EXPECT_EQ(cvb::test::readFile(local.filePath(QStringLiteral("back.html"))), "<p>up and down</p>\n");
    qputenv("HOME", savedHome);
}

} // namespace
