#include "socket/Winsock.h"

#include <arpa/inet.h>
#include <cstring>

namespace cvb {

namespace {

constexpr std::uint16_t kVersion11 = 0x0101;

} // namespace

CWinsock::CWinsock(QObject *parent) : TcvbComponent(parent), m_ws(WinsockStubs())
{
    std::strcpy(m_data.szSystemStatus, "Down");
}

CWinsock::~CWinsock()
{
    BeginTearDown();
    if (m_loaded)
        Unload();
}

void CWinsock::SetInfo(const char *text)
{
    std::strncpy(m_data.szDescription, text, sizeof m_data.szDescription - 1);
    m_data.szDescription[sizeof m_data.szDescription - 1] = '\0';
}

QString CWinsock::WinsockInfo() const
{
    return QString::fromLocal8Bit(m_data.szDescription);
}

QString CWinsock::WinsockStatus() const
{
    return QString::fromLocal8Bit(m_data.szSystemStatus);
}

void CWinsock::SetWinsockLoaded(bool load)
{
    if (!m_notBusy)
        return;
    m_notBusy = false;
    struct Release
    {
        bool &flag;
        ~Release() { flag = true; }
    } release{m_notBusy};
    if (load && !m_loaded) {
        m_loaded = Load();
    } else if (!load && m_loaded) {
        m_loaded = false;
        Unload();
    }
}

bool CWinsock::Load()
{
    if (++m_loadCount > 1)
        return true;
    const auto failed = [this](const char *text) {
        SetInfo(text);
        m_ws = WinsockStubs();
        m_handle = false;
        m_loadCount = 0;
        return false;
    };
    TWinsockFunctions library;
    if (!FindWinsockLibrary(m_libraryName, &library))
        return failed("Could not load Winsock DLL.");
    m_handle = true;
    if (!library.Complete()) {
        failed("Failure to get Winsock functions.");
        ReportError(0, WinsockInfo());
        return false;
    }
    m_ws = library;
    const int rc = m_ws.WSAStartup(kVersion11, &m_data);
    if (rc == 10022 || rc == ws::WSAVERNOTSUPPORTED)
        return failed("Version not supported.");
    if (rc == ws::WSASYSNOTREADY)
        return failed("Network subsystem not ready.");
    if (m_data.wVersion != kVersion11) {
        if (rc == 0)
            m_ws.WSACleanup();
        return failed("Incompatible Winsock version.");
    }
    return true;
}

void CWinsock::Unload()
{
    if (m_loadCount == 0 || !m_handle)
        return;
    --m_loadCount;
    m_ws.WSACancelBlockingCall();
    m_ws.WSACleanup();
    m_data.szDescription[0] = '\0';
    std::strcpy(m_data.szSystemStatus, "Down");
    m_data.iMaxSockets = 0;
    m_data.iMaxUdpDg = 0;
    if (m_loadCount == 0) {
        m_ws = WinsockStubs();
        m_handle = false;
    }
}

QString CWinsock::DottedAddress(std::uint32_t networkOrder)
{
    in_addr a{};
    a.s_addr = networkOrder;
    const char *text = m_ws.inet_ntoa(a);
    return text ? QString::fromLatin1(text) : QString();
}

QString CWinsock::LocalHost()
{
    const TSocket s = LocalHostSocket();
    if (s != kInvalidSocket) {
        sockaddr_in name{};
        int len = sizeof name;
        if (m_ws.getsockname(s, reinterpret_cast<sockaddr *>(&name), &len) == 0) {
            const QString text = DottedAddress(name.sin_addr.s_addr);
            if (!text.isEmpty())
                return text;
        }
    }
    if (m_localAddress != 0) {
        const QString text = DottedAddress(m_localAddress);
        return text.isEmpty() ? DescribeError(m_ws.WSAGetLastError()) : text;
    }
    char name[100] = {};
    if (m_ws.gethostname(name, sizeof name) != 0)
        return DescribeError(m_ws.WSAGetLastError());
    return QString::fromLocal8Bit(name);
}

void CWinsock::SetLocalAddress(const QString &host)
{
    int error = 0;
    m_localAddress = ResolveHost(host, &error);
}

std::uint32_t CWinsock::ResolveHost(const QString &host, int *error)
{
    *error = 0;
    const QByteArray text = host.toLocal8Bit();
    const std::uint32_t dotted = m_ws.inet_addr(text.constData());
    if (dotted != INADDR_NONE || host == QLatin1String("255.255.255.255"))
        return dotted;
    const hostent *h = m_ws.gethostbyname(text.constData());
    if (!h || !h->h_addr_list || !h->h_addr_list[0]) {
        *error = m_ws.WSAGetLastError();
        return 0;
    }
    std::uint32_t address = 0;
    std::memcpy(&address, h->h_addr_list[0], sizeof address);
    return address;
}

} // namespace cvb
