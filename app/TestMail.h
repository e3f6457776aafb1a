// corvale-backup --test-mail: the connection test's test mail from the command line, for
// servers without a display. It reads the connection record and the settings file of the
// database folder and only reads them, so it also works while the program runs on that folder.
#pragma once

#include <QString>

class QTextStream;

namespace cvb {

// Sends the test mail with the e-mail settings of the database folder `dataFolder` (resolved as
// --data is), writing the dialogue with the mail server to `out` (the password masked). Returns
// the exit status: 0 when the server accepted the mail; 1, with the reason on `err`, when the
// settings cannot be read or are not filled in, or the mail was not accepted.
int testMail(const QString &dataFolder, QTextStream &out, QTextStream &err);

} // namespace cvb
