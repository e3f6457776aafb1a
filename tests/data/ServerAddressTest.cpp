#include "data/ServerAddress.h"

#include <gtest/gtest.h>

namespace {

TEST(ServerAddress, HostAloneUsesTheDefaultPort)
{
    const cvb::ServerAddress a = cvb::readServerAddress(QStringLiteral(" ftp.example.org "), 21);
    ASSERT_TRUE(a.ok());
    EXPECT_EQ(a.host, QStringLiteral("ftp.example.org"));
    EXPECT_EQ(a.port, 21);
}

TEST(ServerAddress, PortAfterColonIsUsed)
{
    const cvb::ServerAddress a = cvb::readServerAddress(QStringLiteral("127.0.0.1:2121"), 21);
    ASSERT_TRUE(a.ok());
    EXPECT_EQ(a.host, QStringLiteral("127.0.0.1"));
    EXPECT_EQ(a.port, 2121);
    EXPECT_EQ(cvb::readServerAddress(QStringLiteral("mail.example.org: 587"), 25).port, 587);
    EXPECT_EQ(cvb::readServerAddress(QStringLiteral("h:65535"), 25).port, 65535);
}

TEST(ServerAddress, UnreadablePortIsAnErrorNamingTheValue)
{
    for (const char *bad : {"host:", "host:0", "host:65536", "host:ftp", "host:+21", "host:-1", "host:21:22",
                            "host:99999999999"}) {
        const cvb::ServerAddress a = cvb::readServerAddress(QString::fromLatin1(bad), 21);
        EXPECT_FALSE(a.ok()) << bad;
        EXPECT_TRUE(a.error.contains(QString::fromLatin1(bad))) << a.error.toStdString();
    }
}

TEST(ServerAddress, TheSchemeChoosesPlainTlsOrSftpAndFtpsAndSftpHaveTheirOwnDefaultPorts)
{
    using cvb::ServerSecurity;
    const struct
    {
        const char *text;
        ServerSecurity security;
        const char *host;
        int port;
    } cases[] = {
        {"ftp://ftp.example.org", ServerSecurity::Plain, "ftp.example.org", 21},
        {"FTPES://ftp.example.org:2121/", ServerSecurity::ExplicitTls, "ftp.example.org", 2121},
        {" ftpes://10.0.0.1", ServerSecurity::ExplicitTls, "10.0.0.1", 21},
        {"ftps://ftp.example.org", ServerSecurity::ImplicitTls, "ftp.example.org", 990},
        {"ftps://ftp.example.org:21", ServerSecurity::ImplicitTls, "ftp.example.org", 21},
        {"sftp://www.example.org", ServerSecurity::Ssh, "www.example.org", 22},
        {"SFTP://www.example.org:2222/", ServerSecurity::Ssh, "www.example.org", 2222},
    };
    for (const auto &c : cases) {
        const cvb::ServerAddress a = cvb::readServerAddress(QString::fromLatin1(c.text), 21);
        ASSERT_TRUE(a.ok()) << c.text << ": " << a.error.toStdString();
        EXPECT_EQ(a.security, c.security) << c.text;
        EXPECT_EQ(a.host, QString::fromLatin1(c.host)) << c.text;
        EXPECT_EQ(a.port, c.port) << c.text;
    }
    for (const char *bad : {"ssh://host", "http://host:80", "ftps://host:x", "sftp://host:x"}) {
        const cvb::ServerAddress a = cvb::readServerAddress(QString::fromLatin1(bad), 21);
        EXPECT_FALSE(a.ok()) << bad;
        EXPECT_TRUE(a.error.contains(QString::fromLatin1(bad))) << a.error.toStdString();
    }
}

TEST(ServerAddress, TheMailSchemeChoosesPlainStartTlsOrTlsWithTheirOwnDefaultPorts)
{
    using cvb::ServerSecurity;
    const struct
    {
        const char *text;
        ServerSecurity security;
        int port;
    } cases[] = {
        {"mail.example.org", ServerSecurity::Plain, 25},
        {"smtp://mail.example.org", ServerSecurity::Plain, 25},
        {"Submission://mail.example.org/", ServerSecurity::ExplicitTls, 587},
        {"submission://mail.example.org:2525", ServerSecurity::ExplicitTls, 2525},
        {"smtps://mail.example.org", ServerSecurity::ImplicitTls, 465},
    };
    for (const auto &c : cases) {
        const cvb::ServerAddress a = cvb::readMailServerAddress(QString::fromLatin1(c.text));
        ASSERT_TRUE(a.ok()) << c.text << ": " << a.error.toStdString();
        EXPECT_EQ(a.security, c.security) << c.text;
        EXPECT_EQ(a.host, QStringLiteral("mail.example.org")) << c.text;
        EXPECT_EQ(a.port, c.port) << c.text;
    }
    // An FTP scheme would not make the mail encrypted: it is refused, not ignored.
    for (const char *bad : {"ftps://mail.example.org", "ftpes://mail.example.org", "sftp://mail.example.org",
                            "smtps://host:x"}) {
        const cvb::ServerAddress a = cvb::readMailServerAddress(QString::fromLatin1(bad));
        EXPECT_FALSE(a.ok()) << bad;
        EXPECT_TRUE(a.error.contains(QString::fromLatin1(bad))) << a.error.toStdString();
    }
    EXPECT_TRUE(cvb::readMailServerAddress(QStringLiteral("ftp://h"))
                    .error.contains(QStringLiteral("submission://")));
}

} // namespace
