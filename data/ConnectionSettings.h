// The one connection record of "FTP Connection.dbf" as a typed value. Everything that connects
// (the backup, the report mail, the browser, the connection test, the live session) reads it
// through readConnectionSettings and the connection window stores it through
// writeConnectionSettings, so the field names live in one place.
#pragma once

#include <QString>

namespace cvb {

class Table;

struct ConnectionSettings
{
    QString user;          // USERNAME: the FTP account
    QString password;      // PASSWORD
    QString server;        // DOMAIN: "host" or "host:port"
    bool passive = false;  // FIREWALL: behind a firewall the server cannot open data connections to us
    QString smtpServer;    // SMTP: "host" or "host:port"
    QString returnAddress; // EMAILADDR: sender of the report mails
    // Dial-up: USEDEFAULT true means the system's own internet connection, no dialling.
    bool useDefaultConnection = true;
    QString dialUser;     // USERID
    QString dialPassword; // PASSCODE
    QString phoneNumber;  // PHONENUM
    QString isp;          // ISP

    // The connection guard's test: server, password and user all filled.
    bool complete() const { return !server.isEmpty() && !password.isEmpty() && !user.isEmpty(); }
    bool dialsUp() const { return !useDefaultConnection; }

    // Hands the dial-up account to a dial-up component (its User, Password and PhoneNumber).
    template <typename Dialer> void setDialUpAccount(Dialer &dial) const
    {
        dial.User = dialUser;
        dial.Password = dialPassword;
        dial.PhoneNumber = phoneNumber;
    }
};

// Reads the cursor's current record.
ConnectionSettings readConnectionSettings(const Table &connection);

// Stores `settings` in the cursor's current record (edit and post); the table has one record, which
// is inserted when the table is empty.
void writeConnectionSettings(Table &connection, const ConnectionSettings &settings);

} // namespace cvb
