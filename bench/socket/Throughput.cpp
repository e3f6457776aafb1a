// Moves N MiB (default 256) over loopback inside one thread: a CIPPortMsg sends with SendAll
// while a port that accepted the connection takes the bytes in with its read loop. Prints
// the rate. --buffers N sets both ports' socket buffer sizes (default 2048).
#include "socket/IPPortMsg.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <arpa/inet.h>
#include <cstdio>
#include <cstring>
#include <netinet/in.h>
#include <vector>

namespace {

using namespace cvb;

// Listens on a free port and takes over the first connection; no line cutting.
class Receiver : public CcvbIPPort
{
public:
    quint64 received = 0;
    quint64 sum = 0;

    int Listen()
    {
        m_listen = Ws().socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in a{};
        a.sin_family = AF_INET;
        a.sin_addr.s_addr = (Ws().htonl)(INADDR_LOOPBACK);
        int len = sizeof a;
        if (Ws().bind(m_listen, reinterpret_cast<sockaddr *>(&a), sizeof a) != 0 ||
            Ws().listen(m_listen, 1) != 0 ||
            Ws().getsockname(m_listen, reinterpret_cast<sockaddr *>(&a), &len) != 0 ||
            Ws().WSAAsyncSelect(m_listen, SocketNotify(), ws::kSocketMessage, ws::FD_ACCEPT_) != 0)
            return 0;
        return (Ws().ntohs)(a.sin_port);
    }

    void HandleSocketMessage(TSocket socket, std::uint32_t event) override
    {
        if (socket != m_listen || (event & 0xffff) != ws::FD_ACCEPT_) {
            CcvbIPPort::HandleSocketMessage(socket, event);
            return;
        }
        const TSocket s = Ws().accept(m_listen, nullptr, nullptr);
        Ws().closesocket(m_listen);
        m_listen = kInvalidSocket;
        AdoptSocket(s);
        WithoutRaising(*this, [&] { SetInBufferSize(InBufferSize()); });
        Ws().WSAAsyncSelect(s, SocketNotify(), ws::kSocketMessage,
                            ws::FD_READ_ | ws::FD_WRITE_ | ws::FD_CLOSE_);
    }

protected:
    void FireDataIn(const QByteArray &text, bool) override
    {
        received += static_cast<quint64>(text.size());
        for (const char c : text)
            sum += static_cast<unsigned char>(c);
    }

private:
    TSocket m_listen = kInvalidSocket;
};

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    quint64 mib = 256;
    std::uint16_t buffers = 2048;
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--buffers") == 0 && i + 1 < argc)
            buffers = static_cast<std::uint16_t>(std::atoi(argv[++i]));
        else
            mib = static_cast<quint64>(std::atoll(argv[i]));
    }
    const quint64 total = mib * 1024 * 1024;

    Receiver receiver;
    receiver.SetWinsockLoaded(true);
    receiver.SetInBufferSize(buffers);
    const int port = receiver.Listen();
    CIPPortMsg sender;
    sender.SetWinsockLoaded(true);
    sender.SetOutBufferSize(buffers);
    sender.SetRemoteHost(QStringLiteral("127.0.0.1"));
    sender.SetRemotePort(static_cast<std::uint16_t>(port));
    if (port == 0 || sender.ConnectAndWait() != 0) {
        std::fprintf(stderr, "connect failed: %s\n", qPrintable(sender.LastErrorText()));
        return 2;
    }

    std::vector<char> chunk(1024 * 1024);
    quint64 sentSum = 0;
    for (std::size_t i = 0; i < chunk.size(); ++i) {
        chunk[i] = static_cast<char>(i * 7 + i / 4096);
        sentSum += static_cast<unsigned char>(chunk[i]);
    }
    sentSum *= mib;

    QElapsedTimer timer;
    timer.start();
    for (quint64 sent = 0; sent < total; sent += chunk.size()) {
        if (const int r = sender.SendAll(chunk.data(), static_cast<qint64>(chunk.size())); r != 0) {
            std::fprintf(stderr, "send failed: %d %s\n", r, qPrintable(sender.LastErrorText()));
            return 1;
        }
    }
    sender.SetConnected(false);
    while (receiver.received < total && receiver.Socket() != kInvalidSocket)
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    const double seconds = static_cast<double>(timer.nsecsElapsed()) / 1e9;
    const bool intact = receiver.received == total && receiver.sum == sentSum;
    std::printf("%llu MiB in %.2f s = %.1f MB/s (socket buffers %u, data %s)\n",
                static_cast<unsigned long long>(mib), seconds, static_cast<double>(total) / 1e6 / seconds,
                buffers, intact ? "intact" : "DAMAGED");
    return intact ? 0 : 1;
}
