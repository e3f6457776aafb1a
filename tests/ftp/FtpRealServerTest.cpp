// The FTP component against a real server (pyftpdlib on loopback), in active and passive mode.
#include "ftp/FtpClient.h"
#include "tests/support/FtpServer.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <random>
#include <sys/socket.h>
#include <unistd.h>

using namespace cvb;
using cvb::test::PyFtpServer;

using cvb::test::randomBytes;
using cvb::test::readFile;
using cvb::test::writeFile;

namespace {

// A big file written quickly: pseudo-random 64-bit words, so that no block repeats.
void writeBigFile(const QString &path, qint64 size)
{
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    std::vector<quint64> chunk(1 << 17); // 1 MiB
    quint64 x = 0x9E3779B97F4A7C15ull;
    for (qint64 written = 0; written < size;) {
        for (quint64 &w : chunk) {
            x ^= x << 13;
            x ^= x >> 7;
            x ^= x << 17;
            w = x;
        }
        const qint64 n = std::min<qint64>(size - written, qint64(chunk.size() * sizeof(quint64)));
        ASSERT_EQ(f.write(reinterpret_cast<const char *>(chunk.data()), n), n);
        written += n;
    }
}

QByteArray fileHash(const QString &path)
{
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly))
        return {};
    QCryptographicHash hash(QCryptographicHash::Sha1);
    hash.addData(&f);
    return hash.result().toHex();
}

class FtpRealServer : public ::testing::TestWithParam<bool>
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(server.isListening()) << server.error().toStdString();
        ftp.setObjectName(QStringLiteral("cvbFTP1"));
        ftp.SetWinsockLoaded(true);
        ftp.SetControlPort(std::uint16_t(server.port()));
        ftp.SetRemoteHost(QStringLiteral("127.0.0.1"));
        ftp.SetUser(server.user());
        ftp.SetPassword(server.password());
        ftp.SetPassive(GetParam());
        ftp.SetTransferMode(tmBinary);
        if (qEnvironmentVariableIsSet("FTP_TRACE"))
            ftp.OnFirePITrail = [](QObject *, int d, const QString &m) { qInfo("%d %s", d, qPrintable(m)); };
        ftp.OnError = [](QObject *, int code, const QString &text) {
            ADD_FAILURE() << "OnError " << code << ": " << text.toStdString();
        };
    }

    void download(const QString &remote, const QString &local)
    {
        ftp.SetRemoteFile(remote);
        ftp.SetLocalFile(local);
        ftp.SetAction(ftpDownload);
    }

    void upload(const QString &local, const QString &remote)
    {
        ftp.SetLocalFile(local);
        ftp.SetRemoteFile(remote);
        ftp.SetAction(ftpUpload);
    }

    QStringList list(const QString &remote = {})
    {
        QStringList entries;
        ftp.OnDirList = [&](QObject *, const QString &entry) { entries << entry; };
        ftp.SetRemoteFile(remote);
        ftp.SetAction(ftpListDirectory);
        ftp.OnDirList = nullptr;
        entries.sort();
        return entries;
    }

    PyFtpServer server;
    TcvbFTP ftp;
    QTemporaryDir local;
};

} // namespace

INSTANTIATE_TEST_SUITE_P(Modes, FtpRealServer, ::testing::Values(false, true),
                         [](const auto &info) { return info.param ? "Passive" : "Active"; });

TEST_P(FtpRealServer, BinaryFilesGoBothWaysByteForByte)
{
    const QByteArray content = randomBytes(300 * 1024 + 17, 7);
    ASSERT_TRUE(writeFile(local.filePath("up.bin"), content));
    ASSERT_TRUE(writeFile(local.filePath("zero.bin"), {}));
    upload(local.filePath("up.bin"), QStringLiteral("up.bin"));
    upload(local.filePath("zero.bin"), QStringLiteral("zero.bin"));
    EXPECT_TRUE(readFile(server.path("up.bin")) == content);
    EXPECT_EQ(readFile(server.path("zero.bin")), QByteArray());

    download(QStringLiteral("up.bin"), local.filePath("down.bin"));
    download(QStringLiteral("zero.bin"), local.filePath("down0.bin"));
    EXPECT_TRUE(readFile(local.filePath("down.bin")) == content);
    EXPECT_EQ(readFile(local.filePath("down0.bin")), QByteArray());

    // Without a local file the bytes come through OnTransfer.
    QByteArray received;
    ftp.OnTransfer = [&](QObject *, std::int64_t, const QByteArray &text) { received += text; };
    download(QStringLiteral("up.bin"), {});
    EXPECT_TRUE(received == content);
}

TEST_P(FtpRealServer, TwoHundredMebibytesDownAndUp)
{
    const qint64 size = 200ll * 1024 * 1024;
    writeBigFile(server.path("big.bin"), size);
    download(QStringLiteral("big.bin"), local.filePath("big.bin"));
    const QByteArray hash = fileHash(server.path("big.bin"));
    EXPECT_EQ(QFileInfo(local.filePath("big.bin")).size(), size);
    EXPECT_EQ(fileHash(local.filePath("big.bin")), hash);

    upload(local.filePath("big.bin"), QStringLiteral("back.bin"));
    EXPECT_EQ(QFileInfo(server.path("back.bin")).size(), size);
    EXPECT_EQ(fileHash(server.path("back.bin")), hash);
}

TEST_P(FtpRealServer, AsciiModeKeepsUnixTextFilesAsTheyAre)
{
    // Lines of 2047 bytes and an LF: on the wire each line is 2049 bytes, so CR LF pairs fall
    // across the 2048-byte blocks in which data is received.
    QByteArray text;
    for (int i = 0; i < 6; ++i)
        text += QByteArray(2047, char('a' + i)) + '\n';
    text += "short\n\nlast line without end";
    ASSERT_TRUE(writeFile(server.path("page.html"), text));
    ftp.SetTransferMode(tmASCII);
    download(QStringLiteral("page.html"), local.filePath("page.html"));
    EXPECT_TRUE(readFile(local.filePath("page.html")) == text);

    upload(local.filePath("page.html"), QStringLiteral("copy.html"));
    EXPECT_TRUE(readFile(server.path("copy.html")) == text);
    download(QStringLiteral("copy.html"), local.filePath("copy.html"));
    EXPECT_TRUE(readFile(local.filePath("copy.html")) == text);

    // Binary mode passes CR LF unchanged.
    ASSERT_TRUE(writeFile(server.path("dos.txt"), "a\r\nb\r\n"));
    ftp.SetTransferMode(tmBinary);
    download(QStringLiteral("dos.txt"), local.filePath("dos.txt"));
    EXPECT_EQ(readFile(local.filePath("dos.txt")), "a\r\nb\r\n");
}

TEST_P(FtpRealServer, ListingOfTenThousandNames)
{
    ASSERT_TRUE(QDir(server.root()).mkdir("many"));
    QStringList expected;
    for (int i = 0; i < 10000; ++i) {
        const QString name = QStringLiteral("file%1.txt").arg(i, 5, 10, QLatin1Char('0'));
        QFile f(server.path("many/" + name));
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        expected << name;
    }
    const QStringList names = list(QStringLiteral("many"));
    ASSERT_EQ(names.size(), 10000);
    // Servers may name each entry with or without the folder in front.
    QStringList bare;
    for (const QString &n : names)
        bare << n.section('/', -1);
    EXPECT_EQ(bare, expected);
}

TEST_P(FtpRealServer, FoldersRenameDeleteResumeAndNonAsciiNames)
{
    const QString folder = QStringLiteral("Grüße und Ärger");
    const QString name = QStringLiteral("ein Bild für José.bin");
    const QByteArray content = randomBytes(10000, 3);
    ASSERT_TRUE(writeFile(local.filePath("src.bin"), content));

    ftp.SetRemoteFile(folder);
    ftp.SetAction(ftpMakeDirectory);
    EXPECT_TRUE(QFileInfo(server.path(folder)).isDir());
    ftp.SetRemotePath(folder);
    EXPECT_EQ(ftp.RemotePath(), "/" + folder);
    upload(local.filePath("src.bin"), name);
    EXPECT_TRUE(readFile(server.path(folder + "/" + name)) == content);
    EXPECT_EQ(list(), QStringList({name}));

    // A resumed download keeps the first part on disk and fetches the rest.
    ASSERT_TRUE(writeFile(local.filePath("resumed.bin"), content.left(4000)));
    ftp.SetStartByte(4000);
    download(name, local.filePath("resumed.bin"));
    ftp.SetStartByte(0);
    EXPECT_TRUE(readFile(local.filePath("resumed.bin")) == content);

    ftp.SetRemoteFile(name);
    ftp.SetAltFile(QStringLiteral("renamed ß.bin"));
    ftp.SetAction(ftpRenameFile);
    EXPECT_EQ(list(), QStringList({"renamed ß.bin"}));
    ftp.SetRemoteFile(QStringLiteral("renamed ß.bin"));
    ftp.SetAction(ftpDeleteFile);
    EXPECT_TRUE(list().isEmpty());

    ftp.SetRemotePath(QStringLiteral(".."));
    EXPECT_EQ(ftp.RemotePath(), "/");
    ftp.SetRemoteFile(folder);
    ftp.SetAction(ftpRemoveDirectory);
    EXPECT_FALSE(QFileInfo::exists(server.path(folder)));

    ftp.OnError = nullptr;
    ftp.SetRemoteFile(QStringLiteral("no such file"));
    try {
        ftp.SetAction(ftpDeleteFile);
        ADD_FAILURE() << "no exception";
    } catch (const EcvbFTP &e) {
        EXPECT_EQ(e.Code(), 141);
        EXPECT_TRUE(e.Message().startsWith("141: 550 ")) << e.Message().toStdString();
    }
    ftp.SetAction(ftpLogoff);
    EXPECT_FALSE(ftp.Connected());
}

TEST(FtpVsftpd, AnonymousDownloadsAndListingInBothModes)
{
    QTemporaryDir root, local;
    ASSERT_TRUE(QDir(root.path()).mkdir("site"));
    const QByteArray content = randomBytes(200 * 1024 + 5, 11);
    ASSERT_TRUE(writeFile(root.filePath("site/index.bin"), content));
    ASSERT_TRUE(writeFile(root.filePath("site/readme.txt"), "hello\nworld\n"));
    cvb::test::VsftpdServer server(root.path());
    ASSERT_TRUE(server.isListening()) << server.error().toStdString();

    TcvbFTP ftp;
    ftp.setObjectName(QStringLiteral("cvbFTP1"));
    ftp.SetWinsockLoaded(true);
    ftp.SetControlPort(std::uint16_t(server.port()));
    ftp.SetRemoteHost(QStringLiteral("127.0.0.1"));
    ftp.SetUser(QStringLiteral("anonymous"));
    ftp.SetTransferMode(tmBinary);
    for (const bool passive : {false, true}) {
        ftp.SetPassive(passive);
        ftp.SetRemoteFile(QStringLiteral("site/index.bin"));
        ftp.SetLocalFile(local.filePath("index.bin"));
        ftp.SetAction(ftpDownload);
        EXPECT_TRUE(readFile(local.filePath("index.bin")) == content) << passive;

        QStringList names;
        ftp.OnDirList = [&](QObject *, const QString &entry) { names << entry.section('/', -1); };
        ftp.SetRemoteFile(QStringLiteral("site"));
        ftp.SetAction(ftpListDirectory);
        names.sort();
        EXPECT_EQ(names, QStringList({"index.bin", "readme.txt"})) << passive;
    }
    ftp.SetAction(ftpLogoff);
}

// In active mode the port offered in PORT is open to anyone who finds it first: a caller from
// another address is turned away, and the file comes from the server.
TEST(FtpActiveMode, ADataConnectionFromAnotherAddressIsRefused)
{
    PyFtpServer server;
    ASSERT_TRUE(server.isListening()) << server.error().toStdString();
    writeFile(server.path(QStringLiteral("real.txt")), "from the server\n");
    QTemporaryDir local;
    TcvbFTP ftp;
    ftp.SetWinsockLoaded(true);
    ftp.SetControlPort(std::uint16_t(server.port()));
    ftp.SetRemoteHost(QStringLiteral("127.0.0.1"));
    ftp.SetUser(server.user());
    ftp.SetPassword(server.password());
    ftp.SetTransferMode(tmBinary);
    QStringList errors;
    ftp.OnError = [&](QObject *, int code, const QString &text) {
        errors << QString::number(code) + ": " + text;
    };
    int intruder = -1;
    ftp.OnFirePITrail = [&](QObject *, int direction, const QString &message) {
        if (direction != 0 || !message.startsWith(QStringLiteral("PORT ")))
            return;
        // Connects to the offered port from 127.0.0.2 before the server does, and offers its own data.
        const QStringList n = message.mid(5).split(QLatin1Char(','));
        sockaddr_in from{}, to{};
        from.sin_family = to.sin_family = AF_INET;
        from.sin_addr.s_addr = htonl(0x7F000002);
        to.sin_addr.s_addr = htonl(0x7F000001);
        to.sin_port = htons(std::uint16_t(n.value(4).toInt() * 256 + n.value(5).toInt()));
        intruder = ::socket(AF_INET, SOCK_STREAM, 0);
        ASSERT_EQ(::bind(intruder, reinterpret_cast<sockaddr *>(&from), sizeof from), 0);
        ASSERT_EQ(::connect(intruder, reinterpret_cast<sockaddr *>(&to), sizeof to), 0);
        ASSERT_EQ(::write(intruder, "forged\n", 7), 7);
    };
    ftp.SetRemoteFile(QStringLiteral("real.txt"));
    ftp.SetLocalFile(local.filePath(QStringLiteral("real.txt")));
    ftp.SetAction(ftpDownload);
    ASSERT_GE(intruder, 0);
    ::close(intruder);
    EXPECT_EQ(readFile(local.filePath(QStringLiteral("real.txt"))), "from the server\n");
    EXPECT_EQ(errors.filter(QStringLiteral("313: ")).size(), 1)
        << errors.join(QLatin1Char('\n')).toStdString();
}
