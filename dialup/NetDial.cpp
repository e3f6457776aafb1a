#include "dialup/NetDial.h"

#include "dialup/NetDialTexts.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QPointer>
#include <QScopeGuard>
#include <QThread>
#include <algorithm>
#include <cstring>
#include <vector>

namespace cvb {

namespace {

constexpr std::uint32_t kErrorLibraryNotLoaded = 200;
constexpr std::uint32_t kErrorLibraryIncomplete = 201;

// The hang-up poll sleeps this long between two looks at the connection, and gives up after the
// limit: a service that never lets go of a handle must not hold the program for ever.
constexpr int kHangUpPollMs = 5;
constexpr int kHangUpPollLimitMs = 60000;

// Ten connections, when the service does not say how many there are.
constexpr std::uint32_t kDefaultConnectionBytes = 10 * kRasConnSize;

void WipeSecret(char *field, std::size_t size)
{
    std::memset(field, 0, size);
}

} // namespace

// The hidden receiver of the service's dial progress messages. It never objects to the end of the
// session.
class CNetDialNotifier : public QObject
{
public:
    explicit CNetDialNotifier(TcvbNetDial *owner) : QObject(owner), m_owner(owner)
    {
        setObjectName(QStringLiteral("RasDialNotifier"));
    }

    bool event(QEvent *e) override
    {
        if (e->type() == m_owner->DialEventMessage()) {
            if (const auto *m = dynamic_cast<const TRasDialMessage *>(e)) {
                m_owner->DialEvent(m->wParam, m->lParam);
                return true;
            }
        }
        return QObject::event(e);
    }

private:
    TcvbNetDial *m_owner;
};

TcvbNetDial::TcvbNetDial(QObject *parent) : TcvbComponent(parent)
{
    m_dialEventMessage = RasDialEventMessage();
    m_notifier = new CNetDialNotifier(this);
}

TcvbNetDial::~TcvbNetDial()
{
    // A connection that is up stays up: destroying the component does not hang up.
    BeginTearDown();
}

std::exception_ptr TcvbNetDial::CreateError(int code, const QString &text)
{
    return std::make_exception_ptr(EcvbNetDial(code, text));
}

void TcvbNetDial::CloneFromComponent(const TcvbNetDial &other)
{
    SetRaiseOnError(other.RaiseOnError());
    OnError = other.OnError;
    User = other.User;
    Password = other.Password;
    Phonebook = other.Phonebook;
    PhonebookEntry = other.PhonebookEntry;
    PhoneNumber = other.PhoneNumber;
    CallbackNumber = other.CallbackNumber;
    Domain = other.Domain;
    OnStatus = other.OnStatus;
    OnPhonebookEntry = other.OnPhonebookEntry;
    OnConnectedEntry = other.OnConnectedEntry;
}

void TcvbNetDial::SetAction(TcvbNetDialActions action)
{
    switch (action) {
    case ntdIdle:
        // Idle only means something while a connect is dialling: it cancels the dial.
        if (m_action == ntdConnect)
            Disconnect();
        return;
    case ntdConnect:
        Connect();
        return;
    case ntdDisconnect:
        Disconnect();
        return;
    case ntdListPhonebook:
        RunListing(bool(OnPhonebookEntry), ntdListPhonebook, &TcvbNetDial::ListPhonebook);
        return;
    case ntdListConnections:
        RunListing(bool(OnConnectedEntry), ntdListConnections, &TcvbNetDial::ListConnections);
        return;
    }
    throw EPropertyError("invalid value for Action");
}

const char *TcvbNetDial::PhonebookArg(const QByteArray &path) const
{
    return path.isEmpty() ? nullptr : path.constData();
}

bool TcvbNetDial::LoadLibrary()
{
    if (m_libraryLoaded)
        return true;
    m_library = LoadRasLibrary(QStringLiteral("RASAPI32.DLL"));
    if (!m_library) {
        ReportServiceError(kErrorLibraryNotLoaded);
        return false;
    }
    const TRasEntryPoints &f = m_library->Functions();
    if (!f.RasDialA || !f.RasEnumEntriesA || !f.RasEnumConnectionsA || !f.RasHangUpA ||
        !f.RasGetConnectStatusA || !f.RasGetEntryDialParamsA) {
        m_library.reset();
        ReportServiceError(kErrorLibraryIncomplete);
        return false;
    }
    m_libraryLoaded = true;
    return true;
}

void TcvbNetDial::HandleStatus(std::uint32_t state, std::uint32_t error)
{
    if (OnStatus)
        OnStatus(this, static_cast<int>(state), static_cast<int>(error),
                 NetDialStatusText(static_cast<int>(state)), NetDialErrorText(static_cast<int>(error)));
    if (state == kRasStateConnected)
        m_action = ntdIdle;
    if (state >= kRasStatePaused || error != 0) {
        m_dialEnded = true;
        m_action = ntdIdle;
    }
}

void TcvbNetDial::DialEvent(std::uint32_t state, std::uint32_t error)
{
    try {
        HandleStatus(state, error);
    } catch (...) {
        // An exception must not cross the event loop. A connect that waits raises it to its caller.
        if (m_waiting && !m_waitError) {
            m_waitError = std::current_exception();
            m_dialEnded = true;
            return;
        }
        // No caller waits: it goes where errors of notifications go.
        try {
            throw;
        } catch (const EcvbComponent &e) {
            FireError(e.Code(), e.Text());
        } catch (const std::exception &e) {
            FireError(0, QString::fromUtf8(e.what()));
        }
    }
}

std::uint32_t TcvbNetDial::FillDialParams(TRasDialParams &params, const QByteArray &phonebook)
{
    const TRasEntryPoints &ras = m_library->Functions();
    params.size = kRasDialParamsSize;
    if (PhonebookEntry.isEmpty()) {
        RasSetField(params.phoneNumber, PhoneNumber);
        RasSetField(params.callbackNumber, CallbackNumber);
        RasSetField(params.userName, User);
        RasSetField(params.password, Password);
        RasSetField(params.domain, Domain);
        return 0;
    }
    RasSetField(params.entryName, PhonebookEntry);
    if (!ras.RasGetCredentialsA) {
        // A service without stored credentials keeps the whole dial parameters with the entry.
        int passwordRetrieved = 0;
        return ras.RasGetEntryDialParamsA(PhonebookArg(phonebook), &params, &passwordRetrieved);
    }
    TRasCredentials credentials{};
    credentials.size = kRasCredentialsSize;
    credentials.mask = kRasCredUserName | kRasCredPassword | kRasCredDomain;
    // Without stored credentials the entry is dialled as it is.
    if (ras.RasGetCredentialsA(PhonebookArg(phonebook), PhonebookEntry.toUtf8().constData(), &credentials) ==
        0) {
        if (credentials.mask & kRasCredUserName)
            std::memcpy(params.userName, credentials.userName, sizeof params.userName);
        if (credentials.mask & kRasCredPassword)
            std::memcpy(params.password, credentials.password, sizeof params.password);
        if (credentials.mask & kRasCredDomain)
            std::memcpy(params.domain, credentials.domain, sizeof params.domain);
    }
    WipeSecret(credentials.password, sizeof credentials.password);
    return 0;
}

void TcvbNetDial::Connect()
{
    if (!LoadLibrary())
        return;
    m_action = ntdConnect;
    auto idle = qScopeGuard([this] { m_action = ntdIdle; });

    const QByteArray phonebook = Phonebook.toUtf8();
    TRasDialParams params{};
    std::uint32_t code = FillDialParams(params, phonebook);
    HRASCONN handle = 0;
    if (code == 0) {
        m_dialEnded = false;
        code = m_library->Functions().RasDialA(nullptr, PhonebookArg(phonebook), &params, kRasNotifyWindow,
                                               m_notifier, &handle);
    }
    WipeSecret(params.password, sizeof params.password);
    if (code != 0) {
        m_action = ntdIdle;
        ReportServiceError(code);
        return;
    }
    // Kept at once, so that a handler that cancels the dial during the wait can hang it up.
    m_connection = handle;

    // Progress arrives through the event queue: run it, sleeping while nothing happens.
    QPointer<TcvbNetDial> self(this);
    const bool outerWaiting = m_waiting;
    m_waiting = true;
    while (!m_dialEnded) {
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
        if (!self) {
            idle.dismiss(); // the component went during the wait
            return;
        }
    }
    m_waiting = outerWaiting;
    if (m_waitError)
        std::rethrow_exception(std::exchange(m_waitError, nullptr));
}

void TcvbNetDial::Disconnect()
{
    m_action = ntdDisconnect;
    std::uint32_t code = 0;
    {
        auto idle = qScopeGuard([this] { m_action = ntdIdle; });
        if (m_connection != 0 && m_libraryLoaded) {
            const HRASCONN handle = m_connection;
            auto release = qScopeGuard([this, handle] {
                if (m_connection == handle)
                    m_connection = 0;
                // A dial that was still in progress is over as well.
                m_dialEnded = true;
            });
            code = HangUp(handle);
        }
    }
    ReportServiceError(code);
}

std::uint32_t TcvbNetDial::HangUp(HRASCONN handle)
{
    const TRasEntryPoints &ras = m_library->Functions();
    std::uint32_t code = ras.RasHangUpA(handle);
    if (code == kRasErrorInvalidHandle)
        code = 0; // already gone; the poll below reports it as disconnected
    const QDeadlineTimer limit(kHangUpPollLimitMs);
    for (;;) {
        QThread::msleep(kHangUpPollMs);
        TRasConnStatus status{};
        status.size = kRasConnStatusSize;
        const std::uint32_t polled = ras.RasGetConnectStatusA(handle, &status);
        if (polled == kRasErrorInvalidHandle) {
            HandleStatus(kRasStateDisconnected, 0);
            return code;
        }
        if (polled != 0)
            return code != 0 ? code : polled;
        HandleStatus(status.state, status.error);
        if (m_dialEnded || limit.hasExpired())
            return code;
    }
}

void TcvbNetDial::RunListing(bool handlerSet, TcvbNetDialActions action, std::uint32_t (TcvbNetDial::*list)())
{
    // Without a handler there is nobody to tell: nothing is done, not even the load.
    if (!handlerSet || !LoadLibrary())
        return;
    m_action = action;
    std::uint32_t code = 0;
    {
        auto idle = qScopeGuard([this] { m_action = ntdIdle; });
        code = (this->*list)();
    }
    ReportServiceError(code);
}

void TcvbNetDial::ReportServiceError(std::uint32_t code)
{
    if (code != 0)
        ReportError(static_cast<int>(code), NetDialErrorText(static_cast<int>(code)));
}

std::uint32_t TcvbNetDial::ListPhonebook()
{
    const TRasEntryPoints &ras = m_library->Functions();
    const QByteArray phonebook = Phonebook.toUtf8();
    std::vector<TRasEntryName> entries(1);
    entries[0].size = kRasEntryNameSize;
    std::uint32_t bytes = kRasEntryNameSize;
    std::uint32_t count = 0;
    std::uint32_t code =
        ras.RasEnumEntriesA(nullptr, PhonebookArg(phonebook), entries.data(), &bytes, &count);
    if (code == kRasErrorBufferTooSmall)
        code = 0;
    QStringList names;
    if (code == 0 && bytes > 0) {
        entries.assign((bytes + kRasEntryNameSize - 1) / kRasEntryNameSize, TRasEntryName{});
        entries[0].size = kRasEntryNameSize;
        bytes = static_cast<std::uint32_t>(entries.size()) * kRasEntryNameSize;
        count = 0;
        code = ras.RasEnumEntriesA(nullptr, PhonebookArg(phonebook), entries.data(), &bytes, &count);
        for (std::size_t i = 0; code == 0 && i < std::min<std::size_t>(count, entries.size()); ++i)
            names << RasField(entries[i].entryName);
    }
    for (const QString &name : names)
        OnPhonebookEntry(this, name);
    OnPhonebookEntry(this, QString());
    return code;
}

std::uint32_t TcvbNetDial::ListConnections()
{
    const TRasEntryPoints &ras = m_library->Functions();
    std::uint32_t bytes = 0;
    std::uint32_t count = 0;
    ras.RasEnumConnectionsA(nullptr, &bytes, &count); // learns the size only
    if (bytes < kRasConnSize)
        bytes = kDefaultConnectionBytes;
    std::vector<TRasConn> connections((bytes + kRasConnSize - 1) / kRasConnSize);
    connections[0].size = kRasConnSize;
    bytes = static_cast<std::uint32_t>(connections.size()) * kRasConnSize;
    count = 0;
    const std::uint32_t code = ras.RasEnumConnectionsA(connections.data(), &bytes, &count);

    struct Row
    {
        int handle;
        QString entry, deviceName, deviceType, state;
    };
    std::vector<Row> rows;
    for (std::size_t i = 0; code == 0 && i < std::min<std::size_t>(count, connections.size()); ++i) {
        const TRasConn &c = connections[i];
        TRasConnStatus status{};
        status.size = kRasConnStatusSize;
        if (ras.RasGetConnectStatusA(c.handle, &status) == 0)
            rows.push_back({static_cast<int>(c.handle), RasField(c.entryName), RasField(status.deviceName),
                            RasField(status.deviceType), NetDialStatusText(static_cast<int>(status.state))});
        else // gone between the two calls
            rows.push_back({static_cast<int>(c.handle), RasField(c.entryName), RasField(c.deviceName),
                            RasField(c.deviceType), NetDialStatusText(kRasStateDisconnected)});
    }
    for (const Row &r : rows)
        OnConnectedEntry(this, r.handle, r.entry, r.deviceName, r.deviceType, r.state);
    OnConnectedEntry(this, 0, QString(), QString(), QString(), QString());
    return code;
}

} // namespace cvb
