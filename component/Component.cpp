#include "component/Component.h"

#include <cstdint>
#include <iterator>

namespace cvb {

namespace {

struct SocketErrorRow
{
    int code;
    const char *text;
};

// Windows Sockets error codes and their descriptions; searched from the top.
const SocketErrorRow kSocketErrors[] = {
    {10004, "Interrupted system call"},
    {10009, "Bad file number"},
    {10013, "Access denied"},
    {10014, "Bad address"},
    {10022, "Invalid argument"},
    {10024, "Too many open files"},
    {10035, "Operation would block"},
    {10036, "Operation now in progress"},
    {10037, "Operation already in progress"},
    {10038, "Socket operation on non-socket"},
    {10039, "Destination address required"},
    {10040, "Message too long"},
    {10041, "Protocol wrong type for socket"},
    {10042, "Bad protocol option"},
    {10043, "Protocol not supported"},
    {10044, "Socket type not supported"},
    {10045, "Operation not supported on socket"},
    {10046, "Protocol family not supported"},
    {10047, "Address family not supported by protocol family"},
    {10048, "Address already in use"},
    {10049, "Can't assign requested address"},
    {10050, "Network is down"},
    {10051, "Network is unreachable"},
    {10052, "Net dropped connection or reset"},
    {10053, "Software caused connection abort"},
    {10054, "Connection reset by peer"},
    {10055, "No buffer space available"},
    {10056, "Socket is already connected"},
    {10057, "Socket is not connected"},
    {10058, "Can't send after socket shutdown"},
    {10059, "Too many references, can't splice"},
    {10060, "Connection timed out"},
    {10061, "Connection refused"},
    {10062, "Too many levels of symbolic links"},
    {10063, "File name too long"},
    {10064, "Host is down"},
    {10065, "No route to host"},
    {10066, "Directory not empt"},
    {10067, "Too many processes"},
    {10068, "Too many users"},
    {10069, "Disc Quota Exceeded"},
    {10070, "Stale NFS file handle"},
    {10071, "Too many levels of remote in path"},
    {10091, "Network subsystem is unavailable"},
    {10092, "WINSOCK DLL Version out of range"},
    {10093, "Winsock not loaded yet (WSANOTINITIALISED)"},
    {11001, "Host not found"},
    {11002, "Non-authoritative 'Host not found' (try again or check DNS setup)"},
    {11003, "Non-recoverable errors: FORMERR, REFUSED, NOTIMP"},
    {11004, "Valid name, no data record (check DNS setup)"},
};
static_assert(std::size(kSocketErrors) == 50);

} // namespace

EcvbComponent::EcvbComponent(int code, const QString &text)
    : m_code(code), m_text(text), m_message(QString::number(code) + QStringLiteral(": ") + text),
      m_what(m_message.toUtf8())
{
}

QString DescribeError(int code)
{
    if (code == 0)
        return QStringLiteral("Ok");
    // Codes are 16-bit values, for the search as for the printed number.
    const int code16 = static_cast<std::uint16_t>(code);
    const char *text = "(no description available)";
    for (const SocketErrorRow &row : kSocketErrors) {
        if (row.code == code16) {
            text = row.text;
            break;
        }
    }
    return QStringLiteral("[%1] %2.").arg(code16).arg(QLatin1String(text));
}

TcvbComponent::TcvbComponent(QObject *parent) : QObject(parent)
{
}

TcvbComponent::~TcvbComponent() = default;

void TcvbComponent::ReportError(int code, const QString &text)
{
    m_lastErrorCode = code;
    m_lastErrorText = text.isEmpty() ? DescribeError(code) : text;
    if (m_raiseOnError)
        std::rethrow_exception(CreateError(code, m_lastErrorText));
}

void TcvbComponent::ReportBusy(int code)
{
    ReportError(code, QStringLiteral("Busy performing current action."));
}

std::exception_ptr TcvbComponent::CreateError(int code, const QString &text)
{
    return std::make_exception_ptr(EcvbComponent(code, text));
}

void TcvbComponent::FireError(int code, const QString &text)
{
    if (OnError)
        OnError(this, code, text);
}

QString messageOf(const std::exception &e)
{
    if (const auto *component = dynamic_cast<const EcvbComponent *>(&e))
        return component->Message();
    return QString::fromLocal8Bit(e.what());
}

} // namespace cvb
