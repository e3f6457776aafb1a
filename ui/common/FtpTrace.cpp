#include "ui/common/FtpTrace.h"

#include "data/ConnectionSettings.h"
#include "dialup/NetDial.h"
#include "ftp/FtpClient.h"
#include "remote/LogOn.h"

namespace cvb {

QString directionPrefix(int direction)
{
    switch (direction) {
    case 0:
        return QStringLiteral("CLIENT: ");
    case 1:
        return QStringLiteral("SERVER: ");
    case 2:
        return QStringLiteral("INFO: ");
    default:
        return {};
    }
}

QString errorEventLine(int code, const QString &description)
{
    return QStringLiteral("ERR Event: ") + QString::number(code) + description;
}

QString transferLine(std::int64_t bytes)
{
    return QStringLiteral("TRANSFER: ") + QString::number(bytes) + QStringLiteral(" Bytes");
}

void traceFtpEvents(TcvbFTP &ftp, const TraceSink &sink, const FtpTraceOptions &options)
{
    ftp.OnError = [sink, ignored = options.ignoredErrorCodes](QObject *, int code,
                                                              const QString &description) {
        if (!ignored.contains(code))
            sink(errorEventLine(code, description));
    };
    const bool prefixes = options.directionPrefixes;
    ftp.OnFirePITrail = [sink, prefixes](QObject *, int direction, const QString &message) {
        sink(prefixes ? directionPrefix(direction) + message : message);
    };
    if (options.transferLines)
        ftp.OnTransfer = [sink](QObject *, std::int64_t bytes, const QByteArray &) {
            sink(transferLine(bytes));
        };
    else
        ftp.OnTransfer = nullptr;
}

void untraceFtpEvents(TcvbFTP &ftp)
{
    ftp.OnError = nullptr;
    ftp.OnFirePITrail = nullptr;
    ftp.OnTransfer = nullptr;
}

void traceDialUpStatus(TcvbNetDial &dial, const TraceSink &sink)
{
    dial.OnStatus = [sink](QObject *, int, int, const QString &status, const QString &) { sink(status); };
}

} // namespace cvb
