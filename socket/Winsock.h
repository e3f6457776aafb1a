// The socket library as a table of entry points, loaded at run time by name, and CWinsock,
// the component layer that loads it. The built-in library registered as "WSOCK32.DLL" runs
// on POSIX sockets and reports Windows Sockets error codes.
#pragma once
#include "component/Component.h"

#include <QString>
#include <cstdint>
#include <netdb.h>
#include <netinet/in.h>
#include <sys/select.h>
#include <sys/socket.h>

namespace cvb {

class CSocketNotify;

using TSocket = int;
constexpr TSocket kInvalidSocket = -1;
constexpr int kSocketError = -1;

// Option levels, option names and codes as the socket library defines them.
namespace ws {
constexpr int SOL_SOCKET_ = 0xffff;
constexpr int IPPROTO_TCP_ = 6;
constexpr int SO_REUSEADDR_ = 0x0004;
constexpr int SO_KEEPALIVE_ = 0x0008;
constexpr int SO_LINGER_ = 0x0080;
constexpr int SO_OOBINLINE_ = 0x0100;
constexpr int SO_SNDBUF_ = 0x1001;
constexpr int SO_RCVBUF_ = 0x1002;
constexpr int SO_ERROR_ = 0x1007;
constexpr int SO_ACCEPTCONN_ = 0x0002;
constexpr int TCP_NODELAY_ = 0x0001;
constexpr long FIONBIO_ = static_cast<long>(0x8004667eL);
constexpr long FIONREAD_ = 0x4004667fL;

constexpr long FD_READ_ = 0x01;
constexpr long FD_WRITE_ = 0x02;
constexpr long FD_OOB_ = 0x04;
constexpr long FD_ACCEPT_ = 0x08;
constexpr long FD_CONNECT_ = 0x10;
constexpr long FD_CLOSE_ = 0x20;

constexpr int WSAEWOULDBLOCK = 10035;
constexpr int WSAENOTSOCK = 10038;
constexpr int WSAENOTCONN = 10057;
constexpr int WSAECONNREFUSED = 10061;
constexpr int WSASYSNOTREADY = 10091;
constexpr int WSAVERNOTSUPPORTED = 10092;
constexpr int WSANOTINITIALISED = 10093;
constexpr int WSAHOST_NOT_FOUND = 11001;

// The message number of socket notifications (user message base 1024 plus 101).
constexpr unsigned kSocketMessage = 1024 + 101;
} // namespace ws

// The socket library's linger option.
struct TLinger
{
    std::uint16_t l_onoff;
    std::uint16_t l_linger;
};

// The socket library's start-up record.
struct TWSAData
{
    std::uint16_t wVersion = 0;
    std::uint16_t wHighVersion = 0;
    char szDescription[257] = {};
    char szSystemStatus[129] = {};
    std::uint16_t iMaxSockets = 0;
    std::uint16_t iMaxUdpDg = 0;
    char *lpVendorInfo = nullptr;
};

using TBlockingHook = bool (*)();

// The 47 entry points with their ordinals: X(ordinal, name, return type, parameter list).
#define CVB_WINSOCK_ENTRIES(X)                                                                               \
    X(1, accept, TSocket, (TSocket s, sockaddr * addr, int *addrlen))                                        \
    X(2, bind, int, (TSocket s, const sockaddr *name, int namelen))                                          \
    X(3, closesocket, int, (TSocket s))                                                                      \
    X(4, connect, int, (TSocket s, const sockaddr *name, int namelen))                                       \
    X(5, getpeername, int, (TSocket s, sockaddr * name, int *namelen))                                       \
    X(6, getsockname, int, (TSocket s, sockaddr * name, int *namelen))                                       \
    X(7, getsockopt, int, (TSocket s, int level, int optname, char *optval, int *optlen))                    \
    X(8, htonl, std::uint32_t, (std::uint32_t hostlong))                                                     \
    X(9, htons, std::uint16_t, (std::uint16_t hostshort))                                                    \
    X(10, inet_addr, std::uint32_t, (const char *cp))                                                        \
    X(11, inet_ntoa, char *, (in_addr in))                                                                   \
    X(12, ioctlsocket, int, (TSocket s, long cmd, std::uint32_t *argp))                                      \
    X(13, listen, int, (TSocket s, int backlog))                                                             \
    X(14, ntohl, std::uint32_t, (std::uint32_t netlong))                                                     \
    X(15, ntohs, std::uint16_t, (std::uint16_t netshort))                                                    \
    X(16, recv, int, (TSocket s, char *buf, int len, int flags))                                             \
    X(17, recvfrom, int, (TSocket s, char *buf, int len, int flags, sockaddr *from, int *fromlen))           \
    X(18, select, int, (int nfds, fd_set *readfds, fd_set *writefds, fd_set *exceptfds, timeval *timeout))   \
    X(19, send, int, (TSocket s, const char *buf, int len, int flags))                                       \
    X(20, sendto, int, (TSocket s, const char *buf, int len, int flags, const sockaddr *to, int tolen))      \
    X(21, setsockopt, int, (TSocket s, int level, int optname, const char *optval, int optlen))              \
    X(22, shutdown, int, (TSocket s, int how))                                                               \
    X(23, socket, TSocket, (int af, int type, int protocol))                                                 \
    X(51, gethostbyaddr, hostent *, (const char *addr, int len, int type))                                   \
    X(52, gethostbyname, hostent *, (const char *name))                                                      \
    X(53, getprotobyname, protoent *, (const char *name))                                                    \
    X(54, getprotobynumber, protoent *, (int proto))                                                         \
    X(55, getservbyname, servent *, (const char *name, const char *proto))                                   \
    X(56, getservbyport, servent *, (int port, const char *proto))                                           \
    X(57, gethostname, int, (char *name, int namelen))                                                       \
    X(101, WSAAsyncSelect, int, (TSocket s, CSocketNotify * sink, unsigned msg, long events))                \
    X(102, WSAAsyncGetHostByAddr, int,                                                                       \
      (CSocketNotify * sink, unsigned msg, const char *addr, int len, int type, char *buf, int buflen))      \
    X(103, WSAAsyncGetHostByName, int,                                                                       \
      (CSocketNotify * sink, unsigned msg, const char *name, char *buf, int buflen))                         \
    X(104, WSAAsyncGetProtoByNumber, int,                                                                    \
      (CSocketNotify * sink, unsigned msg, int number, char *buf, int buflen))                               \
    X(105, WSAAsyncGetProtoByName, int,                                                                      \
      (CSocketNotify * sink, unsigned msg, const char *name, char *buf, int buflen))                         \
    X(106, WSAAsyncGetServByPort, int,                                                                       \
      (CSocketNotify * sink, unsigned msg, int port, const char *proto, char *buf, int buflen))              \
    X(107, WSAAsyncGetServByName, int,                                                                       \
      (CSocketNotify * sink, unsigned msg, const char *name, const char *proto, char *buf, int buflen))      \
    X(108, WSACancelAsyncRequest, int, (int handle))                                                         \
    X(109, WSASetBlockingHook, TBlockingHook, (TBlockingHook hook))                                          \
    X(110, WSAUnhookBlockingHook, int, ())                                                                   \
    X(111, WSAGetLastError, int, ())                                                                         \
    X(112, WSASetLastError, void, (int error))                                                               \
    X(113, WSACancelBlockingCall, int, ())                                                                   \
    X(114, WSAIsBlocking, int, ())                                                                           \
    X(115, WSAStartup, int, (std::uint16_t versionRequested, TWSAData * data))                               \
    X(116, WSACleanup, int, ())                                                                              \
    X(151, __WSAFDIsSet, int, (TSocket s, fd_set * set))

// A loadable socket library: its entry points, null where the library lacks one.
struct TWinsockFunctions
{
#define CVB_WINSOCK_MEMBER(ordinal, name, ret, params) ret(*name) params = nullptr;
    CVB_WINSOCK_ENTRIES(CVB_WINSOCK_MEMBER)
#undef CVB_WINSOCK_MEMBER

    // True when every entry point is present.
    bool Complete() const;
};

// The table that stands in until a library is loaded: every call fails with 10093.
const TWinsockFunctions &WinsockStubs();
// The built-in POSIX socket library, registered as "WSOCK32.DLL".
const TWinsockFunctions &PosixWinsock();

// Makes a library available under a name (names compare without regard to case), e.g. for a
// test that needs a library of another version or one that lacks a function.
void RegisterWinsockLibrary(const QString &name, const TWinsockFunctions &functions);
void UnregisterWinsockLibrary(const QString &name);
// The library registered under a name; "WSOCK32.DLL" is the built-in one unless replaced.
bool FindWinsockLibrary(const QString &name, TWinsockFunctions *functions);

// Maps an errno value or a getaddrinfo() failure to a socket library error code.
int WinsockErrorFromErrno(int error);
int WinsockErrorFromResolver(int eaiError, int error);

class CWinsock : public TcvbComponent
{
    Q_OBJECT
public:
    explicit CWinsock(QObject *parent = nullptr);
    ~CWinsock() override;

    QString LibraryName() const { return m_libraryName; }
    void SetLibraryName(const QString &name) { m_libraryName = name; }

    bool WinsockLoaded() const { return m_loaded; }
    virtual void SetWinsockLoaded(bool load);
    int LoadCount() const { return m_loadCount; }

    QString WinsockInfo() const;
    QString WinsockStatus() const;

    // The local address: while connected, the one the socket is bound to; else the set
    // address; else the machine's host name. On failure, the description of the last error.
    virtual QString LocalHost();

    // The current entry points: the library's, or failing stubs before loading.
    const TWinsockFunctions &Ws() const { return m_ws; }

protected:
    // Resolves a host text and stores it as the local address (0 when it cannot be resolved).
    virtual void SetLocalAddress(const QString &host);
    // The socket whose bound address LocalHost reports first; none here.
    virtual TSocket LocalHostSocket() const { return kInvalidSocket; }
    // Resolves a dotted address or a host name; 0 and the library's error when it fails.
    std::uint32_t ResolveHost(const QString &host, int *error);
    QString DottedAddress(std::uint32_t networkOrder);

private:
    bool Load();
    void Unload();
    void SetInfo(const char *text);

    QString m_libraryName = QStringLiteral("WSOCK32.DLL");
    bool m_handle = false;
    std::uint16_t m_loadCount = 0;
    bool m_loaded = false;
    bool m_notBusy = true;
    TWSAData m_data;
    std::uint32_t m_localAddress = 0;
    TWinsockFunctions m_ws;
};

} // namespace cvb
