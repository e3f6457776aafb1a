#include "socket/IPPort.h"

#include <QCoreApplication>
#include <QSysInfo>
#include <cerrno>
#include <cstring>
#include <gtest/gtest.h>
#include <netdb.h>

using namespace cvb;

namespace {

int grantVersion22(std::uint16_t, TWSAData *data)
{
    *data = TWSAData{};
    data->wVersion = 0x0202;
    return 0;
}
int refuseVersion(std::uint16_t, TWSAData *)
{
    return 10092;
}
int subsystemNotReady(std::uint16_t, TWSAData *)
{
    return 10091;
}

// Registers a variant of the built-in library under a name for one test.
class FakeLibrary
{
public:
    FakeLibrary(const QString &name, TWinsockFunctions functions) : m_name(name)
    {
        RegisterWinsockLibrary(name, functions);
    }
    ~FakeLibrary() { UnregisterWinsockLibrary(m_name); }

private:
    QString m_name;
};

QString loadAndTell(const QString &library)
{
    CWinsock w;
    w.SetLibraryName(library);
    w.SetWinsockLoaded(true);
    EXPECT_FALSE(w.WinsockLoaded());
    EXPECT_EQ(w.LoadCount(), 0);
    // The stubs are back in place.
    EXPECT_EQ(w.Ws().WSAGetLastError(), 10093);
    return w.WinsockInfo();
}

} // namespace

TEST(CWinsock, StubsFailBeforeLoading)
{
    CWinsock w;
    EXPECT_FALSE(w.WinsockLoaded());
    EXPECT_EQ(w.WinsockStatus(), "Down");
    EXPECT_EQ(w.Ws().socket(AF_INET, SOCK_STREAM, 0), kInvalidSocket);
    EXPECT_EQ(w.Ws().WSAGetLastError(), 10093);
    EXPECT_EQ(w.Ws().gethostbyname("localhost"), nullptr);
    EXPECT_EQ(w.Ws().WSAIsBlocking(), 0);
    EXPECT_EQ(w.Ws().__WSAFDIsSet(0, nullptr), 0);
    w.Ws().WSASetLastError(5);
    EXPECT_EQ(w.Ws().WSAGetLastError(), 10093);
    EXPECT_EQ(w.LocalHost(), "[10093] Winsock not loaded yet (WSANOTINITIALISED).");
}

TEST(CWinsock, LoadsTheBuiltInLibraryAndUnloadsIt)
{
    CWinsock w;
    w.SetWinsockLoaded(true);
    ASSERT_TRUE(w.WinsockLoaded());
    w.SetWinsockLoaded(true);
    EXPECT_EQ(w.LoadCount(), 1);
    EXPECT_FALSE(w.WinsockInfo().isEmpty());
    EXPECT_EQ(w.WinsockStatus(), "Running");
    EXPECT_EQ(w.LocalHost(), QSysInfo::machineHostName());
    w.SetWinsockLoaded(false);
    EXPECT_FALSE(w.WinsockLoaded());
    EXPECT_EQ(w.WinsockInfo(), "");
    EXPECT_EQ(w.WinsockStatus(), "Down");
    EXPECT_EQ(w.Ws().WSAGetLastError(), 10093);
}

TEST(CWinsock, EachLoadFailureHasItsText)
{
    EXPECT_EQ(loadAndTell("NOSUCH.DLL"), "Could not load Winsock DLL.");

    TWinsockFunctions v22 = PosixWinsock();
    v22.WSAStartup = &grantVersion22;
    FakeLibrary other("V22.DLL", v22);
    EXPECT_EQ(loadAndTell("v22.dll"), "Incompatible Winsock version.");

    TWinsockFunctions old = PosixWinsock();
    old.WSAStartup = &refuseVersion;
    FakeLibrary refusing("OLD.DLL", old);
    EXPECT_EQ(loadAndTell("OLD.DLL"), "Version not supported.");

    TWinsockFunctions down = PosixWinsock();
    down.WSAStartup = &subsystemNotReady;
    FakeLibrary notReady("DOWN.DLL", down);
    EXPECT_EQ(loadAndTell("DOWN.DLL"), "Network subsystem not ready.");
}

TEST(CWinsock, MissingEntryPointIsReportedAsErrorZero)
{
    TWinsockFunctions partial = PosixWinsock();
    partial.WSACancelAsyncRequest = nullptr;
    FakeLibrary lib("PARTIAL.DLL", partial);
    CWinsock w;
    w.SetLibraryName("PARTIAL.DLL");
    try {
        w.SetWinsockLoaded(true);
        FAIL() << "no exception";
    } catch (const EcvbComponent &e) {
        EXPECT_EQ(e.Code(), 0);
        EXPECT_EQ(e.Message(), "0: Failure to get Winsock functions.");
    }
    EXPECT_FALSE(w.WinsockLoaded());
    EXPECT_EQ(w.WinsockInfo(), "Failure to get Winsock functions.");
    // The guard is released: a later load with a good library works.
    w.SetLibraryName("WSOCK32.DLL");
    w.SetWinsockLoaded(true);
    EXPECT_TRUE(w.WinsockLoaded());
}

TEST(WinsockErrors, SystemAndResolverFailuresMapToSocketCodes)
{
    EXPECT_EQ(WinsockErrorFromErrno(ECONNREFUSED), 10061);
    EXPECT_EQ(WinsockErrorFromErrno(EWOULDBLOCK), 10035);
    EXPECT_EQ(WinsockErrorFromErrno(EINPROGRESS), 10035);
    EXPECT_EQ(WinsockErrorFromErrno(ECONNRESET), 10054);
    EXPECT_EQ(WinsockErrorFromErrno(ENOTCONN), 10057);
    EXPECT_EQ(WinsockErrorFromErrno(EADDRINUSE), 10048);
    EXPECT_EQ(WinsockErrorFromResolver(EAI_NONAME, 0), 11001);
    EXPECT_EQ(WinsockErrorFromResolver(EAI_AGAIN, 0), 11002);
    EXPECT_EQ(WinsockErrorFromResolver(EAI_FAIL, 0), 11003);
    EXPECT_EQ(WinsockErrorFromResolver(EAI_NODATA, 0), 11004);
    EXPECT_EQ(WinsockErrorFromResolver(EAI_SYSTEM, ETIMEDOUT), 10060);
}

TEST(PosixWinsock, LooksUpHostsAndAnswersAsynchronousLookUps)
{
    CWinsock w;
    w.SetWinsockLoaded(true);
    const TWinsockFunctions &ws = w.Ws();
    hostent *h = ws.gethostbyname("localhost");
    ASSERT_NE(h, nullptr);
    in_addr first{};
    std::memcpy(&first, h->h_addr_list[0], sizeof first);
    EXPECT_STREQ(ws.inet_ntoa(first), "127.0.0.1");
    EXPECT_EQ(ws.gethostbyname("no.such.host.invalid"), nullptr);
    EXPECT_EQ(ws.WSAGetLastError(), 11001);

    CSocketNotify sink;
    unsigned gotMsg = 0;
    std::uint32_t gotParam = 0xffffffff;
    sink.OnMessage = [&](unsigned msg, std::uintptr_t, std::uint32_t lParam) {
        gotMsg = msg;
        gotParam = lParam;
    };
    alignas(hostent) char buf[1024];
    EXPECT_NE(ws.WSAAsyncGetHostByName(&sink, 2000, "localhost", buf, sizeof buf), 0);
    QCoreApplication::sendPostedEvents(&sink);
    EXPECT_EQ(gotMsg, 2000u);
    EXPECT_EQ(gotParam >> 16, 0u);
    const auto *copy = reinterpret_cast<const hostent *>(buf);
    std::memcpy(&first, copy->h_addr_list[0], sizeof first);
    EXPECT_STREQ(ws.inet_ntoa(first), "127.0.0.1");
    // Too small a buffer: 10055 and the size needed.
    ws.WSAAsyncGetHostByName(&sink, 2001, "localhost", buf, 8);
    QCoreApplication::sendPostedEvents(&sink);
    EXPECT_EQ(gotParam >> 16, 10055u);
    EXPECT_GT(gotParam & 0xffff, 8u);
}
