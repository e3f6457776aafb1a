// Waits for a reply that never comes, for the given seconds (default 10), and prints the
// processor time the process used meanwhile. The peer is a listening socket that is never
// served: the system completes the connection, and nothing is ever sent back.
#include "socket/IPPortMsg.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <arpa/inet.h>
#include <cstdio>
#include <netinet/in.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <unistd.h>

namespace {

double cpuSeconds()
{
    rusage u{};
    getrusage(RUSAGE_SELF, &u);
    return static_cast<double>(u.ru_utime.tv_sec + u.ru_stime.tv_sec) +
           static_cast<double>(u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1e6;
}

int silentPeer(int *port)
{
    const int s = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t len = sizeof a;
    if (::bind(s, reinterpret_cast<sockaddr *>(&a), sizeof a) != 0 || ::listen(s, 1) != 0 ||
        ::getsockname(s, reinterpret_cast<sockaddr *>(&a), &len) != 0)
        return -1;
    *port = ntohs(a.sin_port);
    return s;
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    const int seconds = argc > 1 ? std::atoi(argv[1]) : 10;
    int port = 0;
    const int peer = silentPeer(&port);
    if (peer < 0) {
        std::perror("listen");
        return 2;
    }
    cvb::CIPPortMsg client;
    client.SetWinsockLoaded(true);
    client.SetRemoteHost(QStringLiteral("127.0.0.1"));
    client.SetRemotePort(static_cast<std::uint16_t>(port));
    client.SetIdleLimit(seconds);
    if (client.ConnectAndWait() != 0) {
        std::fprintf(stderr, "connect failed: %s\n", qPrintable(client.LastErrorText()));
        return 2;
    }
    QElapsedTimer wall;
    wall.start();
    const double cpuBefore = cpuSeconds();
    const int result = client.SendCommand("NOOP");
    const double cpu = cpuSeconds() - cpuBefore;
    const double elapsed = static_cast<double>(wall.elapsed()) / 1000.0;
    std::printf("wait ended with %d \"%s\" after %.2f s; processor time %.3f s = %.3f%% of one core\n",
                result, qPrintable(client.LastErrorText()), elapsed, cpu, 100.0 * cpu / elapsed);
    ::close(peer);
    return result == cvb::CIPPortMsg::kInterrupted ? 0 : 1;
}
