// cvb-ftp, the command-line client, against a real server.
#include "tests/support/FtpServer.h"
#include "tests/support/Peers.h"
#include "tests/support/TestCertificate.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>

using cvb::test::ProcessResult;
using cvb::test::PyFtpServer;

using cvb::test::readFile;
using cvb::test::writeFile;

namespace {

QString tool()
{
    return qEnvironmentVariable("CVB_BUILD_DIR") + QStringLiteral("/tools/cvb-ftp/cvb-ftp");
}

class FtpTool : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(QFile::exists(tool())) << tool().toStdString();
        ASSERT_TRUE(server.isListening()) << server.error().toStdString();
    }

    ProcessResult run(const QStringList &args, bool passive = false)
    {
        QStringList all{"--user",          server.user(), "--password",
                        server.password(), "--port",      QString::number(server.port())};
        if (passive)
            all << "--passive";
        return cvb::test::runProcess(tool(), all + args);
    }

    PyFtpServer server;
    QTemporaryDir local;
};

} // namespace

TEST_F(FtpTool, EveryCommandAgainstARealServer)
{
    QFile src(local.filePath("notes.txt"));
    ASSERT_TRUE(src.open(QIODevice::WriteOnly));
    src.write("line one\nline two\n");
    src.close();

    EXPECT_EQ(run({"127.0.0.1", "mkdir", "docs"}).exitCode, 0);
    EXPECT_EQ(run({"127.0.0.1", "put", local.filePath("notes.txt"), "docs/notes.txt"}, true).exitCode, 0);
    EXPECT_EQ(readFile(server.path("docs/notes.txt")), "line one\nline two\n");

    ProcessResult r = run({"127.0.0.1", "ls", "docs"});
    EXPECT_EQ(r.exitCode, 0) << r.err.toStdString();
    EXPECT_TRUE(r.out.contains("notes.txt")) << r.out.toStdString();

    EXPECT_EQ(run({"127.0.0.1", "mv", "docs/notes.txt", "docs/renamed.txt"}).exitCode, 0);
    r = run({"--ascii", "127.0.0.1", "get", "docs/renamed.txt", local.filePath("back.txt")});
    EXPECT_EQ(r.exitCode, 0) << r.err.toStdString();
    EXPECT_EQ(readFile(local.filePath("back.txt")), "line one\nline two\n");

    // get without a local name stores the file under its own name in the current folder.
    r = cvb::test::runProcess(QStringLiteral("/bin/sh"),
                              {"-c",
                               "cd \"$1\" && \"$2\" --port \"$3\" --user \"$4\" --password "
                               "\"$5\" 127.0.0.1 get docs/renamed.txt",
                               "sh", local.path(), tool(), QString::number(server.port()), server.user(),
                               server.password()});
    EXPECT_EQ(r.exitCode, 0) << r.err.toStdString();
    EXPECT_EQ(readFile(local.filePath("renamed.txt")), "line one\nline two\n");

    EXPECT_EQ(run({"127.0.0.1", "rm", "docs/renamed.txt"}).exitCode, 0);
    EXPECT_EQ(run({"127.0.0.1", "rmdir", "docs"}).exitCode, 0);
    EXPECT_FALSE(QDir(server.root()).exists("docs"));
}

TEST_F(FtpTool, TraceHidesThePassword)
{
    const ProcessResult r = run({"--trace", "127.0.0.1", "ls"});
    EXPECT_EQ(r.exitCode, 0);
    const QString trace = QString::fromUtf8(r.err);
    EXPECT_TRUE(trace.contains("INFO: Connecting to FTP server.")) << trace.toStdString();
    EXPECT_TRUE(trace.contains("CLIENT: USER " + server.user()));
    EXPECT_TRUE(trace.contains("CLIENT: PASS ********"));
    EXPECT_FALSE(trace.contains(server.password()));
    EXPECT_TRUE(trace.contains("SERVER: 230 "));
    EXPECT_TRUE(trace.contains("CLIENT: NLST"));
}

TEST_F(FtpTool, ExitStatusForFtpAndUsageErrors)
{
    ProcessResult r = run({"127.0.0.1", "get", "missing.bin", local.filePath("x")});
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_TRUE(r.err.startsWith("cvb-ftp: 141: 550 ")) << r.err.toStdString();

    r = cvb::test::runProcess(tool(), {"--port", QString::number(cvb::test::freePort()), "127.0.0.1", "ls"});
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_TRUE(r.err.contains("10061: [10061] Connection refused.")) << r.err.toStdString();

    for (const QStringList &args :
         {QStringList{}, QStringList{"127.0.0.1"}, QStringList{"127.0.0.1", "fetch", "x"},
          QStringList{"127.0.0.1", "mv", "a"}, QStringList{"--port", "70000", "127.0.0.1", "ls"},
          QStringList{"--port"}, QStringList{"--verbose", "127.0.0.1", "ls"}}) {
        r = cvb::test::runProcess(tool(), args);
        EXPECT_EQ(r.exitCode, 2) << args.join(' ').toStdString();
        EXPECT_TRUE(r.err.contains("usage: cvb-ftp")) << r.err.toStdString();
    }
}

// A local file that cannot take the download fails it, even though the server sent everything.
TEST_F(FtpTool, GetFailsWhenTheLocalFileCannotBeWritten)
{
    writeFile(server.path("big.bin"), QByteArray(300000, 'b'));
    const QString target = local.filePath("big.bin");
    const auto r = cvb::test::runProcess(
        "/bin/bash", {"-c", "ulimit -f 100; trap '' XFSZ; exec \"$0\" \"$@\"", tool(), "--user",
                      server.user(), "--password", server.password(), "--port",
                      QString::number(server.port()), "127.0.0.1", "get", "big.bin", target});
    EXPECT_EQ(r.exitCode, 1) << r.err.toStdString();
    EXPECT_TRUE(r.err.contains("File too large")) << r.err.toStdString();

    // A local path in a folder that does not exist: the open fails, and says so.
    const auto missing = run({"127.0.0.1", "get", "big.bin", local.filePath("no/such/folder/big.bin")});
    EXPECT_EQ(missing.exitCode, 1);
    EXPECT_TRUE(missing.err.contains("No such file or directory")) << missing.err.toStdString();
}

// The password may stay off the command line: from standard input, or from the environment.
TEST_F(FtpTool, ThePasswordComesFromStandardInputOrTheEnvironment)
{
    writeFile(server.path("hello.txt"), "hi");
    const QStringList base{"--user", server.user(), "--port", QString::number(server.port())};
    auto r = cvb::test::runProcess(tool(), base + QStringList{"--password-stdin", "127.0.0.1", "ls"}, 60000,
                                   server.password().toUtf8() + "\n");
    EXPECT_EQ(r.exitCode, 0) << r.err.toStdString();
    EXPECT_TRUE(r.out.contains("hello.txt"));

    r = cvb::test::runProcess(tool(), base + QStringList{"--password-stdin", "127.0.0.1", "ls"}, 60000,
                              "wrong\n");
    EXPECT_EQ(r.exitCode, 1) << "a wrong password from standard input is used as given";

    qputenv("CVB_FTP_PASSWORD", server.password().toUtf8());
    r = cvb::test::runProcess(tool(), base + QStringList{"127.0.0.1", "ls"}, 60000);
    qunsetenv("CVB_FTP_PASSWORD");
    EXPECT_EQ(r.exitCode, 0) << r.err.toStdString();
    EXPECT_TRUE(r.out.contains("hello.txt"));
}

// A refused certificate's message gives the fingerprint that --trust takes, in either form.
TEST(FtpToolTls, TrustTakesTheFingerprintThatTheRefusalShowed)
{
    cvb::test::TestCertificate cert;
    ASSERT_TRUE(cert.ok()) << cert.error().toStdString();
    PyFtpServer server(QStringLiteral("tester"), QStringLiteral("secret"), cert.pemFile());
    ASSERT_TRUE(server.isListening()) << server.error().toStdString();
    ASSERT_TRUE(writeFile(server.path("hello.txt"), "hello\n"));
    const QString url = QStringLiteral("ftpes://127.0.0.1:%1").arg(server.port());
    const QStringList account{"--user", server.user(), "--password", server.password(), "--passive"};

    const ProcessResult refused = cvb::test::runProcess(tool(), account + QStringList{url, "ls"});
    EXPECT_EQ(refused.exitCode, 1);
    const QString message = QString::fromUtf8(refused.err);
    EXPECT_TRUE(message.contains(cert.fingerprint())) << message.toStdString();
    const QString shortForm =
        message.mid(message.indexOf(QStringLiteral("SHA256:"))).section(QLatin1Char(' '), 0, 0);

    for (const QString &trust :
         {cert.fingerprint(), shortForm, QString(cert.fingerprint()).remove(':').toLower()}) {
        const ProcessResult listed =
            cvb::test::runProcess(tool(), account + QStringList{"--trust", trust, url, "ls"});
        EXPECT_EQ(listed.exitCode, 0) << trust.toStdString() << ": " << listed.err.toStdString();
        EXPECT_EQ(listed.out, "hello.txt\n");
    }
    EXPECT_EQ(cvb::test::runProcess(tool(), account + QStringList{"--trust", "AB:CD", url, "ls"}).exitCode,
              2);
}
