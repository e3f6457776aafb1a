// Backups against servers whose TLS fails, scripted on loopback.
#include "tests/backup/BackupHarness.h"
#include "tests/support/ScriptedServer.h"

#include <gtest/gtest.h>

namespace {

using cvb::test::BackupHarness;

// A server that agrees to TLS and then drops the handshake gets one log-on, not one per source:
// the source fails with the log-on's own error, and no second connection is made.
TEST(BackupTls, AFailedHandshakeIsNotFollowedByASecondLogOn)
{
    cvb::test::ScriptedServer server;
    server.Send("220 ready\r\n").ExpectLine("AUTH TLS").Send("234 go ahead\r\n").Close();
    server.Start();
    BackupHarness h;
    h.setConnection(QStringLiteral("ftpes://127.0.0.1:%1").arg(server.Port()), QStringLiteral("user"),
                    QStringLiteral("pw"));
    h.addProfile({QStringLiteral("Tls")});
    h.addSource(QStringLiteral("Tls"), QStringLiteral("/www/index.html"), QStringLiteral("Binary"));
    h.enqueue(QStringLiteral("Tls"));
    const auto closed = h.runQueue();
    ASSERT_EQ(closed.size(), 1u);
    EXPECT_FALSE(closed[0].ok);
    ASSERT_TRUE(server.WaitDone());
    EXPECT_FALSE(server.ConnectionWaiting());

    const QStringList rows = h.eventsOf(QStringLiteral("Tls"));
    const QString all = rows.join(QLatin1Char('\n'));
    const QStringList failures = rows.filter(QStringLiteral("EXCEPTION: "));
    ASSERT_EQ(failures.size(), 2) << all.toStdString();
    EXPECT_TRUE(failures[0].startsWith(QStringLiteral("EXCEPTION: 330: "))) << all.toStdString();
    EXPECT_EQ(failures[1], failures[0]);
    EXPECT_TRUE(
        rows.contains(QStringLiteral("Download of file : /www/index.html may not have been successful!")))
        << all.toStdString();
    EXPECT_FALSE(all.contains(QStringLiteral("301"))) << all.toStdString();
}

} // namespace
