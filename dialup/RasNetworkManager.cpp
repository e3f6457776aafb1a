#include "dialup/RasNetworkManager.h"

#include <QProcessEnvironment>

namespace cvb {

namespace {

constexpr int kQueryTimeoutMs = 15000;
constexpr int kHangUpTimeoutMs = 30000;

constexpr std::uint32_t kErrorPending = 600;
constexpr std::uint32_t kErrorUnknown = 635;
constexpr std::uint32_t kErrorRequestTimeout = 638;
constexpr std::uint32_t kErrorFromDevice = 651;
constexpr std::uint32_t kErrorAuthenticationFailure = 691;
constexpr std::uint32_t kErrorServiceUnavailable = 711;

// nmcli's exit codes.
constexpr int kNmcliWrongInvocation = 2;
constexpr int kNmcliTimeout = 3;
constexpr int kNmcliActivationFailed = 4;
constexpr int kNmcliNotRunning = 8;
constexpr int kNmcliNotFound = 10;

QProcessEnvironment NmcliEnvironment()
{
    // Field values such as the connection state are translated otherwise.
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("LC_ALL"), QStringLiteral("C"));
    return env;
}

QStringList Lines(const QByteArray &out)
{
    return QString::fromUtf8(out).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
}

} // namespace

CRasNetworkManager::CRasNetworkManager()
{
    setObjectName(QStringLiteral("RasNetworkManager"));
}

CRasNetworkManager::~CRasNetworkManager()
{
    // At the program's end a dial still running is left to NetworkManager; only our client goes.
    for (auto &[h, d] : m_dialling)
        StopDial(d);
}

std::uint32_t CRasNetworkManager::ErrorFromExit(int exitCode, const QByteArray &errorOutput)
{
    switch (exitCode) {
    case 0:
        return 0;
    case kNmcliWrongInvocation:
        return kRasErrorWrongInfo;
    case kNmcliTimeout:
        return kErrorRequestTimeout;
    case kNmcliActivationFailed: {
        const QByteArray why = errorOutput.toLower();
        const bool credentials = why.contains("secret") || why.contains("password") || why.contains("auth");
        return credentials ? kErrorAuthenticationFailure : kErrorFromDevice;
    }
    case kNmcliNotRunning:
        return kErrorServiceUnavailable;
    case kNmcliNotFound:
        return kRasErrorEntryNotFound;
    default:
        return kErrorUnknown;
    }
}

QStringList CRasNetworkManager::SplitTerse(const QString &line)
{
    QStringList fields{QString()};
    for (qsizetype i = 0; i < line.size(); ++i) {
        const QChar c = line[i];
        if (c == QLatin1Char('\\') && i + 1 < line.size())
            fields.last() += line[++i];
        else if (c == QLatin1Char(':'))
            fields << QString();
        else
            fields.last() += c;
    }
    return fields;
}

CRasNetworkManager::Result CRasNetworkManager::Run(const QStringList &args, int timeoutMs) const
{
    QProcess p;
    p.setProcessEnvironment(NmcliEnvironment());
    p.start(QStringLiteral("nmcli"), args);
    Result r;
    if (!p.waitForStarted()) {
        r.error = kErrorServiceUnavailable;
        return r;
    }
    p.closeWriteChannel();
    if (!p.waitForFinished(timeoutMs)) {
        p.kill();
        p.waitForFinished();
        r.error = kErrorRequestTimeout;
        return r;
    }
    r.out = p.readAllStandardOutput();
    r.error = p.exitStatus() == QProcess::NormalExit ? ErrorFromExit(p.exitCode(), p.readAllStandardError())
                                                     : kErrorUnknown;
    return r;
}

std::uint32_t CRasNetworkManager::ListActive(std::vector<Active> *active) const
{
    const Result r =
        Run({"-t", "-f", "NAME,UUID,TYPE,DEVICE,STATE", "connection", "show", "--active"}, kQueryTimeoutMs);
    active->clear();
    for (const QString &line : Lines(r.out)) {
        const QStringList f = SplitTerse(line);
        if (f.size() == 5)
            active->push_back({f[0], f[1], f[2], f[3], f[4]});
    }
    return r.error;
}

std::uint32_t CRasNetworkManager::FindConnection(const QString &name, QString *uuid) const
{
    const Result r = Run({"-t", "-f", "NAME,UUID", "connection", "show"}, kQueryTimeoutMs);
    if (r.error != 0)
        return r.error;
    for (const QString &line : Lines(r.out)) {
        const QStringList f = SplitTerse(line);
        if (f.size() == 2 && f[0] == name) {
            *uuid = f[1];
            return 0;
        }
    }
    return kRasErrorEntryNotFound;
}

HRASCONN CRasNetworkManager::HandleFor(const QString &uuid)
{
    for (const auto &[h, u] : m_uuidOf)
        if (u == uuid && !uuid.isEmpty())
            return h;
    const HRASCONN h = m_nextHandle++;
    m_uuidOf[h] = uuid;
    return h;
}

void CRasNetworkManager::Report(HRASCONN handle, std::uint32_t state, std::uint32_t error)
{
    const auto found = m_dialling.find(handle);
    if (found == m_dialling.end())
        return;
    found->second.state = state;
    found->second.error = error;
    RasPostDialEvent(found->second.notifier, state, error);
}

std::uint32_t CRasNetworkManager::Dial(const char *, TRasDialParams *params, std::uint32_t notifierKind,
                                       QObject *notifier, HRASCONN *handle)
{
    if (handle == nullptr || notifier == nullptr || notifierKind != kRasNotifyWindow)
        return kRasErrorWrongInfo;
    if (params == nullptr || params->size != kRasDialParamsSize)
        return kRasErrorInvalidSize;
    const QString entry = RasField(params->entryName);
    QString uuid;
    if (!entry.isEmpty()) {
        if (const std::uint32_t code = FindConnection(entry, &uuid))
            return code;
    }
    const HRASCONN h = HandleFor(uuid);
    if (m_dialling.count(h) != 0)
        return kErrorPending;
    Dialling &d = m_dialling[h];
    d.uuid = uuid;
    d.notifier = notifier;
    *handle = h;
    if (uuid.isEmpty()) {
        Report(h, 0, kRasErrorEntryNotFound);
        return 0;
    }
    auto *process = new QProcess(this);
    process->setObjectName(QStringLiteral("nmcliConnectionUp"));
    process->setProcessEnvironment(NmcliEnvironment());
    d.process = process;
    connect(process, &QProcess::started, this, [this, h] {
        Report(h, 1, 0);
        Report(h, 2, 0);
    });
    connect(process, &QProcess::errorOccurred, this, [this, h](QProcess::ProcessError e) {
        if (e == QProcess::FailedToStart)
            DialFinished(h, -1, QProcess::CrashExit);
    });
    connect(process, &QProcess::finished, this,
            [this, h](int exitCode, QProcess::ExitStatus status) { DialFinished(h, exitCode, status); });
    Report(h, 0, 0);
    process->start(QStringLiteral("nmcli"), {"connection", "up", "uuid", uuid});
    return 0;
}

void CRasNetworkManager::DialFinished(HRASCONN handle, int exitCode, QProcess::ExitStatus status)
{
    const auto found = m_dialling.find(handle);
    if (found == m_dialling.end())
        return;
    QProcess *process = found->second.process;
    const QByteArray errorOutput = process ? process->readAllStandardError() : QByteArray();
    if (process)
        process->deleteLater();
    found->second.process = nullptr;
    if (exitCode < 0) {
        Report(handle, found->second.state, kErrorServiceUnavailable);
        return;
    }
    const std::uint32_t error =
        status == QProcess::NormalExit ? ErrorFromExit(exitCode, errorOutput) : kErrorUnknown;
    if (error != 0) {
        // The failed dial keeps its handle until it is hung up, like any other.
        Report(handle, found->second.state, error);
        return;
    }
    for (const std::uint32_t state : {3u, 4u, 14u})
        Report(handle, state, 0);
    Report(handle, kRasStateConnected, 0);
    // From here on the connection's state is NetworkManager's.
    m_dialling.erase(found);
}

void CRasNetworkManager::StopDial(Dialling &d)
{
    if (!d.process)
        return;
    QProcess *process = d.process;
    d.process = nullptr;
    process->disconnect(this);
    process->kill();
    process->waitForFinished();
    process->deleteLater();
}

std::uint32_t CRasNetworkManager::HangUp(HRASCONN handle)
{
    const auto known = m_uuidOf.find(handle);
    if (known == m_uuidOf.end())
        return kRasErrorInvalidHandle;
    const QString uuid = known->second;
    const auto dialling = m_dialling.find(handle);
    if (dialling != m_dialling.end()) {
        StopDial(dialling->second);
        m_dialling.erase(dialling);
    }
    if (uuid.isEmpty()) {
        m_uuidOf.erase(known);
        return 0;
    }
    const Result r = Run({"connection", "down", "uuid", uuid}, kHangUpTimeoutMs);
    // "Not found" here means the connection is not active: nothing is left to take down.
    return r.error == kRasErrorEntryNotFound ? 0 : r.error;
}

std::uint32_t CRasNetworkManager::GetConnectStatus(HRASCONN handle, TRasConnStatus *status)
{
    if (status == nullptr || status->size != kRasConnStatusSize)
        return kRasErrorInvalidSize;
    const auto known = m_uuidOf.find(handle);
    if (known == m_uuidOf.end())
        return kRasErrorInvalidHandle;
    const auto dialling = m_dialling.find(handle);
    if (dialling != m_dialling.end()) {
        status->state = dialling->second.state;
        status->error = dialling->second.error;
        RasSetField(status->deviceType, QString());
        RasSetField(status->deviceName, QString());
        return 0;
    }
    std::vector<Active> active;
    if (const std::uint32_t code = ListActive(&active))
        return code;
    for (const Active &a : active) {
        if (a.uuid != known->second)
            continue;
        if (a.state == QLatin1String("activated"))
            status->state = kRasStateConnected;
        else if (a.state == QLatin1String("activating"))
            status->state = 2;
        else
            status->state = kRasStateDisconnected;
        status->error = 0;
        RasSetField(status->deviceType, a.type);
        RasSetField(status->deviceName, a.device);
        return 0;
    }
    m_uuidOf.erase(known);
    return kRasErrorInvalidHandle;
}

std::uint32_t CRasNetworkManager::EnumEntries(const char *, TRasEntryName *entries, std::uint32_t *bytes,
                                              std::uint32_t *count)
{
    if (bytes == nullptr || count == nullptr)
        return kRasErrorWrongInfo;
    if (entries == nullptr || entries->size != kRasEntryNameSize)
        return kRasErrorInvalidSize;
    *count = 0;
    const Result r = Run({"-t", "-f", "NAME", "connection", "show"}, kQueryTimeoutMs);
    if (r.error != 0)
        return r.error;
    QStringList names;
    for (const QString &line : Lines(r.out))
        names << SplitTerse(line).join(QLatin1Char(':'));
    const std::uint32_t needed = static_cast<std::uint32_t>(names.size()) * kRasEntryNameSize;
    if (*bytes < needed) {
        *bytes = needed;
        return kRasErrorBufferTooSmall;
    }
    *bytes = needed;
    for (const QString &name : names) {
        entries[*count].size = kRasEntryNameSize;
        RasSetField(entries[*count].entryName, name);
        ++*count;
    }
    return 0;
}

std::uint32_t CRasNetworkManager::EnumConnections(TRasConn *connections, std::uint32_t *bytes,
                                                  std::uint32_t *count)
{
    if (bytes == nullptr || count == nullptr)
        return kRasErrorWrongInfo;
    if (connections != nullptr && connections->size != kRasConnSize)
        return kRasErrorInvalidSize;
    *count = 0;
    std::vector<Active> active;
    if (const std::uint32_t code = ListActive(&active))
        return code;
    const std::uint32_t needed = static_cast<std::uint32_t>(active.size()) * kRasConnSize;
    if (connections == nullptr || *bytes < needed) {
        *bytes = needed;
        return needed == 0 ? 0 : kRasErrorBufferTooSmall;
    }
    *bytes = needed;
    for (const Active &a : active) {
        TRasConn &r = connections[*count];
        r.size = kRasConnSize;
        r.handle = HandleFor(a.uuid);
        RasSetField(r.entryName, a.name);
        RasSetField(r.deviceType, a.type);
        RasSetField(r.deviceName, a.device);
        ++*count;
    }
    return 0;
}

std::uint32_t CRasNetworkManager::GetEntryDialParams(const char *, TRasDialParams *params,
                                                     int *passwordRetrieved)
{
    if (params == nullptr || params->size != kRasDialParamsSize)
        return kRasErrorInvalidSize;
    QString uuid;
    if (const std::uint32_t code = FindConnection(RasField(params->entryName), &uuid))
        return code;
    // NetworkManager keeps the secrets and uses them itself.
    if (passwordRetrieved)
        *passwordRetrieved = 0;
    return 0;
}

std::uint32_t CRasNetworkManager::GetCredentials(const char *, const char *entry,
                                                 TRasCredentials *credentials)
{
    if (credentials == nullptr || credentials->size != kRasCredentialsSize)
        return kRasErrorInvalidSize;
    QString uuid;
    if (const std::uint32_t code = FindConnection(QString::fromUtf8(entry ? entry : ""), &uuid))
        return code;
    // Nothing to hand out: NetworkManager dials with the secrets it keeps for the connection.
    credentials->mask = 0;
    return 0;
}

std::unique_ptr<CRasLibrary> LoadRasNetworkManager()
{
    return std::make_unique<CRasLibrary>(RasEntryPointsOf(RasSharedBackend<CRasNetworkManager>()));
}

} // namespace cvb
