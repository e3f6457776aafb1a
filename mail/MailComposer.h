// The report mail's composition: how the fields of the mail window become the SMTP component's
// headers, text and attached file (plain, quoted-printable, or multipart with an attachment).
// Every message carries a Date and a Message-ID, as the mail standard requires.
#pragma once

#include <QDateTime>
#include <QString>
#include <QStringList>

namespace cvb {

class TcvbSMTP;
class TcvbNetCode;

inline constexpr char kMailBoundary[] = "abcdfwefjsdvsdfg";
inline constexpr char kPlainTextFile[] = "_dsmail.tmp";
inline constexpr char kEncodedTextFile[] = "_dsmail1.tmp";
inline constexpr char kMailerHeader[] = "X-Mailer: Halvorn's Corvale Backup";

// The fields of one message as the mail window holds them.
struct MailFields
{
    QString to;
    QString bcc;
    QString subject;
    QString from;
    QString attachedFile; // empty for none
    bool quotedPrintable = false;
    QStringList text; // one entry per line
};

// The name an attachment is announced under: the path without its folders.
QString AttachmentName(const QString &path);

// The value of a Date header for `moment`: "Tue, 8 Dec 2026 22:00:00 +0100" (English names, the
// moment's own offset from UTC).
QString MailDate(const QDateTime &moment);

// A new, unique value of a Message-ID header, "<...@domain>", with the domain of the sender's
// address (the local host's name when the address has none).
QString NewMessageId(const QString &from);

// Resets the SMTP component's headers and fills them, its text and its attached file from the
// fields, with the program clock's Date and a new Message-ID; encodes with the encoder through the
// temporary files in the current folder. Failures raise the encoder's exception.
void ComposeMail(const MailFields &fields, TcvbSMTP &smtp, TcvbNetCode &coder);

} // namespace cvb
