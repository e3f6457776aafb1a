#include "dialup/RasApi.h"

#include "dialup/RasNetworkManager.h"
#include "dialup/RasSimulator.h"

#include <QCoreApplication>
#include <QHash>
#include <QStandardPaths>
#include <cstring>

namespace cvb {

void RasSetField(char *field, std::size_t fieldSize, const QString &text)
{
    if (fieldSize == 0)
        return;
    const QByteArray bytes = text.toUtf8();
    std::size_t n = std::min<std::size_t>(static_cast<std::size_t>(bytes.size()), fieldSize - 1);
    // Step back over continuation bytes so that a cut never splits a character.
    if (n < static_cast<std::size_t>(bytes.size()))
        while (n > 0 && (static_cast<unsigned char>(bytes[static_cast<qsizetype>(n)]) & 0xC0) == 0x80)
            --n;
    std::memcpy(field, bytes.constData(), n);
    std::memset(field + n, 0, fieldSize - n);
}

QString RasField(const char *field, std::size_t fieldSize)
{
    const void *end = std::memchr(field, 0, fieldSize);
    const std::size_t n = end ? static_cast<std::size_t>(static_cast<const char *>(end) - field) : fieldSize;
    return QString::fromUtf8(field, static_cast<qsizetype>(n));
}

bool RasRemoveEntryPoint(TRasEntryPoints *f, const QString &name)
{
    const QString n = name.endsWith(QLatin1Char('A')) ? name : name + QLatin1Char('A');
    if (n == QLatin1String("RasDialA"))
        f->RasDialA = nullptr;
    else if (n == QLatin1String("RasEnumEntriesA"))
        f->RasEnumEntriesA = nullptr;
    else if (n == QLatin1String("RasEnumConnectionsA"))
        f->RasEnumConnectionsA = nullptr;
    else if (n == QLatin1String("RasHangUpA"))
        f->RasHangUpA = nullptr;
    else if (n == QLatin1String("RasGetConnectStatusA"))
        f->RasGetConnectStatusA = nullptr;
    else if (n == QLatin1String("RasGetEntryDialParamsA"))
        f->RasGetEntryDialParamsA = nullptr;
    else if (n == QLatin1String("RasGetCredentialsA"))
        f->RasGetCredentialsA = nullptr;
    else
        return false;
    return true;
}

std::unique_ptr<CRasLibrary> LoadRasLibrary(const QString &name)
{
    if (name.compare(QLatin1String("RASAPI32.DLL"), Qt::CaseInsensitive) != 0)
        return nullptr;
    const QString backend = qEnvironmentVariable("CVB_RAS");
    if (backend == QLatin1String("sim"))
        return LoadRasSimulator(qEnvironmentVariable("CVB_RAS_SIM"));
    if (backend.isEmpty() || backend == QLatin1String("nmcli")) {
        if (QStandardPaths::findExecutable(QStringLiteral("nmcli")).isEmpty())
            return nullptr;
        return LoadRasNetworkManager();
    }
    return nullptr;
}

int RegisterWindowMessage(const QString &name)
{
    static QHash<QString, int> registered;
    const auto found = registered.constFind(name);
    if (found != registered.constEnd())
        return found.value();
    const int number = QEvent::registerEventType();
    if (number < 0)
        return 0;
    registered.insert(name, number);
    return number;
}

int RasDialEventMessage()
{
    const int registered = RegisterWindowMessage(QStringLiteral("RasDialEvent"));
    return registered != 0 ? registered : 0xCCCD;
}

void RasPostDialEvent(QObject *notifier, std::uint32_t state, std::uint32_t error)
{
    if (notifier)
        QCoreApplication::postEvent(notifier, new TRasDialMessage(RasDialEventMessage(), state, error));
}

} // namespace cvb
