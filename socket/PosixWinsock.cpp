// The built-in socket library: the entry points of the table on POSIX sockets, with errno
// values and resolver failures reported as socket library error codes.
#include "socket/SocketNotify.h"
#include "socket/Winsock.h"

#include <QByteArray>
#include <QString>
#include <arpa/inet.h>
#include <atomic>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <map>
#include <mutex>
#include <netinet/tcp.h>
#include <sys/ioctl.h>
#include <type_traits>
#include <unistd.h>

namespace cvb {

namespace {

struct ErrnoCode
{
    int error;
    int code;
};

// The system's errno values and the socket library's codes for them.
const ErrnoCode kErrnoCodes[] = {
    {EINTR, 10004},         {EBADF, 10009},        {EACCES, 10013},          {EPERM, 10013},
    {EFAULT, 10014},        {EINVAL, 10022},       {EMFILE, 10024},          {ENFILE, 10024},
    {EWOULDBLOCK, 10035},   {EAGAIN, 10035},       {EINPROGRESS, 10035}, // a non-blocking connect under way
    {EALREADY, 10037},      {ENOTSOCK, 10038},     {EDESTADDRREQ, 10039},    {EMSGSIZE, 10040},
    {EPROTOTYPE, 10041},    {ENOPROTOOPT, 10042},  {EPROTONOSUPPORT, 10043}, {ESOCKTNOSUPPORT, 10044},
    {EOPNOTSUPP, 10045},    {EPFNOSUPPORT, 10046}, {EAFNOSUPPORT, 10047},    {EADDRINUSE, 10048},
    {EADDRNOTAVAIL, 10049}, {ENETDOWN, 10050},     {ENETUNREACH, 10051},     {ENETRESET, 10052},
    {ECONNABORTED, 10053},  {ECONNRESET, 10054},   {EPIPE, 10054},           {ENOBUFS, 10055},
    {ENOMEM, 10055},        {EISCONN, 10056},      {ENOTCONN, 10057},        {ESHUTDOWN, 10058},
    {ETOOMANYREFS, 10059},  {ETIMEDOUT, 10060},    {ECONNREFUSED, 10061},    {ELOOP, 10062},
    {ENAMETOOLONG, 10063},  {EHOSTDOWN, 10064},    {EHOSTUNREACH, 10065},    {ENOTEMPTY, 10066},
    {EUSERS, 10068},        {EDQUOT, 10069},       {ESTALE, 10070},          {EREMOTE, 10071},
};

struct OptionName
{
    int wsName;
    int sysName;
};

// Socket-level option names of the library and of the system.
const OptionName kSocketOptions[] = {
    {0x0001, SO_DEBUG},
    {ws::SO_ACCEPTCONN_, SO_ACCEPTCONN},
    {ws::SO_REUSEADDR_, SO_REUSEADDR},
    {ws::SO_KEEPALIVE_, SO_KEEPALIVE},
    {0x0010, SO_DONTROUTE},
    {0x0020, SO_BROADCAST},
    {ws::SO_LINGER_, SO_LINGER},
    {ws::SO_OOBINLINE_, SO_OOBINLINE},
    {ws::SO_SNDBUF_, SO_SNDBUF},
    {ws::SO_RCVBUF_, SO_RCVBUF},
    {ws::SO_ERROR_, SO_ERROR},
    {0x1008, SO_TYPE},
};

} // namespace

int WinsockErrorFromErrno(int error)
{
    if (error == 0)
        return 0;
    for (const ErrnoCode &row : kErrnoCodes) {
        if (row.error == error)
            return row.code;
    }
    return 10022;
}

int WinsockErrorFromResolver(int eaiError, int error)
{
    switch (eaiError) {
    case 0:
        return 0;
    case EAI_NONAME:
        return 11001;
    case EAI_AGAIN:
        return 11002;
    case EAI_FAIL:
        return 11003;
    case EAI_NODATA:
    case EAI_ADDRFAMILY:
        return 11004;
    case EAI_MEMORY:
        return 10055;
    case EAI_SYSTEM:
        return WinsockErrorFromErrno(error);
    default:
        return 11003;
    }
}

namespace {

thread_local int t_lastError = 0;
std::atomic<int> g_startups{0};

int fail(int code)
{
    t_lastError = code;
    return kSocketError;
}

int failErrno()
{
    return fail(WinsockErrorFromErrno(errno));
}

bool started()
{
    if (g_startups.load() > 0)
        return true;
    t_lastError = ws::WSANOTINITIALISED;
    return false;
}

// Option names of the library onto the system's; false for an option it does not know.
bool systemOption(int level, int name, int *sysLevel, int *sysName)
{
    if (level == ws::SOL_SOCKET_) {
        *sysLevel = SOL_SOCKET;
        for (const OptionName &row : kSocketOptions) {
            if (row.wsName == name) {
                *sysName = row.sysName;
                return true;
            }
        }
        return false;
    }
    if (level == ws::IPPROTO_TCP_ && name == ws::TCP_NODELAY_) {
        *sysLevel = IPPROTO_TCP;
        *sysName = TCP_NODELAY;
        return true;
    }
    return false;
}

TSocket p_socket(int af, int type, int protocol)
{
    if (!started())
        return kInvalidSocket;
    const int s = ::socket(af, type | SOCK_CLOEXEC, protocol);
    return s < 0 ? failErrno() : s;
}

int p_bind(TSocket s, const sockaddr *name, int namelen)
{
    if (!started())
        return kSocketError;
    return ::bind(s, name, static_cast<socklen_t>(namelen)) == 0 ? 0 : failErrno();
}

int p_listen(TSocket s, int backlog)
{
    if (!started())
        return kSocketError;
    return ::listen(s, backlog) == 0 ? 0 : failErrno();
}

TSocket p_accept(TSocket s, sockaddr *addr, int *addrlen)
{
    if (!started())
        return kInvalidSocket;
    socklen_t len = addrlen ? static_cast<socklen_t>(*addrlen) : 0;
    const int r = ::accept4(s, addr, addrlen ? &len : nullptr, SOCK_CLOEXEC);
    const int error = errno;
    if (CSocketNotify *sink = CSocketNotify::ForSocket(s))
        sink->AcceptCalled(s);
    if (r < 0) {
        errno = error;
        return failErrno();
    }
    if (addrlen)
        *addrlen = static_cast<int>(len);
    // The new socket takes the listening socket's blocking mode.
    if (::fcntl(s, F_GETFL) & O_NONBLOCK)
        ::fcntl(r, F_SETFL, ::fcntl(r, F_GETFL) | O_NONBLOCK);
    return r;
}

int p_closesocket(TSocket s)
{
    if (!started())
        return kSocketError;
    if (CSocketNotify *sink = CSocketNotify::ForSocket(s))
        sink->SocketClosed(s);
    return ::close(s) == 0 ? 0 : failErrno();
}

int p_connect(TSocket s, const sockaddr *name, int namelen)
{
    if (!started())
        return kSocketError;
    CSocketNotify *sink = CSocketNotify::ForSocket(s);
    if (::connect(s, name, static_cast<socklen_t>(namelen)) == 0) {
        if (sink)
            sink->ConnectedAtOnce(s);
        return 0;
    }
    if (errno == EINPROGRESS && sink)
        sink->ConnectStarted(s);
    return failErrno();
}

int p_getpeername(TSocket s, sockaddr *name, int *namelen)
{
    if (!started())
        return kSocketError;
    socklen_t len = static_cast<socklen_t>(*namelen);
    if (::getpeername(s, name, &len) != 0)
        return failErrno();
    *namelen = static_cast<int>(len);
    return 0;
}

int p_getsockname(TSocket s, sockaddr *name, int *namelen)
{
    if (!started())
        return kSocketError;
    socklen_t len = static_cast<socklen_t>(*namelen);
    if (::getsockname(s, name, &len) != 0)
        return failErrno();
    *namelen = static_cast<int>(len);
    return 0;
}

int p_getsockopt(TSocket s, int level, int optname, char *optval, int *optlen)
{
    if (!started())
        return kSocketError;
    int sysLevel = 0, sysName = 0;
    if (!systemOption(level, optname, &sysLevel, &sysName))
        return fail(10042);
    if (!optval || !optlen)
        return fail(10014);
    if (sysName == SO_LINGER) {
        if (*optlen < static_cast<int>(sizeof(TLinger)))
            return fail(10014);
        linger l{};
        socklen_t len = sizeof l;
        if (::getsockopt(s, sysLevel, sysName, &l, &len) != 0)
            return failErrno();
        const TLinger out{static_cast<std::uint16_t>(l.l_onoff), static_cast<std::uint16_t>(l.l_linger)};
        std::memcpy(optval, &out, sizeof out);
        *optlen = sizeof out;
        return 0;
    }
    if (*optlen < static_cast<int>(sizeof(int)))
        return fail(10014);
    int value = 0;
    socklen_t len = sizeof value;
    if (::getsockopt(s, sysLevel, sysName, &value, &len) != 0)
        return failErrno();
    if (sysName == SO_ERROR)
        value = WinsockErrorFromErrno(value);
    std::memcpy(optval, &value, sizeof value);
    *optlen = sizeof value;
    return 0;
}

int p_setsockopt(TSocket s, int level, int optname, const char *optval, int optlen)
{
    if (!started())
        return kSocketError;
    int sysLevel = 0, sysName = 0;
    if (!systemOption(level, optname, &sysLevel, &sysName))
        return fail(10042);
    if (!optval || optlen <= 0)
        return fail(10014);
    if (sysName == SO_LINGER) {
        if (optlen < static_cast<int>(sizeof(TLinger)))
            return fail(10014);
        TLinger in{};
        std::memcpy(&in, optval, sizeof in);
        const linger l{in.l_onoff, in.l_linger};
        return ::setsockopt(s, sysLevel, sysName, &l, sizeof l) == 0 ? 0 : failErrno();
    }
    int value = 0;
    std::memcpy(&value, optval, std::min<std::size_t>(sizeof value, static_cast<std::size_t>(optlen)));
    if (sysName == SO_RCVBUF || sysName == SO_SNDBUF) {
        // A request never shrinks the buffer the system chose: a TCP window of a few
        // kilobytes makes this system's TCP wait for its persist timer between segments,
        // and transfers crawl.
        int current = 0;
        socklen_t len = sizeof current;
        if (::getsockopt(s, sysLevel, sysName, &current, &len) != 0)
            return failErrno();
        if (value <= current)
            return 0;
    }
    return ::setsockopt(s, sysLevel, sysName, &value, sizeof value) == 0 ? 0 : failErrno();
}

std::uint32_t p_htonl(std::uint32_t v)
{
    return ::htonl(v);
}
std::uint16_t p_htons(std::uint16_t v)
{
    return ::htons(v);
}
std::uint32_t p_ntohl(std::uint32_t v)
{
    return ::ntohl(v);
}
std::uint16_t p_ntohs(std::uint16_t v)
{
    return ::ntohs(v);
}

std::uint32_t p_inet_addr(const char *cp)
{
    return cp ? ::inet_addr(cp) : INADDR_NONE;
}

char *p_inet_ntoa(in_addr in)
{
    thread_local char text[INET_ADDRSTRLEN];
    return ::inet_ntop(AF_INET, &in, text, sizeof text) ? text : nullptr;
}

int p_ioctlsocket(TSocket s, long cmd, std::uint32_t *argp)
{
    if (!started())
        return kSocketError;
    if (!argp)
        return fail(10014);
    if (cmd == ws::FIONBIO_) {
        const int flags = ::fcntl(s, F_GETFL);
        if (flags < 0)
            return failErrno();
        return ::fcntl(s, F_SETFL, *argp ? flags | O_NONBLOCK : flags & ~O_NONBLOCK) == 0 ? 0 : failErrno();
    }
    if (cmd == ws::FIONREAD_) {
        int count = 0;
        if (::ioctl(s, FIONREAD, &count) != 0)
            return failErrno();
        *argp = static_cast<std::uint32_t>(count);
        return 0;
    }
    return fail(10022);
}

int p_recv(TSocket s, char *buf, int len, int flags)
{
    if (!started())
        return kSocketError;
    const ssize_t n = ::recv(s, buf, static_cast<size_t>(len), flags);
    const int error = errno;
    // Taking data re-arms the read notification, as with the system's library.
    if (CSocketNotify *sink = CSocketNotify::ForSocket(s))
        sink->ReceiveCalled(s);
    if (n < 0) {
        errno = error;
        return failErrno();
    }
    return static_cast<int>(n);
}

int p_recvfrom(TSocket s, char *buf, int len, int flags, sockaddr *from, int *fromlen)
{
    if (!started())
        return kSocketError;
    socklen_t flen = fromlen ? static_cast<socklen_t>(*fromlen) : 0;
    const ssize_t n = ::recvfrom(s, buf, static_cast<size_t>(len), flags, from, fromlen ? &flen : nullptr);
    const int error = errno;
    if (CSocketNotify *sink = CSocketNotify::ForSocket(s))
        sink->ReceiveCalled(s);
    if (n < 0) {
        errno = error;
        return failErrno();
    }
    if (fromlen)
        *fromlen = static_cast<int>(flen);
    return static_cast<int>(n);
}

int p_select(int, fd_set *readfds, fd_set *writefds, fd_set *exceptfds, timeval *timeout)
{
    if (!started())
        return kSocketError;
    const int n = ::select(FD_SETSIZE, readfds, writefds, exceptfds, timeout);
    return n < 0 ? failErrno() : n;
}

int sent(TSocket s, ssize_t n, int len)
{
    const int error = errno;
    CSocketNotify *sink = CSocketNotify::ForSocket(s);
    // The write notification comes back when the system can take more.
    if (sink && ((n < 0 && (error == EAGAIN || error == EWOULDBLOCK)) || (n >= 0 && n < len)))
        sink->SendBlocked(s);
    if (n < 0) {
        errno = error;
        return failErrno();
    }
    return static_cast<int>(n);
}

int p_send(TSocket s, const char *buf, int len, int flags)
{
    if (!started())
        return kSocketError;
    return sent(s, ::send(s, buf, static_cast<size_t>(len), flags | MSG_NOSIGNAL), len);
}

int p_sendto(TSocket s, const char *buf, int len, int flags, const sockaddr *to, int tolen)
{
    if (!started())
        return kSocketError;
    return sent(
        s,
        ::sendto(s, buf, static_cast<size_t>(len), flags | MSG_NOSIGNAL, to, static_cast<socklen_t>(tolen)),
        len);
}

int p_shutdown(TSocket s, int how)
{
    if (!started())
        return kSocketError;
    return ::shutdown(s, how) == 0 ? 0 : failErrno();
}

// Host entries returned by the look-up functions live in per-thread storage, as with the
// system's library.
struct HostStore
{
    hostent entry{};
    QByteArray name;
    std::vector<in_addr> addresses;
    std::vector<char *> addressList;
    char *aliases[1] = {nullptr};
};

hostent *fillHost(HostStore &store, const QByteArray &name, std::vector<in_addr> addresses)
{
    store.name = name;
    store.addresses = std::move(addresses);
    store.addressList.clear();
    for (in_addr &a : store.addresses)
        store.addressList.push_back(reinterpret_cast<char *>(&a));
    store.addressList.push_back(nullptr);
    store.entry.h_name = store.name.data();
    store.entry.h_aliases = store.aliases;
    store.entry.h_addrtype = AF_INET;
    store.entry.h_length = sizeof(in_addr);
    store.entry.h_addr_list = store.addressList.data();
    return &store.entry;
}

hostent *p_gethostbyname(const char *name)
{
    if (!started())
        return nullptr;
    if (!name) {
        t_lastError = 10014;
        return nullptr;
    }
    addrinfo hints{};
    hints.ai_family = AF_INET;
    hints.ai_socktype = SOCK_STREAM;
    hints.ai_flags = AI_CANONNAME;
    addrinfo *result = nullptr;
    const int rc = ::getaddrinfo(name, nullptr, &hints, &result);
    if (rc != 0) {
        t_lastError = WinsockErrorFromResolver(rc, errno);
        return nullptr;
    }
    std::vector<in_addr> addresses;
    for (addrinfo *a = result; a; a = a->ai_next)
        addresses.push_back(reinterpret_cast<sockaddr_in *>(a->ai_addr)->sin_addr);
    const QByteArray canonical = result->ai_canonname ? QByteArray(result->ai_canonname) : QByteArray(name);
    ::freeaddrinfo(result);
    thread_local HostStore store;
    return fillHost(store, canonical, std::move(addresses));
}

hostent *p_gethostbyaddr(const char *addr, int len, int type)
{
    if (!started())
        return nullptr;
    if (!addr || type != AF_INET || len < static_cast<int>(sizeof(in_addr))) {
        t_lastError = 10047;
        return nullptr;
    }
    sockaddr_in sa{};
    sa.sin_family = AF_INET;
    std::memcpy(&sa.sin_addr, addr, sizeof sa.sin_addr);
    char host[NI_MAXHOST];
    const int rc = ::getnameinfo(reinterpret_cast<sockaddr *>(&sa), sizeof sa, host, sizeof host, nullptr, 0,
                                 NI_NAMEREQD);
    if (rc != 0) {
        t_lastError = WinsockErrorFromResolver(rc, errno);
        return nullptr;
    }
    thread_local HostStore store;
    return fillHost(store, QByteArray(host), {sa.sin_addr});
}

protoent *p_getprotobyname(const char *name)
{
    if (!started())
        return nullptr;
    protoent *p = name ? ::getprotobyname(name) : nullptr;
    if (!p)
        t_lastError = 11004;
    return p;
}

protoent *p_getprotobynumber(int proto)
{
    if (!started())
        return nullptr;
    protoent *p = ::getprotobynumber(proto);
    if (!p)
        t_lastError = 11004;
    return p;
}

servent *p_getservbyname(const char *name, const char *proto)
{
    if (!started())
        return nullptr;
    servent *s = name ? ::getservbyname(name, proto) : nullptr;
    if (!s)
        t_lastError = 11004;
    return s;
}

servent *p_getservbyport(int port, const char *proto)
{
    if (!started())
        return nullptr;
    servent *s = ::getservbyport(port, proto);
    if (!s)
        t_lastError = 11004;
    return s;
}

int p_gethostname(char *name, int namelen)
{
    if (!started())
        return kSocketError;
    if (!name || namelen <= 0)
        return fail(10014);
    if (::gethostname(name, static_cast<size_t>(namelen)) != 0)
        return fail(10014);
    name[namelen - 1] = '\0';
    return 0;
}

int p_WSAAsyncSelect(TSocket s, CSocketNotify *sink, unsigned msg, long events)
{
    if (!started())
        return kSocketError;
    if (!sink)
        return fail(10022);
    if (::fcntl(s, F_GETFD) < 0)
        return fail(10038);
    if (events == 0) {
        if (CSocketNotify *current = CSocketNotify::ForSocket(s))
            current->Select(s, msg, 0);
        return 0;
    }
    sink->Select(s, msg, events);
    return 0;
}

// Asynchronous look-ups run at once and post their result: the entry is copied into the
// caller's buffer and the message carries the task handle, and the error code in the high
// 16 bits of its second word with the buffer length needed in the low 16 bits.
class BufferWriter
{
public:
    BufferWriter(char *buf, int size) : m_buf(buf), m_size(size) {}
    // Reserves room for n bytes aligned for pointers; null when the buffer is too small.
    char *Take(std::size_t n)
    {
        const std::size_t at = (m_used + alignof(void *) - 1) & ~(alignof(void *) - 1);
        m_used = at + n;
        return m_buf && m_used <= static_cast<std::size_t>(m_size) ? m_buf + at : nullptr;
    }
    char *String(const char *text)
    {
        const std::size_t n = std::strlen(text) + 1;
        char *out = Take(n);
        if (out)
            std::memcpy(out, text, n);
        return out;
    }
    char **List(char **items, std::size_t itemSize)
    {
        std::size_t count = 0;
        while (items && items[count])
            ++count;
        auto **list = reinterpret_cast<char **>(Take((count + 1) * sizeof(char *)));
        for (std::size_t i = 0; i < count; ++i) {
            char *copy = itemSize ? Take(itemSize) : nullptr;
            if (itemSize && copy)
                std::memcpy(copy, items[i], itemSize);
            char *item = itemSize ? copy : String(items[i]);
            if (list)
                list[i] = item;
        }
        if (list)
            list[count] = nullptr;
        return list;
    }
    bool Fits() const { return m_used <= static_cast<std::size_t>(m_size) && m_buf; }
    int Used() const { return static_cast<int>(m_used); }

private:
    char *m_buf;
    int m_size;
    std::size_t m_used = 0;
};

std::atomic<int> g_nextTask{1};

// A look-up that cannot start returns the task handle 0.
int failTask(int code)
{
    t_lastError = code;
    return 0;
}

int postLookup(CSocketNotify *sink, unsigned msg, int error, int needed)
{
    const int handle = g_nextTask++;
    const auto lParam = (static_cast<std::uint32_t>(error) << 16) | static_cast<std::uint16_t>(needed);
    sink->PostMessage(msg, static_cast<std::uintptr_t>(handle), lParam);
    return handle;
}

int copyHost(CSocketNotify *sink, unsigned msg, hostent *h, char *buf, int buflen)
{
    if (!h)
        return postLookup(sink, msg, t_lastError, 0);
    BufferWriter w(buf, buflen);
    auto *entry = reinterpret_cast<hostent *>(w.Take(sizeof(hostent)));
    char *name = w.String(h->h_name);
    char **aliases = w.List(h->h_aliases, 0);
    char **addresses = w.List(h->h_addr_list, static_cast<std::size_t>(h->h_length));
    if (!w.Fits())
        return postLookup(sink, msg, 10055, w.Used());
    *entry = hostent{name, aliases, h->h_addrtype, h->h_length, addresses};
    return postLookup(sink, msg, 0, w.Used());
}

int copyProto(CSocketNotify *sink, unsigned msg, protoent *p, char *buf, int buflen)
{
    if (!p)
        return postLookup(sink, msg, t_lastError, 0);
    BufferWriter w(buf, buflen);
    auto *entry = reinterpret_cast<protoent *>(w.Take(sizeof(protoent)));
    char *name = w.String(p->p_name);
    char **aliases = w.List(p->p_aliases, 0);
    if (!w.Fits())
        return postLookup(sink, msg, 10055, w.Used());
    *entry = protoent{name, aliases, p->p_proto};
    return postLookup(sink, msg, 0, w.Used());
}

int copyServ(CSocketNotify *sink, unsigned msg, servent *s, char *buf, int buflen)
{
    if (!s)
        return postLookup(sink, msg, t_lastError, 0);
    BufferWriter w(buf, buflen);
    auto *entry = reinterpret_cast<servent *>(w.Take(sizeof(servent)));
    char *name = w.String(s->s_name);
    char **aliases = w.List(s->s_aliases, 0);
    char *proto = w.String(s->s_proto);
    if (!w.Fits())
        return postLookup(sink, msg, 10055, w.Used());
    *entry = servent{name, aliases, s->s_port, proto};
    return postLookup(sink, msg, 0, w.Used());
}

int p_WSAAsyncGetHostByAddr(CSocketNotify *sink, unsigned msg, const char *addr, int len, int type, char *buf,
                            int buflen)
{
    if (!started())
        return 0;
    return sink ? copyHost(sink, msg, p_gethostbyaddr(addr, len, type), buf, buflen) : failTask(10022);
}

int p_WSAAsyncGetHostByName(CSocketNotify *sink, unsigned msg, const char *name, char *buf, int buflen)
{
    if (!started())
        return 0;
    return sink ? copyHost(sink, msg, p_gethostbyname(name), buf, buflen) : failTask(10022);
}

int p_WSAAsyncGetProtoByNumber(CSocketNotify *sink, unsigned msg, int number, char *buf, int buflen)
{
    if (!started())
        return 0;
    return sink ? copyProto(sink, msg, p_getprotobynumber(number), buf, buflen) : failTask(10022);
}

int p_WSAAsyncGetProtoByName(CSocketNotify *sink, unsigned msg, const char *name, char *buf, int buflen)
{
    if (!started())
        return 0;
    return sink ? copyProto(sink, msg, p_getprotobyname(name), buf, buflen) : failTask(10022);
}

int p_WSAAsyncGetServByPort(CSocketNotify *sink, unsigned msg, int port, const char *proto, char *buf,
                            int buflen)
{
    if (!started())
        return 0;
    return sink ? copyServ(sink, msg, p_getservbyport(port, proto), buf, buflen) : failTask(10022);
}

int p_WSAAsyncGetServByName(CSocketNotify *sink, unsigned msg, const char *name, const char *proto, char *buf,
                            int buflen)
{
    if (!started())
        return 0;
    return sink ? copyServ(sink, msg, p_getservbyname(name, proto), buf, buflen) : failTask(10022);
}

int p_WSACancelAsyncRequest(int)
{
    if (!started())
        return kSocketError;
    // Look-ups complete when they are asked for: there is nothing left to cancel.
    return fail(10037);
}

thread_local TBlockingHook t_blockingHook = nullptr;

TBlockingHook p_WSASetBlockingHook(TBlockingHook hook)
{
    if (!started())
        return nullptr;
    const TBlockingHook previous = t_blockingHook;
    t_blockingHook = hook;
    return previous;
}

int p_WSAUnhookBlockingHook()
{
    if (!started())
        return kSocketError;
    t_blockingHook = nullptr;
    return 0;
}

int p_WSAGetLastError()
{
    return t_lastError;
}

void p_WSASetLastError(int error)
{
    t_lastError = error;
}

int p_WSACancelBlockingCall()
{
    if (!started())
        return kSocketError;
    // Calls never block inside this library, so none is ever in progress.
    return fail(10022);
}

int p_WSAIsBlocking()
{
    return 0;
}

int p_WSAStartup(std::uint16_t versionRequested, TWSAData *data)
{
    const int major = versionRequested & 0xff;
    const int minor = versionRequested >> 8;
    if (major < 1 || (major == 1 && minor < 1))
        return ws::WSAVERNOTSUPPORTED;
    if (!data)
        return 10014;
    *data = TWSAData{};
    data->wVersion = 0x0101;
    data->wHighVersion = 0x0101;
    std::strcpy(data->szDescription, "Corvale POSIX sockets 1.1");
    std::strcpy(data->szSystemStatus, "Running");
    const long openMax = ::sysconf(_SC_OPEN_MAX);
    data->iMaxSockets = static_cast<std::uint16_t>(openMax > 0 && openMax < 32767 ? openMax : 32767);
    data->iMaxUdpDg = 65467;
    ++g_startups;
    return 0;
}

int p_WSACleanup()
{
    int count = g_startups.load();
    while (count > 0 && !g_startups.compare_exchange_weak(count, count - 1)) {
    }
    return count > 0 ? 0 : fail(ws::WSANOTINITIALISED);
}

int p___WSAFDIsSet(TSocket s, fd_set *set)
{
    return set && s >= 0 && s < FD_SETSIZE && FD_ISSET(s, set) ? 1 : 0;
}

// Stand-ins before loading: they fail, and the last error is "not initialised".
template <typename F> struct Stub;
template <typename R, typename... A> struct Stub<R (*)(A...)>
{
    static R call(A...)
    {
        if constexpr (std::is_void_v<R>)
            return;
        else if constexpr (std::is_pointer_v<R>)
            return nullptr;
        else
            return static_cast<R>(-1);
    }
};

int stubLastError()
{
    return ws::WSANOTINITIALISED;
}
int stubZeroInt()
{
    return 0;
}
TBlockingHook stubBlockingHook(TBlockingHook)
{
    return nullptr;
}
int stubFdIsSet(TSocket, fd_set *)
{
    return 0;
}

std::mutex g_librariesMutex;
std::map<QString, TWinsockFunctions> &libraries()
{
    static std::map<QString, TWinsockFunctions> map;
    return map;
}

} // namespace

bool TWinsockFunctions::Complete() const
{
#define CVB_WINSOCK_PRESENT(ordinal, name, ret, params) &&name != nullptr
    return true CVB_WINSOCK_ENTRIES(CVB_WINSOCK_PRESENT);
#undef CVB_WINSOCK_PRESENT
}

const TWinsockFunctions &WinsockStubs()
{
    static const TWinsockFunctions stubs = [] {
        TWinsockFunctions t;
#define CVB_WINSOCK_STUB(ordinal, name, ret, params) t.name = &Stub<decltype(t.name)>::call;
        CVB_WINSOCK_ENTRIES(CVB_WINSOCK_STUB)
#undef CVB_WINSOCK_STUB
        t.WSAGetLastError = &stubLastError;
        t.WSAIsBlocking = &stubZeroInt;
        t.WSASetBlockingHook = &stubBlockingHook;
        t.__WSAFDIsSet = &stubFdIsSet;
        return t;
    }();
    return stubs;
}

const TWinsockFunctions &PosixWinsock()
{
    static const TWinsockFunctions posix = [] {
        TWinsockFunctions t;
#define CVB_WINSOCK_POSIX(ordinal, name, ret, params) t.name = &p_##name;
        CVB_WINSOCK_ENTRIES(CVB_WINSOCK_POSIX)
#undef CVB_WINSOCK_POSIX
        return t;
    }();
    return posix;
}

void RegisterWinsockLibrary(const QString &name, const TWinsockFunctions &functions)
{
    std::lock_guard lock(g_librariesMutex);
    libraries()[name.toUpper()] = functions;
}

void UnregisterWinsockLibrary(const QString &name)
{
    std::lock_guard lock(g_librariesMutex);
    libraries().erase(name.toUpper());
}

bool FindWinsockLibrary(const QString &name, TWinsockFunctions *functions)
{
    std::lock_guard lock(g_librariesMutex);
    auto it = libraries().find(name.toUpper());
    if (it != libraries().end()) {
        *functions = it->second;
        return true;
    }
    if (name.compare(QStringLiteral("WSOCK32.DLL"), Qt::CaseInsensitive) == 0) {
        *functions = PosixWinsock();
        return true;
    }
    return false;
}

} // namespace cvb
