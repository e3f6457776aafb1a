// The rules of the connection window's "Done" that need no window: which entries are required,
// what is stored from what was typed, and how the transfer options are read from and written to
// the settings file.
#pragma once

#include "data/ConnectionSettings.h"

#include <QString>

namespace cvb {

class ProgramSettings;

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

// The "Transfers" group: the pauses between transfers, the connections of a backup, and whether
// files unchanged since the last complete backup are fetched again.
struct TransferOptions
{
    bool pauses = true;
    int connections = 3;
    bool fetchOnlyChanged = true;
};

TransferOptions readTransferOptions(const ProgramSettings &settings);
void storeTransferOptions(ProgramSettings &settings, const TransferOptions &options);

// What the group says when the settings file holds a value of its options that cannot be read
// (or cannot be read at all), so that the user knows the defaults stand in: a short line, and
// the details (the file and the options) for its tool tip. Both empty when everything could be
// read. Call after readTransferOptions.
struct UnreadableNote
{
    QString text;
    QString details;
};
UnreadableNote unreadableTransfersNote(const ProgramSettings &settings);

} // namespace cvb
