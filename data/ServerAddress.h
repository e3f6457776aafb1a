// How the program reads the server fields of the connection record (DOMAIN for FTP, SMTP for
// mail): "host" or "host:port". Every place that connects to a server reads them through here.
#pragma once

#include <QString>

namespace cvb {

struct ServerAddress
{
    QString host;
    int port = 0;
    QString error; // empty when the text could be read

    bool ok() const { return error.isEmpty(); }
};

// Reads "host" (giving defaultPort) or "host:port" (port 1 to 65535). Blanks around the text
// and around the port are ignored. An unreadable port leaves `error` set with a text that
// names the field's value; host and port are then not to be used.
ServerAddress readServerAddress(const QString &text, int defaultPort);

} // namespace cvb
