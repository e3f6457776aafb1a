#include "mail/NetCodeFormats.h"

#include <QFileInfo>

namespace cvb::netcode {

namespace {

const char kBase64Alphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
const char kHexDigits[] = "0123456789ABCDEF";

// Lines of at most these lengths are read by the encoders and decoders.
constexpr qint64 kQpEncodeLine = 269;
constexpr qint64 kQpDecodeLine = 270;
constexpr qint64 kBase64DecodeLine = 271;
constexpr qint64 kUrlLine = 4096;
constexpr qint64 kUueLine = 1024;

int base64Value(unsigned char c)
{
    if (c >= 'A' && c <= 'Z')
        return c - 'A';
    if (c >= 'a' && c <= 'z')
        return c - 'a' + 26;
    if (c >= '0' && c <= '9')
        return c - '0' + 52;
    if (c == '+')
        return 62;
    if (c == '/')
        return 63;
    return -1;
}

int hexValue(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    return -1;
}

void putText(MyStream &out, const QByteArray &text)
{
    for (const char c : text)
        out.PutChar(c);
}

void putHex(MyStream &out, char lead, unsigned char byte)
{
    out.PutChar(lead);
    out.PutChar(kHexDigits[byte >> 4]);
    out.PutChar(kHexDigits[byte & 15]);
}

// Ends output lines and moves the output on to its next part once the current part has grown
// past its limit. The move happens when the next line begins, so the last line never leaves an
// empty part behind.
class LineSplitter
{
public:
    LineSplitter(MyStream &out, qint64 maxFileSize, qint64 margin)
        : m_out(out), m_splitting(maxFileSize > 0), m_limit(maxFileSize - margin)
    {
    }
    void endLine()
    {
        m_out.PutChar('\n');
        if (m_splitting && m_out.partBytes() > m_limit)
            m_due = true;
    }
    // Call before writing the first byte of a line; false once the output cannot go on.
    // closePart and openPart write what ends and begins a part.
    bool beginLine(const std::function<void()> &closePart = {}, const std::function<void()> &openPart = {})
    {
        if (!m_due)
            return m_failure == ncOk;
        m_due = false;
        if (closePart)
            closePart();
        m_failure = m_out.NextPart();
        if (m_failure == ncOk && openPart)
            openPart();
        return m_failure == ncOk;
    }
    int failure() const { return m_failure; }
    bool splitting() const { return m_splitting; }

private:
    MyStream &m_out;
    bool m_splitting;
    qint64 m_limit;
    bool m_due = false;
    int m_failure = ncOk;
};

} // namespace

// ---------------------------------------------------------------------------------------------
// Encoders

int encodeBase64(MyStream &in, MyStream &out, qint64 maxFileSize)
{
    LineSplitter lines(out, maxFileSize, 76);
    unsigned char block[54];
    char line[72];
    qint64 n;
    while ((n = in.ReadBlock(reinterpret_cast<char *>(block), sizeof block)) > 0) {
        if (!lines.beginLine())
            break;
        char *o = line;
        qint64 i = 0;
        for (; i + 3 <= n; i += 3) {
            const unsigned v = unsigned(block[i]) << 16 | unsigned(block[i + 1]) << 8 | block[i + 2];
            *o++ = kBase64Alphabet[v >> 18];
            *o++ = kBase64Alphabet[(v >> 12) & 63];
            *o++ = kBase64Alphabet[(v >> 6) & 63];
            *o++ = kBase64Alphabet[v & 63];
        }
        if (i < n) {
            const bool two = i + 1 < n;
            const unsigned v = unsigned(block[i]) << 16 | (two ? unsigned(block[i + 1]) << 8 : 0u);
            *o++ = kBase64Alphabet[v >> 18];
            *o++ = kBase64Alphabet[(v >> 12) & 63];
            *o++ = two ? kBase64Alphabet[(v >> 6) & 63] : '=';
            *o++ = '=';
        }
        out.PutBlock(line, o - line);
        lines.endLine();
        if (out.pendingError() != ncOk)
            break;
    }
    return lines.failure();
}

int encodeQuotedPrintable(MyStream &in, MyStream &out, qint64 maxFileSize)
{
    LineSplitter lines(out, maxFileSize, 76);
    char line[kQpEncodeLine];
    int column = 0;
    auto newLine = [&] {
        lines.endLine();
        column = 0;
    };
    qint64 n;
    while ((n = in.ReadLine(line, sizeof line)) > 0) {
        for (qint64 i = 0; i < n;) {
            if (!lines.beginLine())
                return lines.failure();
            const unsigned char c = static_cast<unsigned char>(line[i]);
            if (column >= 75) {
                out.PutChar('=');
                newLine(); // soft line break; the same character is handled again
                continue;
            }
            if (c == '\n') {
                newLine();
            } else if (c == ' ' || c == '\t') {
                const bool endsLine = i + 1 >= n || line[i + 1] == '\n';
                if (endsLine) {
                    putHex(out, '=', c); // the column is not advanced: such a line may reach 77
                } else {
                    out.PutChar(char(c));
                    ++column;
                }
            } else if (c < 33 || c >= 127 || c == '=') {
                if (column > 72) {
                    out.PutChar('=');
                    newLine();
                    if (!lines.beginLine())
                        return lines.failure();
                }
                putHex(out, '=', c);
                column += 3;
            } else {
                out.PutChar(char(c));
                ++column;
            }
            ++i;
        }
        if (out.pendingError() != ncOk)
            break;
    }
    return lines.failure();
}

int encodeUrl(MyStream &in, MyStream &out)
{
    static const QByteArray special = QByteArrayLiteral("\"%<>[]\\^`{|}~");
    char buffer[kUrlLine];
    qint64 n;
    while ((n = in.ReadLine(buffer, sizeof buffer)) > 0) {
        for (qint64 i = 0; i < n; ++i) {
            const unsigned char c = static_cast<unsigned char>(buffer[i]);
            if (c <= 32 || c >= 127 || special.contains(char(c)))
                putHex(out, '%', c);
            else
                out.PutChar(char(c));
        }
        if (out.pendingError() != ncOk)
            break;
    }
    return ncOk;
}

namespace {

char uueChar(unsigned v)
{
    v &= 63;
    return v == 0 ? '`' : char(v + 32);
}

} // namespace

int encodeUue(MyStream &in, MyStream &out, qint64 maxFileSize, const QByteArray &fileName,
              const QByteArray &mode)
{
    if (fileName.isEmpty())
        return ncNoUueName;
    LineSplitter lines(out, maxFileSize, 235);
    unsigned parts = 1;
    unsigned part = 1;
    if (lines.splitting()) {
        const qint64 estimate = in.total() * 63 / 45 + fileName.size() + 157;
        const qint64 perPart = std::max<qint64>(1, maxFileSize - 244);
        parts = unsigned(std::max<qint64>(0, estimate - 135) / perPart + 1);
    }
    auto partLine = [&] {
        putText(out,
                QStringLiteral("------------ Part %1 of %2 ------------\n").arg(part).arg(parts).toLatin1());
    };
    auto endOfPartLine = [&] {
        putText(out,
                QStringLiteral("-------- End of part %1 of %2 --------\n").arg(part).arg(parts).toLatin1());
    };
    if (lines.splitting())
        partLine();
    putText(out, "begin " + mode + ' ' + fileName + '\n');

    unsigned char block[45 + 2];
    qint64 n;
    while ((n = in.ReadBlock(reinterpret_cast<char *>(block), 45)) > 0) {
        if (!lines.beginLine(endOfPartLine, [&] {
                ++part;
                partLine();
            }))
            return lines.failure();
        block[n] = block[n + 1] = 0; // the padding of the last group carries no data
        out.PutChar(uueChar(unsigned(n)));
        for (qint64 i = 0; i < n; i += 3) {
            const unsigned v = unsigned(block[i]) << 16 | unsigned(block[i + 1]) << 8 | block[i + 2];
            out.PutChar(uueChar(v >> 18));
            out.PutChar(uueChar(v >> 12));
            out.PutChar(uueChar(v >> 6));
            out.PutChar(uueChar(v));
        }
        lines.endLine();
        if (out.pendingError() != ncOk)
            return ncOk;
    }
    putText(out, "`\nend\n");
    if (lines.splitting())
        endOfPartLine();
    return ncOk;
}

// ---------------------------------------------------------------------------------------------
// Decoders

int decodeBase64(MyStream &in, MyStream &out)
{
    char line[kBase64DecodeLine];
    unsigned group = 0;
    int count = 0;
    bool atLineStart = true;
    auto flushGroup = [&] {
        // A final group of two characters yields one byte, of three characters two bytes.
        if (count == 2) {
            out.PutChar(char(group >> 4));
        } else if (count == 3) {
            out.PutChar(char(group >> 10));
            out.PutChar(char(group >> 2));
        }
        group = 0;
        count = 0;
    };
    qint64 n;
    while ((n = in.ReadLine(line, sizeof line)) > 0) {
        // A line longer than the buffer comes in pieces; groups go on across them.
        const bool lineEnds = line[n - 1] == '\n' || n < qint64(sizeof line);
        qint64 begin = 0;
        if (atLineStart) {
            while (begin < n && (line[begin] == ' ' || line[begin] == '\t'))
                ++begin;
        }
        qint64 end = n;
        if (lineEnds) {
            while (end > begin && base64Value(static_cast<unsigned char>(line[end - 1])) < 0)
                --end;
        }
        for (qint64 i = begin; i < end; ++i) {
            const int v = base64Value(static_cast<unsigned char>(line[i]));
            group = group << 6 | unsigned(v < 0 ? 0 : v);
            if (++count == 4) {
                out.PutChar(char(group >> 16));
                out.PutChar(char(group >> 8));
                out.PutChar(char(group));
                group = 0;
                count = 0;
            }
        }
        if (lineEnds)
            flushGroup();
        atLineStart = lineEnds;
        if (out.pendingError() != ncOk)
            break;
    }
    flushGroup();
    return ncOk;
}

int decodeQuotedPrintable(MyStream &in, MyStream &out)
{
    char line[kQpDecodeLine];
    // The state carries over when a line longer than the buffer comes in pieces.
    enum { Plain, Equals, EqualsHex } state = Plain;
    char first = 0;
    qint64 n;
    while ((n = in.ReadLine(line, sizeof line)) > 0) {
        for (qint64 i = 0; i < n; ++i) {
            const char c = line[i];
            switch (state) {
            case Plain:
                if (c == '=')
                    state = Equals;
                else
                    out.PutChar(c);
                break;
            case Equals:
                if (c == '\n') {
                    state = Plain; // soft line break
                } else {
                    first = c;
                    state = EqualsHex;
                    if (hexValue(c) < 0) {
                        out.PutChar('=');
                        out.PutChar(c);
                        state = Plain;
                    }
                }
                break;
            case EqualsHex:
                if (hexValue(c) >= 0) {
                    out.PutChar(char(hexValue(first) << 4 | hexValue(c)));
                } else {
                    out.PutChar('=');
                    out.PutChar(first);
                    if (c == '=') {
                        state = Equals;
                        break;
                    }
                    out.PutChar(c);
                }
                state = Plain;
                break;
            }
        }
        if (out.pendingError() != ncOk)
            break;
    }
    if (state == EqualsHex) {
        out.PutChar('=');
        out.PutChar(first);
    }
    return ncOk;
}

int decodeUrl(MyStream &in, MyStream &out)
{
    char buffer[kUrlLine];
    int pending = 0; // characters held after a "%": 0, 1 ("%") or 2 ("%" and a digit)
    char digit = 0;
    qint64 n;
    while ((n = in.ReadLine(buffer, sizeof buffer)) > 0) {
        for (qint64 i = 0; i < n; ++i) {
            const char c = buffer[i];
            if (pending == 0) {
                if (c == '%')
                    pending = 1;
                else
                    out.PutChar(c);
            } else if (pending == 1) {
                if (hexValue(c) >= 0) {
                    digit = c;
                    pending = 2;
                } else {
                    out.PutChar('%');
                    out.PutChar(c);
                    pending = 0;
                }
            } else {
                pending = 0;
                if (hexValue(c) >= 0) {
                    out.PutChar(char(hexValue(digit) << 4 | hexValue(c)));
                } else {
                    out.PutChar('%');
                    out.PutChar(digit);
                    if (c == '%')
                        pending = 1;
                    else
                        out.PutChar(c);
                }
            }
        }
        if (out.pendingError() != ncOk)
            break;
    }
    if (pending >= 1)
        out.PutChar('%');
    if (pending == 2)
        out.PutChar(digit);
    return ncOk;
}

namespace {

int uueValue(char c)
{
    return (static_cast<unsigned char>(c) - 32) & 63;
}

// Characters of a line without its LF.
qint64 contentLength(const char *line, qint64 n)
{
    return n > 0 && line[n - 1] == '\n' ? n - 1 : n;
}

bool isEndLine(const char *line, qint64 n)
{
    return QByteArray(line, int(contentLength(line, n))).trimmed() == "end";
}

// A name from the "begin" line, reduced to its last component: the data decides nothing about
// the folder the file lands in.
QString safeName(const QByteArray &name)
{
    QString text = QString::fromUtf8(name);
    const qsizetype slash = std::max(text.lastIndexOf(QLatin1Char('/')), text.lastIndexOf(QLatin1Char('\\')));
    text = text.mid(slash + 1);
    return text == QLatin1String("..") || text == QLatin1String(".") ? QString() : text;
}

} // namespace

int decodeUue(MyStream &in, const UueOutput &output, bool intelliCode, QString *mode)
{
    char line[kUueLine];
    qint64 n;
    while ((n = in.ReadLine(line, sizeof line)) > 0) {
        if (n >= 6 && memcmp(line, "begin ", 6) == 0)
            break;
    }
    if (n == 0)
        return ncNoBegin;

    const qint64 length = contentLength(line, n);
    qint64 i = 6;
    while (i < length && (line[i] == ' ' || line[i] == '\t'))
        ++i;
    QString digits;
    while (i < length && digits.size() < 7 && line[i] >= '0' && line[i] <= '7')
        digits += QLatin1Char(line[i++]);
    while (i < length && (line[i] == ' ' || line[i] == '\t'))
        ++i;
    *mode = digits;
    const QByteArray name = QByteArray(line + i, int(length - i)).trimmed();

    int error = ncOk;
    MyStream *out = output.open(safeName(name), &error);
    if (!out)
        return error;

    int firstCount = -1;
    bool shorterSeen = false;
    for (;;) {
        n = in.ReadLine(line, sizeof line);
        if (n == 0)
            return ncShortFile;
        const qint64 len = contentLength(line, n);
        const int count = len > 0 ? uueValue(line[0]) : 0;
        if (intelliCode) {
            if (isEndLine(line, n))
                break;
            bool printable = len > 0;
            for (qint64 k = 0; k < len && printable; ++k)
                printable = line[k] >= ' ' && line[k] <= '`';
            const qint64 expected = 2 + 4 * ((count + 2) / 3);
            const bool exact = len + 1 == expected && line[0] != ' ';
            if (!printable || !(exact || (count == 0 && shorterSeen)))
                continue; // not a line of uuencoded data
        }
        if (count == 0)
            break;
        if (firstCount < 0)
            firstCount = count;
        else if (count < firstCount)
            shorterSeen = true;
        int left = count;
        for (qint64 k = 1; left > 0; k += 4) {
            unsigned v = 0;
            for (qint64 j = k; j < k + 4; ++j)
                v = v << 6 | unsigned(j < len ? uueValue(line[j]) : 0);
            const char bytes[3] = {char(v >> 16), char(v >> 8), char(v)};
            for (int b = 0; b < 3 && left > 0; ++b, --left)
                out->PutChar(bytes[b]);
        }
        if (out->pendingError() != ncOk)
            return ncOk;
    }
    in.ReadLine(line, sizeof line); // the line after the data, normally "end"
    return ncOk;
}

} // namespace cvb::netcode
