// Address rules of the SMTP component: the envelope sender taken from a "From" value, and the
// addresses of one recipient entry.
#pragma once

#include <QString>
#include <QStringList>

namespace cvb::smtp {

// The argument of "MAIL FROM:" for a sender value as entered, e.g. "<a@b.org>" for
// "\"A. Person\" <a@b.org>", for "(A. Person) a@b.org" and for "a@b.org".
QString SenderAddress(const QString &from);

// The addresses of one recipient entry, in the order written: "Ann <a@b.org>, c@d.org (Carl)"
// gives "a@b.org" and "c@d.org". Quoted text and comments are skipped; empty addresses dropped.
QStringList ParseRecipients(const QString &entry);

} // namespace cvb::smtp
