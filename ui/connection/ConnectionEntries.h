// The rules of the connection window's "Done" that need no window: which entries are required,
// and what is stored from what was typed.
#pragma once

#include "data/ConnectionSettings.h"

#include <QString>

namespace cvb {

inline const QString IncompleteEntriesMessage =
    QStringLiteral("Information necessary for proper operation has not been completed. Please enter the "
                   "requetsed information to continue.");

// The account, password, FTP domain, SMTP server and return address are always required; the
// dial-up user, password and phone number only when the system's own connection is not used.
bool entriesComplete(const ConnectionSettings &typed);

// The record to store: everything as typed, except that with the system's own connection ticked
// the stored dial-up values are kept (the window shows them disabled) and ISP, which the window
// does not show, is kept always.
ConnectionSettings settingsToStore(const ConnectionSettings &stored, const ConnectionSettings &typed);

} // namespace cvb
