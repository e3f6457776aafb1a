// FTP over TLS against real servers on loopback, each with a certificate made for the test:
// pyftpdlib's TLS handler (which resets a data connection whose handshake starts before its 1xx
// reply) and vsftpd (which refuses a data connection that does not resume the control
// connection's TLS session), in active and passive mode.
#include "ftp/FtpClient.h"
#include "tests/support/FtpServer.h"
#include "tests/support/Peers.h"
#include "tests/support/ScriptedServer.h"
#include "tests/support/TestCertificate.h"

#include <QDir>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTimer>
#include <gtest/gtest.h>

#include <memory>

using namespace cvb;
using cvb::test::randomBytes;
using cvb::test::readFile;
using cvb::test::TestCertificate;
using cvb::test::writeFile;

namespace {

// One TLS server: where its files live, its port and its account.
struct TlsPeer
{
    QString root;
    int port = 0;
    QString user;
    QString password;
    QString incoming; // the folder that takes uploads, relative to the root
};

enum class Server { Pyftpdlib, Vsftpd };

class TlsServers
{
public:
    explicit TlsServers(Server kind, bool implicitTls = false) : m_kind(kind)
    {
        if (kind == Server::Pyftpdlib) {
            m_py = std::make_unique<cvb::test::PyFtpServer>(QStringLiteral("tester"),
                                                            QStringLiteral("secret"), cert.pemFile());
            peer = {m_py->root(), m_py->port(), m_py->user(), m_py->password(), QString()};
            return;
        }
        const QString root = m_site.filePath(QStringLiteral("site"));
        QDir().mkpath(root + QStringLiteral("/incoming"));
        QFile::setPermissions(root + QStringLiteral("/incoming"), QFileDevice::Permissions(0x7777));
        m_vs = std::make_unique<cvb::test::VsftpdServer>(root, cert.pemFile(), implicitTls);
        peer = {root, m_vs->port(), QStringLiteral("anonymous"), QStringLiteral("tester@example.com"),
                QStringLiteral("incoming/")};
    }
    bool listening() const { return m_py ? m_py->isListening() : m_vs->isListening(); }
    QString error() const { return cert.error() + (m_py ? m_py->error() : m_vs->error()); }

    TestCertificate cert;
    TlsPeer peer;

private:
    Server m_kind;
    QTemporaryDir m_site;
    std::unique_ptr<cvb::test::PyFtpServer> m_py;
    std::unique_ptr<cvb::test::VsftpdServer> m_vs;
};

void prepare(TcvbFTP &ftp, const TlsPeer &peer, TFTPSecurity security, QStringList *trace)
{
    ftp.SetWinsockLoaded(true);
    ftp.SetControlPort(std::uint16_t(peer.port));
    ftp.SetRemoteHost(QStringLiteral("127.0.0.1"));
    ftp.SetServerName(QStringLiteral("localhost"));
    ftp.SetUser(peer.user);
    ftp.SetPassword(peer.password);
    ftp.SetSecurity(security);
    ftp.OnFirePITrail = [trace](QObject *, int direction, const QString &message) {
        *trace << QString::number(direction) + QLatin1Char(' ') + message;
    };
}

using Param = std::tuple<Server, bool>;

class FtpTls : public ::testing::TestWithParam<Param>
{
protected:
    FtpTls() : servers(std::get<0>(GetParam())) {}
    void SetUp() override
    {
        ASSERT_TRUE(servers.listening()) << servers.error().toStdString();
        prepare(ftp, servers.peer, ftpsExplicit, &trace);
        ftp.SetTrustedFingerprint(servers.cert.fingerprint());
        ftp.SetPassive(std::get<1>(GetParam()));
        ftp.OnError = [](QObject *, int code, const QString &text) {
            ADD_FAILURE() << "OnError " << code << ": " << text.toStdString();
        };
    }

    void transfer(int action, const QString &localFile, const QString &remoteFile)
    {
        ftp.SetLocalFile(localFile);
        ftp.SetRemoteFile(remoteFile);
        ftp.SetAction(action);
    }

    TlsServers servers;
    TcvbFTP ftp;
    QStringList trace;
    QTemporaryDir local;
};

} // namespace

INSTANTIATE_TEST_SUITE_P(Servers, FtpTls,
                         ::testing::Combine(::testing::Values(Server::Pyftpdlib, Server::Vsftpd),
                                            ::testing::Bool()),
                         [](const auto &info) {
                             return std::string(std::get<0>(info.param) == Server::Vsftpd ? "Vsftpd"
                                                                                          : "Pyftpdlib") +
                                    (std::get<1>(info.param) ? "Passive" : "Active");
                         });

TEST_P(FtpTls, LogOnListingAndBothTransferModesGoEncryptedByteForByte)
{
    const TlsPeer &peer = servers.peer;
    const QByteArray binary = randomBytes(3 * 1024 * 1024 + 11, 3);
    const QByteArray text("first line\nsecond line\n\nlast line without end");
    ASSERT_TRUE(writeFile(local.filePath("up.bin"), binary));
    ASSERT_TRUE(writeFile(local.filePath("up.txt"), text));

    ftp.SetAction(ftpLogon);
    EXPECT_TRUE(ftp.PeerCertificate().fingerprint == servers.cert.fingerprint());
    ftp.SetTransferMode(tmBinary);
    transfer(ftpUpload, local.filePath("up.bin"), peer.incoming + QStringLiteral("up.bin"));
    EXPECT_TRUE(readFile(peer.root + QStringLiteral("/") + peer.incoming + QStringLiteral("up.bin")) ==
                binary);
    transfer(ftpDownload, local.filePath("down.bin"), peer.incoming + QStringLiteral("up.bin"));
    EXPECT_TRUE(readFile(local.filePath("down.bin")) == binary);

    ftp.SetTransferMode(tmASCII);
    transfer(ftpUpload, local.filePath("up.txt"), peer.incoming + QStringLiteral("up.txt"));
    transfer(ftpDownload, local.filePath("down.txt"), peer.incoming + QStringLiteral("up.txt"));
    EXPECT_EQ(readFile(local.filePath("down.txt")), text);

    QStringList names;
    ftp.OnDirList = [&](QObject *, const QString &entry) { names << QFileInfo(entry).fileName(); };
    transfer(ftpListDirectory, {}, peer.incoming);
    names.sort();
    EXPECT_EQ(names, (QStringList{QStringLiteral("up.bin"), QStringLiteral("up.txt")}));
    ftp.SetAction(ftpLogoff);

    const QString all = trace.join(QLatin1Char('\n'));
    EXPECT_TRUE(all.contains(QStringLiteral("0 AUTH TLS\n1 234"))) << all.toStdString();
    EXPECT_TRUE(
        all.contains(QRegularExpression(QStringLiteral("2 TLS established: TLSv1\\.[23], cipher \\S+"))))
        << all.toStdString();
    EXPECT_TRUE(all.contains(QStringLiteral("0 PROT P"))) << all.toStdString();
    EXPECT_FALSE(all.contains(peer.password)) << all.toStdString();
}

// Urgent data cannot travel inside TLS: ABOR goes alone, and the session stays in step.
TEST_P(FtpTls, AnAbortedDownloadLeavesTheSessionInStep)
{
    ASSERT_TRUE(writeFile(servers.peer.root + QStringLiteral("/long.bin"), randomBytes(40 * 1024 * 1024, 4)));
    QFile::setPermissions(servers.peer.root + QStringLiteral("/long.bin"), QFileDevice::Permissions(0x6444));
    bool aborted = false;
    ftp.OnTransfer = [&](QObject *, std::int64_t, const QByteArray &) {
        if (!aborted) {
            aborted = true;
            ftp.SetAction(ftpAbort);
        }
    };
    ftp.OnError = nullptr; // the data connection ends without its TLS close, as it should
    try {
        transfer(ftpDownload, local.filePath("long.bin"), QStringLiteral("long.bin"));
        ADD_FAILURE() << "the download was not aborted";
    } catch (const EcvbFTP &e) {
        EXPECT_EQ(e.Code(), 301) << e.Message().toStdString();
    }
    ftp.OnTransfer = nullptr;
    QStringList names;
    ftp.OnDirList = [&](QObject *, const QString &entry) { names << QFileInfo(entry).fileName(); };
    transfer(ftpListDirectory, {}, {});
    EXPECT_TRUE(names.contains(QStringLiteral("long.bin"))) << trace.join('\n').toStdString();
    EXPECT_EQ(ftp.RemotePath(), QStringLiteral("/")) << trace.join('\n').toStdString();
}

TEST(FtpTlsImplicit, VsftpdSpeaksTlsFromTheFirstByte)
{
    TlsServers servers(Server::Vsftpd, true);
    ASSERT_TRUE(servers.listening()) << servers.error().toStdString();
    const QByteArray content = randomBytes(200000, 5);
    ASSERT_TRUE(writeFile(servers.peer.root + QStringLiteral("/file.bin"), content));
    QFile::setPermissions(servers.peer.root + QStringLiteral("/file.bin"), QFileDevice::Permissions(0x6444));
    TcvbFTP ftp;
    QStringList trace;
    prepare(ftp, servers.peer, ftpsImplicit, &trace);
    ftp.SetTrustedFingerprint(servers.cert.fingerprint());
    ftp.SetPassive(true);
    QTemporaryDir local;
    ftp.SetRemoteFile(QStringLiteral("file.bin"));
    ftp.SetLocalFile(local.filePath(QStringLiteral("file.bin")));
    ftp.SetTransferMode(tmBinary);
    ftp.SetAction(ftpDownload);
    EXPECT_TRUE(readFile(local.filePath(QStringLiteral("file.bin"))) == content);
    // The greeting itself came encrypted, after the handshake.
    EXPECT_LT(trace.indexOf(QRegularExpression(QStringLiteral("2 TLS established.*"))),
              trace.indexOf(QRegularExpression(QStringLiteral("1 220.*"))))
        << trace.join('\n').toStdString();
}

// A server that answers AUTH TLS with 500, and one that accepts it and then never answers the
// handshake (that wait ends at the handshake's own limit, long before the idle limit, and says
// so): neither sees the account.
TEST(FtpTlsRefused, AServerThatRefusesOrStallsTlsNeverSeesTheAccount)
{
    const struct
    {
        QByteArray reply;
        int code;
        QString text;
    } cases[] = {{"500 AUTH not understood", kFtpTlsRefused, QStringLiteral("500 AUTH not understood")},
                 {"234 go ahead", kTlsTimedOut, QStringLiteral("TLS handshake with localhost:")}};
    for (const auto &c : cases) {
        cvb::test::ScriptedServer server;
        server.Send("220 ready\r\n").ExpectLine("AUTH TLS").Send(c.reply + "\r\n").ReadToEnd();
        server.Start();
        TcvbFTP ftp;
        QStringList trace;
        prepare(ftp, {QString(), server.Port(), QStringLiteral("user"), QStringLiteral("pw"), QString()},
                ftpsExplicit, &trace);
        ftp.SetTlsHandshakeLimit(1);
        try {
            ftp.SetAction(ftpLogon);
            ADD_FAILURE() << "log-on succeeded";
        } catch (const EcvbFTP &e) {
            EXPECT_EQ(e.Code(), c.code);
            EXPECT_TRUE(e.Text().contains(c.text)) << e.Text().toStdString();
        }
        EXPECT_FALSE(ftp.Connected());
        ASSERT_TRUE(server.WaitDone());
        EXPECT_TRUE(server.Failures().isEmpty()) << server.Failures().join('\n').toStdString();
        EXPECT_FALSE(server.Received().contains("USER")) << c.reply.toStdString();
        EXPECT_FALSE(server.Received().contains("PASS")) << c.reply.toStdString();
    }
}

namespace {

// Logs on to a scripted server that accepts AUTH TLS; the error of the failed log-on.
EcvbFTP failedTlsLogOn(TcvbFTP &ftp, cvb::test::ScriptedServer &server, QStringList *trace)
{
    prepare(ftp, {QString(), server.Port(), QStringLiteral("user"), QStringLiteral("pw"), QString()},
            ftpsExplicit, trace);
    // Only the handshake's own limit may end the wait; should it fail to, the guard's interrupt
    // does, and the error says "Interrupted".
    ftp.SetIdleLimit(0);
    ftp.SetTlsHandshakeLimit(1);
    QTimer::singleShot(15000, &ftp, [&ftp] { ftp.Interrupt(); });
    try {
        ftp.SetAction(ftpLogon);
    } catch (const EcvbFTP &e) {
        return e;
    }
    ADD_FAILURE() << "log-on succeeded";
    return EcvbFTP(0, {});
}

} // namespace

// A man in the middle who appends a reply of his own to the server's go-ahead would have it read
// as if it had come encrypted (PBSZ answered by it, every later reply shifted): the log-on fails
// before the handshake begins, and nothing that came with the go-ahead is used.
TEST(FtpTlsRefused, PlainTextBehindTheTlsGoAheadFailsTheLogOnBeforeTheHandshake)
{
    cvb::test::ScriptedServer server;
    server.Send("220 ready\r\n").ExpectLine("AUTH TLS").Send("234 go ahead\r\n200 injected\r\n").ReadToEnd();
    server.Start();
    TcvbFTP ftp;
    QStringList trace;
    const EcvbFTP e = failedTlsLogOn(ftp, server, &trace);
    EXPECT_EQ(e.Code(), kTlsPlainTextInjected);
    EXPECT_TRUE(e.Text().contains(QStringLiteral("plain text"))) << e.Text().toStdString();
    EXPECT_FALSE(ftp.Connected());
    ASSERT_TRUE(server.WaitDone());
    // Not even a handshake record went out after the command.
    EXPECT_TRUE(server.Received().endsWith("AUTH TLS\r\n")) << server.Received().toStdString();
    EXPECT_FALSE(trace.join('\n').contains(QStringLiteral("injected"))) << trace.join('\n').toStdString();
}

// After a log-on whose handshake stalled, an action that would log on by itself fails at once with
// that error, without connecting again; the next ftpLogon tries again.
TEST(FtpTlsRefused, AfterAStalledHandshakeOnlyAnExplicitLogOnConnectsAgain)
{
    cvb::test::ScriptedServer server;
    server.Send("220 ready\r\n").ExpectLine("AUTH TLS").Send("234 go ahead\r\n").ReadToEnd();
    server.Accept().Send("220 ready\r\n").ExpectLine("AUTH TLS").Send("500 no\r\n").ReadToEnd();
    server.Start();
    TcvbFTP ftp;
    QStringList trace;
    const EcvbFTP stalled = failedTlsLogOn(ftp, server, &trace);
    const QString expected = QStringLiteral("TLS handshake with localhost:%1 timed out.").arg(server.Port());
    EXPECT_EQ(stalled.Code(), kTlsTimedOut);
    EXPECT_EQ(stalled.Text(), expected);
    EXPECT_TRUE(ftp.LogOnBarred());

    for (const int action : {ftpListDirectory, ftpDownload}) {
        try {
            ftp.SetAction(action);
            ADD_FAILURE() << "action " << action << " succeeded";
        } catch (const EcvbFTP &e) {
            EXPECT_EQ(e.Code(), kTlsTimedOut);
            EXPECT_EQ(e.Text(), expected);
        }
    }
    const auto connects = [&] { return trace.count(QStringLiteral("2 Connecting to FTP server.")); };
    EXPECT_EQ(connects(), 1) << trace.join('\n').toStdString();

    try {
        ftp.SetAction(ftpLogon);
        ADD_FAILURE() << "second log-on succeeded";
    } catch (const EcvbFTP &e) {
        EXPECT_EQ(e.Code(), kFtpTlsRefused);
    }
    EXPECT_EQ(connects(), 2);
    ASSERT_TRUE(server.WaitDone());
    EXPECT_TRUE(server.Failures().isEmpty()) << server.Failures().join('\n').toStdString();
}
