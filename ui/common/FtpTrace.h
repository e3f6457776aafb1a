// The trace lines of the windows that show the dialogue with the web server (connection test,
// remote browser, live session), written once: the lines of the FTP component's events and of
// the dial-up component's status, and the socket library's lines that open every connect.
#pragma once

#include "remote/LogOn.h" // the log-on with its trace lines

#include <QSet>
#include <QString>
#include <cstdint>
#include <functional>

namespace cvb {

class TcvbFTP;
class TcvbNetDial;
struct ConnectionSettings;

using TraceSink = std::function<void(const QString &line)>;

// "CLIENT: ", "SERVER: " or "INFO: " by the direction of a protocol line (0, 1, 2); empty for
// any other direction.
QString directionPrefix(int direction);
// "ERR Event: " + the code in decimal + the description, nothing between the two.
QString errorEventLine(int code, const QString &description);
// "TRANSFER: " + the byte count in decimal + " Bytes".
QString transferLine(std::int64_t bytes);

struct FtpTraceOptions
{
    // Protocol lines carry their direction's prefix; without it the message stands alone.
    bool directionPrefixes = true;
    // Progress of transfers as "TRANSFER: " lines.
    bool transferLines = true;
    // Error events with these codes add no line.
    QSet<int> ignoredErrorCodes;
};

// Sends the lines of the component's error, protocol and transfer events to `sink`. The listing
// event is left to the caller.
void traceFtpEvents(TcvbFTP &ftp, const TraceSink &sink, const FtpTraceOptions &options = {});
// Removes what traceFtpEvents installed (before the sink goes away while the component stays).
void untraceFtpEvents(TcvbFTP &ftp);

// Sends the dial-up component's status descriptions to `sink`.
void traceDialUpStatus(TcvbNetDial &dial, const TraceSink &sink);

} // namespace cvb
