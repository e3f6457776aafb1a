#include "dialup/RasSimulator.h"

#include <QFile>
#include <QTextStream>
#include <array>

namespace cvb {

namespace {

// The states of a dial that goes through, in the order they are reported.
constexpr std::array<std::uint32_t, 10> kDialSteps = {0, 1, 2, 3, 4, 5, 6, 12, 14, kRasStateConnected};
constexpr std::uint32_t kStateConnectDevice = 2;
constexpr std::uint32_t kStateAuthenticate = 5;
constexpr std::uint32_t kErrorAuthenticationFailure = 691;
constexpr std::uint32_t kErrorBadPhoneNumber = 749;

bool ParseNumber(const QString &text, std::uint32_t *value)
{
    bool ok = false;
    const uint n = text.trimmed().toUInt(&ok);
    if (ok)
        *value = n;
    return ok;
}

bool NeedsSize(const void *record, std::uint32_t size, std::uint32_t expected)
{
    return record == nullptr || size != expected;
}

} // namespace

std::optional<TRasSimOptions> TRasSimOptions::Parse(const QString &text, QString *error)
{
    TRasSimOptions o;
    for (const QString &item : text.split(QLatin1Char(';'), Qt::SkipEmptyParts)) {
        const qsizetype eq = item.indexOf(QLatin1Char('='));
        const QString key = item.left(eq).trimmed();
        const QString value = eq < 0 ? QString() : item.mid(eq + 1).trimmed();
        bool ok = eq > 0;
        if (key == QLatin1String("entries")) {
            o.entries = value.split(QLatin1Char(','), Qt::SkipEmptyParts);
        } else if (key == QLatin1String("login")) {
            const QStringList parts = value.split(QLatin1Char(':'));
            ok = ok && (parts.size() == 2 || parts.size() == 3);
            if (ok) {
                o.hasLogin = true;
                o.user = parts[0];
                o.password = parts[1];
                o.domain = parts.value(2);
            }
        } else if (key == QLatin1String("fail")) {
            const QStringList parts = value.split(QLatin1Char('@'));
            ok = ok && parts.size() <= 2 && ParseNumber(parts[0], &o.failCode) &&
                 (parts.size() == 1 || ParseNumber(parts[1], &o.failState));
        } else if (key == QLatin1String("pause")) {
            std::uint32_t ms = 0;
            ok = ok && ParseNumber(value, &ms) && ms <= 600000;
            o.pauseMs = static_cast<int>(ms);
        } else if (key == QLatin1String("halt")) {
            ok = ok && ParseNumber(value, &o.haltState) && o.haltState >= kRasStatePaused &&
                 o.haltState <= kRasStatePaused + 3;
        } else if (key == QLatin1String("hangup")) {
            ok = ok && ParseNumber(value, &o.hangUpCode);
        } else if (key == QLatin1String("missing")) {
            TRasEntryPoints probe;
            for (const QString &name : value.split(QLatin1Char(','), Qt::SkipEmptyParts)) {
                ok = ok && RasRemoveEntryPoint(&probe, name.trimmed());
                o.missing << name.trimmed();
            }
        } else {
            ok = false;
        }
        if (!ok) {
            if (error)
                *error = QStringLiteral("CVB_RAS_SIM: cannot use \"%1\"").arg(item);
            return std::nullopt;
        }
    }
    return o;
}

CRasSimulator::CRasSimulator()
{
    setObjectName(QStringLiteral("RasSimulator"));
}

void CRasSimulator::SetOptions(TRasSimOptions options)
{
    m_options = std::move(options);
}

void CRasSimulator::Reset()
{
    m_connections.clear();
}

CRasSimulator::~CRasSimulator() = default;

std::uint32_t CRasSimulator::ReadPhonebook(const char *phonebook, QStringList *entries) const
{
    if (phonebook == nullptr || *phonebook == 0) {
        *entries = m_options.entries;
        return 0;
    }
    QFile file(QString::fromUtf8(phonebook));
    if (!file.open(QIODevice::ReadOnly | QIODevice::Text))
        return kRasErrorCannotOpenPhonebook;
    entries->clear();
    QTextStream in(&file);
    while (!in.atEnd()) {
        const QString line = in.readLine().trimmed();
        if (line.size() > 2 && line.startsWith(QLatin1Char('[')) && line.endsWith(QLatin1Char(']')))
            *entries << line.mid(1, line.size() - 2);
    }
    return 0;
}

std::uint32_t CRasSimulator::FindEntry(const char *phonebook, const QString &entry) const
{
    QStringList entries;
    const std::uint32_t code = ReadPhonebook(phonebook, &entries);
    if (code != 0)
        return code;
    return entries.contains(entry) ? 0 : kRasErrorEntryNotFound;
}

std::uint32_t CRasSimulator::Dial(const char *phonebook, TRasDialParams *params, std::uint32_t notifierKind,
                                  QObject *notifier, HRASCONN *handle)
{
    Reap();
    if (handle == nullptr || notifier == nullptr || notifierKind != kRasNotifyWindow)
        return kRasErrorWrongInfo;
    if (NeedsSize(params, params ? params->size : 0, kRasDialParamsSize))
        return kRasErrorInvalidSize;
    Connection c;
    c.entry = RasField(params->entryName);
    if (!c.entry.isEmpty()) {
        if (const std::uint32_t code = FindEntry(phonebook, c.entry))
            return code;
    }
    c.phoneNumber = RasField(params->phoneNumber);
    c.user = RasField(params->userName);
    c.password = RasField(params->password);
    c.domain = RasField(params->domain);
    c.notifier = notifier;
    c.timer = std::make_unique<QTimer>();
    c.timer->setObjectName(QStringLiteral("RasSimulatorStep"));
    c.timer->setSingleShot(true);
    const HRASCONN h = m_nextHandle++;
    connect(c.timer.get(), &QTimer::timeout, this, [this, h] { Step(h); });
    c.timer->start(0);
    m_connections.emplace(h, std::move(c));
    *handle = h;
    return 0;
}

std::uint32_t CRasSimulator::ErrorAt(const Connection &c, std::uint32_t state) const
{
    if (state == kStateConnectDevice && c.entry.isEmpty() && c.phoneNumber.isEmpty())
        return kErrorBadPhoneNumber;
    if (state == kStateAuthenticate && m_options.hasLogin &&
        (c.user != m_options.user || c.password != m_options.password ||
         (!m_options.domain.isEmpty() && c.domain != m_options.domain)))
        return kErrorAuthenticationFailure;
    if (m_options.failCode != 0 && state == m_options.failState)
        return m_options.failCode;
    return 0;
}

void CRasSimulator::Step(HRASCONN handle)
{
    const auto found = m_connections.find(handle);
    if (found == m_connections.end() || found->second.hangingUp)
        return;
    Connection &c = found->second;
    std::uint32_t state = kDialSteps[c.step];
    if (m_options.haltState != 0 && c.step > 0 && kDialSteps[c.step - 1] == kStateAuthenticate)
        state = m_options.haltState;
    c.state = state;
    c.error = ErrorAt(c, state);
    RasPostDialEvent(c.notifier, c.state, c.error);
    ++c.step;
    const bool ended = c.error != 0 || state >= kRasStatePaused || c.step >= kDialSteps.size();
    if (!ended)
        c.timer->start(m_options.pauseMs);
}

void CRasSimulator::Reap()
{
    for (auto it = m_connections.begin(); it != m_connections.end();) {
        if (it->second.hangingUp && it->second.teardown.hasExpired())
            it = m_connections.erase(it);
        else
            ++it;
    }
}

std::uint32_t CRasSimulator::EnumEntries(const char *phonebook, TRasEntryName *entries, std::uint32_t *bytes,
                                         std::uint32_t *count)
{
    if (bytes == nullptr || count == nullptr)
        return kRasErrorWrongInfo;
    if (NeedsSize(entries, entries ? entries->size : 0, kRasEntryNameSize))
        return kRasErrorInvalidSize;
    QStringList names;
    if (const std::uint32_t code = ReadPhonebook(phonebook, &names))
        return code;
    const std::uint32_t needed = static_cast<std::uint32_t>(names.size()) * kRasEntryNameSize;
    *count = 0;
    if (*bytes < needed) {
        *bytes = needed;
        return kRasErrorBufferTooSmall;
    }
    *bytes = needed;
    for (const QString &name : names) {
        TRasEntryName &e = entries[*count];
        e.size = kRasEntryNameSize;
        RasSetField(e.entryName, name);
        ++*count;
    }
    return 0;
}

std::uint32_t CRasSimulator::EnumConnections(TRasConn *connections, std::uint32_t *bytes,
                                             std::uint32_t *count)
{
    Reap();
    if (bytes == nullptr || count == nullptr)
        return kRasErrorWrongInfo;
    if (connections != nullptr && connections->size != kRasConnSize)
        return kRasErrorInvalidSize;
    std::uint32_t open = 0;
    for (const auto &[h, c] : m_connections)
        open += c.hangingUp ? 0 : 1;
    const std::uint32_t needed = open * kRasConnSize;
    *count = 0;
    if (connections == nullptr || *bytes < needed) {
        *bytes = needed;
        return needed == 0 ? 0 : kRasErrorBufferTooSmall;
    }
    *bytes = needed;
    for (const auto &[h, c] : m_connections) {
        if (c.hangingUp)
            continue;
        TRasConn &r = connections[*count];
        r.size = kRasConnSize;
        r.handle = h;
        RasSetField(r.entryName, c.entry.isEmpty() ? c.phoneNumber : c.entry);
        RasSetField(r.deviceType, QStringLiteral("modem"));
        RasSetField(r.deviceName, QStringLiteral("Simulated Modem"));
        ++*count;
    }
    return 0;
}

std::uint32_t CRasSimulator::HangUp(HRASCONN handle)
{
    Reap();
    const auto found = m_connections.find(handle);
    if (found == m_connections.end())
        return kRasErrorInvalidHandle;
    if (m_options.hangUpCode != 0)
        return m_options.hangUpCode;
    Connection &c = found->second;
    if (!c.hangingUp) {
        c.hangingUp = true;
        c.timer->stop();
        c.teardown = QDeadlineTimer(m_options.pauseMs);
    }
    return 0;
}

std::uint32_t CRasSimulator::GetConnectStatus(HRASCONN handle, TRasConnStatus *status)
{
    Reap();
    if (NeedsSize(status, status ? status->size : 0, kRasConnStatusSize))
        return kRasErrorInvalidSize;
    const auto found = m_connections.find(handle);
    if (found == m_connections.end())
        return kRasErrorInvalidHandle;
    status->state = found->second.state;
    status->error = found->second.error;
    RasSetField(status->deviceType, QStringLiteral("modem"));
    RasSetField(status->deviceName, QStringLiteral("Simulated Modem"));
    return 0;
}

std::uint32_t CRasSimulator::GetEntryDialParams(const char *phonebook, TRasDialParams *params,
                                                int *passwordRetrieved)
{
    if (NeedsSize(params, params ? params->size : 0, kRasDialParamsSize))
        return kRasErrorInvalidSize;
    if (const std::uint32_t code = FindEntry(phonebook, RasField(params->entryName)))
        return code;
    RasSetField(params->phoneNumber, QStringLiteral("555 0100"));
    RasSetField(params->callbackNumber, QString());
    RasSetField(params->userName, m_options.user);
    RasSetField(params->password, m_options.password);
    RasSetField(params->domain, m_options.domain);
    if (passwordRetrieved)
        *passwordRetrieved = m_options.hasLogin ? 1 : 0;
    return 0;
}

std::uint32_t CRasSimulator::GetCredentials(const char *phonebook, const char *entry,
                                            TRasCredentials *credentials)
{
    if (NeedsSize(credentials, credentials ? credentials->size : 0, kRasCredentialsSize))
        return kRasErrorInvalidSize;
    if (const std::uint32_t code = FindEntry(phonebook, QString::fromUtf8(entry ? entry : "")))
        return code;
    const std::uint32_t stored =
        m_options.hasLogin ? (kRasCredUserName | kRasCredPassword | kRasCredDomain) : 0;
    credentials->mask &= stored;
    RasSetField(credentials->userName, credentials->mask & kRasCredUserName ? m_options.user : QString());
    RasSetField(credentials->password, credentials->mask & kRasCredPassword ? m_options.password : QString());
    RasSetField(credentials->domain, credentials->mask & kRasCredDomain ? m_options.domain : QString());
    return 0;
}

std::unique_ptr<CRasLibrary> LoadRasSimulator(const QString &optionText)
{
    QString error;
    std::optional<TRasSimOptions> options = TRasSimOptions::Parse(optionText, &error);
    if (!options) {
        // The load fails with its own code; say here what was wrong with the options.
        qWarning("%s", qPrintable(error));
        return nullptr;
    }
    const QStringList missing = options->missing;
    CRasSimulator *sim = RasSharedBackend<CRasSimulator>();
    sim->SetOptions(std::move(*options));
    TRasEntryPoints f = RasEntryPointsOf(sim);
    for (const QString &name : missing)
        RasRemoveEntryPoint(&f, name);
    return std::make_unique<CRasLibrary>(std::move(f));
}

} // namespace cvb
