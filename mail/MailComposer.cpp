#include "mail/MailComposer.h"

#include "data/Clock.h"
#include "mail/NetCode.h"
#include "smtp/SMTP.h"
#include "smtp/SMTPAddress.h"

#include <QFile>
#include <QLocale>
#include <QRandomGenerator>
#include <QRegularExpression>
#include <QSysInfo>

#include <algorithm>

namespace cvb {

namespace {

const QString kBoundaryLine = QStringLiteral("--") + QLatin1String(kMailBoundary);
const QStringList kTextPartHeader = {QStringLiteral("Content-Type: text/plain; charset=iso-8859-1"),
                                     QStringLiteral("Content-Transfer-Encoding: quoted-printable")};

// Writes the lines, each ended by CR LF, in the character set the text part announces.
void saveLines(const QStringList &lines, const QString &path, TcvbNetCode &coder)
{
    QFile file(path);
    QByteArray bytes;
    for (const QString &line : lines)
        bytes += line.toLatin1() + "\r\n";
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate) || file.write(bytes) != bytes.size())
        coder.ReportError(7, TcvbNetCode::ErrorText(7) + QStringLiteral(": ") + path);
}

QStringList loadLines(const QString &path, TcvbNetCode &coder)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        coder.ReportError(5, TcvbNetCode::ErrorText(5) + QStringLiteral(": ") + path);
    QStringList lines;
    while (!file.atEnd()) {
        QByteArray line = file.readLine();
        if (line.endsWith('\n'))
            line.chop(1);
        if (line.endsWith('\r'))
            line.chop(1);
        lines << QString::fromLatin1(line);
    }
    return lines;
}

void appendToFile(const QString &path, const QByteArray &bytes, TcvbNetCode &coder)
{
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Append) || file.write(bytes) != bytes.size())
        coder.ReportError(7, TcvbNetCode::ErrorText(7) + QStringLiteral(": ") + path);
}

void encodeFile(TcvbNetCode &coder, int format, const QString &from, const QString &to)
{
    coder.SetDecodedData(QFile::encodeName(from));
    coder.SetEncodedData({to});
    coder.SetOverwrite(true);
    coder.SetFormat(format);
    coder.SetAction(ntcEncodeToFile);
}

// A parameter value goes in quotes when it holds characters a MIME token may not hold.
QString parameterValue(const QString &value)
{
    static const QRegularExpression token(QStringLiteral("^[A-Za-z0-9!#$%&'*+.^_`{|}~-]+$"));
    if (token.match(value).hasMatch())
        return value;
    QString quoted = value;
    quoted.replace(QLatin1Char('\\'), QStringLiteral("\\\\"))
        .replace(QLatin1Char('"'), QStringLiteral("\\\""));
    return QLatin1Char('"') + quoted + QLatin1Char('"');
}

// A domain as a Message-ID may carry it: letters, digits, dots and hyphens.
bool usableDomain(const QString &domain)
{
    static const QRegularExpression name(QStringLiteral("^[A-Za-z0-9]([A-Za-z0-9.-]*[A-Za-z0-9])?$"));
    return name.match(domain).hasMatch();
}

} // namespace

QString MailDate(const QDateTime &moment)
{
    // Day and month names are the English ones whatever the system's language.
    const int offset = moment.offsetFromUtc() / 60;
    const int minutes = offset < 0 ? -offset : offset;
    return QLocale::c().toString(moment, QStringLiteral("ddd, d MMM yyyy HH:mm:ss ")) +
           QLatin1Char(offset < 0 ? '-' : '+') +
           QStringLiteral("%1%2")
               .arg(minutes / 60, 2, 10, QLatin1Char('0'))
               .arg(minutes % 60, 2, 10, QLatin1Char('0'));
}

QString NewMessageId(const QString &from)
{
    QString address = smtp::SenderAddress(from);
    if (address.startsWith(QLatin1Char('<')) && address.endsWith(QLatin1Char('>')))
        address = address.mid(1, address.size() - 2);
    QString domain = address.mid(address.lastIndexOf(QLatin1Char('@')) + 1).trimmed();
    if (!address.contains(QLatin1Char('@')) || !usableDomain(domain))
        domain = QSysInfo::machineHostName();
    if (!usableDomain(domain))
        domain = QStringLiteral("localhost");
    // The time in milliseconds and 64 random bits: unique without remembering earlier ones.
    return QStringLiteral("<%1.%2@%3>")
        .arg(QString::number(QDateTime::currentMSecsSinceEpoch(), 36),
             QString::number(QRandomGenerator::system()->generate64(), 36), domain);
}

QString AttachmentName(const QString &path)
{
    const qsizetype cut = std::max(path.lastIndexOf(QLatin1Char('\\')), path.lastIndexOf(QLatin1Char('/')));
    return path.mid(cut + 1);
}

void ComposeMail(const MailFields &fields, TcvbSMTP &smtp, TcvbNetCode &coder)
{
    smtp.SetAction(smtpResetHeaders);
    smtp.SetFrom(fields.from);
    smtp.SetReplyTo(fields.from);
    smtp.SendTo() << fields.to;
    // An empty blind-copy field names nobody.
    smtp.BCc() << fields.bcc;
    smtp.SetSubject(fields.subject);
    smtp.SetDate(MailDate(Clock::now()));
    smtp.OtherHeaders() << QStringLiteral("Message-ID: ") + NewMessageId(fields.from);

    const QString plainFile = QLatin1String(kPlainTextFile);
    const QString encodedFile = QLatin1String(kEncodedTextFile);
    QStringList encoded;
    if (fields.quotedPrintable) {
        saveLines(fields.text, plainFile, coder);
        encodeFile(coder, fmtQP, plainFile, encodedFile);
        encoded = loadLines(encodedFile, coder);
    }

    if (!fields.attachedFile.isEmpty()) {
        smtp.OtherHeaders() << QStringLiteral("MIME-Version: 1.0")
                            << QStringLiteral("Content-Type: multipart/mixed; boundary=") +
                                   QLatin1String(kMailBoundary);
        QStringList body = {QString(), kBoundaryLine};
        if (fields.quotedPrintable)
            body << kTextPartHeader << QString() << encoded;
        else
            body << QString() << fields.text;
        body << kBoundaryLine
             << QStringLiteral("Content-Type: application/octet-stream; name=") +
                    parameterValue(AttachmentName(fields.attachedFile))
             << QStringLiteral("Content-Transfer-Encoding: base64") << QString();
        encodeFile(coder, fmtBASE64, fields.attachedFile, plainFile);
        appendToFile(plainFile, "\r\n" + kBoundaryLine.toLatin1() + "--\r\n", coder);
        smtp.SetAttachedFile(plainFile);
        smtp.MessageText() = body;
    } else if (fields.quotedPrintable) {
        smtp.MessageText() = encoded;
        smtp.OtherHeaders() << QStringLiteral("MIME-Version: 1.0") << kTextPartHeader;
    } else {
        smtp.MessageText() = fields.text;
        // Profile and file names need not be ASCII: such a text goes as UTF-8 and says so, so that
        // it arrives readable. A pure-ASCII text stays exactly as it always was.
        const bool ascii = std::all_of(fields.text.begin(), fields.text.end(), [](const QString &line) {
            return std::all_of(line.begin(), line.end(), [](QChar c) { return c.unicode() < 0x80; });
        });
        if (!ascii)
            smtp.OtherHeaders() << QStringLiteral("MIME-Version: 1.0")
                                << QStringLiteral("Content-Type: text/plain; charset=utf-8")
                                << QStringLiteral("Content-Transfer-Encoding: 8bit");
    }
    smtp.OtherHeaders() << QLatin1String(kMailerHeader);
}

} // namespace cvb
