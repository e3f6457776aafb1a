// The remote access (dial-up) service as the dial-up component sees it: the records it exchanges,
// the table of entry points, the dial progress notification and the loader of the service library.
//
// The library is loaded by name ("RASAPI32.DLL"). The name resolves to a built-in backend:
//   CVB_RAS=sim      the scripted simulator (RasSimulator.h, options in CVB_RAS_SIM);
//   CVB_RAS=nmcli    NetworkManager through the nmcli program (RasNetworkManager.h);
//   CVB_RAS unset    NetworkManager when nmcli is found on PATH;
//   anything else    no backend (useful to see the load fail).
// Without a backend the load fails.
#pragma once
#include <QCoreApplication>
#include <QEvent>
#include <QObject>
#include <QPointer>
#include <QString>
#include <cstdint>
#include <functional>
#include <memory>

namespace cvb {

// A connection made or seen by the service; 0 stands for none.
using HRASCONN = std::uint32_t;

// Sizes of the records; the caller writes the size into each record's first field and the service
// refuses a record whose size it does not know.
constexpr std::uint32_t kRasDialParamsSize = 1052;
constexpr std::uint32_t kRasConnStatusSize = 160;
constexpr std::uint32_t kRasEntryNameSize = 264;
constexpr std::uint32_t kRasConnSize = 412;
constexpr std::uint32_t kRasCredentialsSize = 540;

// Notifier kind of RasDialA: notify a window (here a QObject) with the dial event message.
constexpr std::uint32_t kRasNotifyWindow = 0xFFFFFFFFu;

// Service error codes the layer itself relies on.
constexpr std::uint32_t kRasErrorInvalidHandle = 6;
constexpr std::uint32_t kRasErrorBufferTooSmall = 603;
constexpr std::uint32_t kRasErrorWrongInfo = 604;
constexpr std::uint32_t kRasErrorCannotOpenPhonebook = 621;
constexpr std::uint32_t kRasErrorEntryNotFound = 623;
constexpr std::uint32_t kRasErrorInvalidSize = 632;

// Connection states passed with the dial progress.
constexpr std::uint32_t kRasStatePaused = 4096;
constexpr std::uint32_t kRasStateConnected = 8192;
constexpr std::uint32_t kRasStateDisconnected = 8193;

// Credential mask bits.
constexpr std::uint32_t kRasCredUserName = 1;
constexpr std::uint32_t kRasCredPassword = 2;
constexpr std::uint32_t kRasCredDomain = 4;

struct TRasDialParams
{
    std::uint32_t size;
    char entryName[257];
    char phoneNumber[129];
    char callbackNumber[129];
    char userName[257];
    char password[257];
    char domain[16];
};

struct TRasConnStatus
{
    std::uint32_t size;
    std::uint32_t state;
    std::uint32_t error;
    char deviceType[17];
    char deviceName[129];
};

struct TRasEntryName
{
    std::uint32_t size;
    char entryName[257];
};

struct TRasConn
{
    std::uint32_t size;
    HRASCONN handle;
    char entryName[257];
    char deviceType[17];
    char deviceName[129];
};

struct TRasCredentials
{
    std::uint32_t size;
    std::uint32_t mask;
    char userName[257];
    char password[257];
    char domain[16];
};

static_assert(sizeof(TRasDialParams) == kRasDialParamsSize);
static_assert(sizeof(TRasConnStatus) == kRasConnStatusSize);
static_assert(sizeof(TRasEntryName) == kRasEntryNameSize);
static_assert(sizeof(TRasConn) == kRasConnSize);
static_assert(sizeof(TRasCredentials) == kRasCredentialsSize);

// Writes text into a fixed character field: cut to fit (never inside a UTF-8 sequence) and ended
// with a NUL.
void RasSetField(char *field, std::size_t fieldSize, const QString &text);
template <std::size_t N> void RasSetField(char (&field)[N], const QString &text)
{
    RasSetField(field, N, text);
}
// Reads a fixed character field up to its NUL (or its end).
QString RasField(const char *field, std::size_t fieldSize);
template <std::size_t N> QString RasField(const char (&field)[N])
{
    return RasField(field, N);
}

// The entry points of the service library. A function the library lacks is left empty.
struct TRasEntryPoints
{
    // (extensions, phonebook or null, parameters, notifier kind, notifier, out handle)
    std::function<std::uint32_t(const void *, const char *, TRasDialParams *, std::uint32_t, QObject *,
                                HRASCONN *)>
        RasDialA;
    // (reserved, phonebook or null, entries, in/out byte count, out entry count)
    std::function<std::uint32_t(const void *, const char *, TRasEntryName *, std::uint32_t *,
                                std::uint32_t *)>
        RasEnumEntriesA;
    // (connections, in/out byte count, out connection count)
    std::function<std::uint32_t(TRasConn *, std::uint32_t *, std::uint32_t *)> RasEnumConnectionsA;
    std::function<std::uint32_t(HRASCONN)> RasHangUpA;
    std::function<std::uint32_t(HRASCONN, TRasConnStatus *)> RasGetConnectStatusA;
    // (phonebook or null, parameters with the entry name filled in, out "password retrieved")
    std::function<std::uint32_t(const char *, TRasDialParams *, int *)> RasGetEntryDialParamsA;
    // (phonebook or null, entry name, credentials with the wanted mask)
    std::function<std::uint32_t(const char *, const char *, TRasCredentials *)> RasGetCredentialsA;
};

// The entry points of a backend object that has the service's functions as members.
template <typename Backend> TRasEntryPoints RasEntryPointsOf(Backend *b)
{
    TRasEntryPoints f;
    f.RasDialA = [b](const void *, const char *pb, TRasDialParams *p, std::uint32_t kind, QObject *n,
                     HRASCONN *h) { return b->Dial(pb, p, kind, n, h); };
    f.RasEnumEntriesA = [b](const void *, const char *pb, TRasEntryName *e, std::uint32_t *bytes,
                            std::uint32_t *count) { return b->EnumEntries(pb, e, bytes, count); };
    f.RasEnumConnectionsA = [b](TRasConn *c, std::uint32_t *bytes, std::uint32_t *count) {
        return b->EnumConnections(c, bytes, count);
    };
    f.RasHangUpA = [b](HRASCONN h) { return b->HangUp(h); };
    f.RasGetConnectStatusA = [b](HRASCONN h, TRasConnStatus *s) { return b->GetConnectStatus(h, s); };
    f.RasGetEntryDialParamsA = [b](const char *pb, TRasDialParams *p, int *retrieved) {
        return b->GetEntryDialParams(pb, p, retrieved);
    };
    f.RasGetCredentialsA = [b](const char *pb, const char *e, TRasCredentials *c) {
        return b->GetCredentials(pb, e, c);
    };
    return f;
}

// Leaves one function out of a table, by its name ("RasHangUpA"; the trailing A may be left out).
// False when there is no function of that name.
bool RasRemoveEntryPoint(TRasEntryPoints *functions, const QString &name);

// The backend behind a service library is one per program, like the system service it stands
// for: every component that loads the library sees the same connections, and a connection outlives
// the component that made it. It lives as long as the application object.
template <typename Backend> Backend *RasSharedBackend()
{
    static QPointer<Backend> shared;
    if (!shared) {
        shared = new Backend();
        shared->setParent(QCoreApplication::instance());
    }
    return shared;
}

// A loaded service library: its entry points.
class CRasLibrary
{
public:
    explicit CRasLibrary(TRasEntryPoints functions) : m_functions(std::move(functions)) {}

    const TRasEntryPoints &Functions() const { return m_functions; }

private:
    TRasEntryPoints m_functions;
};

// Loads the service library of that name; null when it cannot be loaded.
std::unique_ptr<CRasLibrary> LoadRasLibrary(const QString &name);

// The number of the notification registered under a name: the same name always gives the same
// number; 0 when no number is left.
int RegisterWindowMessage(const QString &name);

// The dial progress message: registered as "RasDialEvent", or 52429 when registration fails.
int RasDialEventMessage();

// Dial progress as delivered to the notifier: wParam is the connection state, lParam the error code.
class TRasDialMessage : public QEvent
{
public:
    TRasDialMessage(int message, std::uint32_t state, std::uint32_t error)
        : QEvent(static_cast<QEvent::Type>(message)), wParam(state), lParam(error)
    {
    }
    const std::uint32_t wParam;
    const std::uint32_t lParam;
};

// Posts one dial progress message to a notifier through the Qt event queue of its thread.
void RasPostDialEvent(QObject *notifier, std::uint32_t state, std::uint32_t error);

} // namespace cvb
