#include "ftp/FtpReplies.h"

namespace cvb::ftp {

namespace {

bool isDigit(char c)
{
    return c >= '0' && c <= '9';
}

bool isBlank(char c)
{
    return c == ' ' || c == '\t';
}

} // namespace

ReplyKind classifyReply(const QByteArray &line)
{
    if ((line.size() > 3 && line[3] == '-') || (!line.isEmpty() && isBlank(line[0])))
        return ReplyKind::Continuation;
    const char first = line.isEmpty() ? '\0' : line[0];
    switch (first) {
    case '1':
        return ReplyKind::Preliminary;
    case '2':
    case '3':
        return ReplyKind::Success;
    default:
        return ReplyKind::Failure;
    }
}

QByteArray multiLineReplyCode(const QByteArray &line)
{
    if (line.size() < 4 || line[3] != '-')
        return {};
    for (int i = 0; i < 3; ++i) {
        if (!isDigit(line[i]))
            return {};
    }
    return line.left(3);
}

bool endsMultiLineReply(const QByteArray &line, const QByteArray &code)
{
    return line.startsWith(code) && (line.size() == code.size() || line[code.size()] == ' ');
}

bool ReplyEnd::operator()(const QByteArray &line)
{
    if (m_openCode.isEmpty())
        m_openCode = multiLineReplyCode(line);
    else if (endsMultiLineReply(line, m_openCode))
        m_openCode.clear();
    return m_openCode.isEmpty() && classifyReply(line) != ReplyKind::Continuation;
}

PasvReply parsePasvReply(const QByteArray &line)
{
    PasvReply reply;
    qsizetype pos = line.indexOf('(', 1);
    if (pos >= 0) {
        ++pos;
    } else {
        // Some servers leave the parenthesis out: the numbers then begin at the first digit
        // after the reply code.
        pos = 3;
        while (pos < line.size() && !isDigit(line[pos]))
            ++pos;
    }
    int numbers[6] = {0, 0, 0, 0, 0, 0};
    for (int &number : numbers) {
        while (pos < line.size() && isBlank(line[pos]))
            ++pos;
        if (pos >= line.size() || !isDigit(line[pos]))
            return reply;
        unsigned value = 0;
        while (pos < line.size() && isDigit(line[pos])) {
            value = (value * 10 + unsigned(line[pos] - '0')) % 256;
            ++pos;
        }
        number = int(value);
        ++pos; // the byte that ended the number
    }
    for (int i = 0; i < 4; ++i)
        reply.address[i] = uint8_t(numbers[i]);
    reply.port = uint16_t(numbers[4] * 256 + numbers[5]);
    reply.ok = true;
    return reply;
}

uint16_t parseEpsvReply(const QByteArray &line)
{
    if (!line.startsWith("229"))
        return 0;
    const qsizetype open = line.indexOf('(', 3);
    if (open < 0 || open + 4 >= line.size())
        return 0;
    const char delimiter = line[open + 1];
    if (delimiter < 33 || delimiter > 126 || isDigit(delimiter))
        return 0;
    qsizetype pos = open + 1;
    for (int i = 0; i < 3; ++i, ++pos)
        if (pos >= line.size() || line[pos] != delimiter)
            return 0;
    unsigned value = 0;
    const qsizetype digits = pos;
    while (pos < line.size() && isDigit(line[pos]) && value <= 65535)
        value = value * 10 + unsigned(line[pos++] - '0');
    if (pos == digits || pos >= line.size() || line[pos] != delimiter || value > 65535)
        return 0;
    return uint16_t(value);
}

QByteArray parsePwdReply(const QByteArray &line)
{
    if (line.size() > 4 && line[4] == '"') {
        QByteArray path;
        for (qsizetype i = 5; i < line.size(); ++i) {
            if (line[i] != '"') {
                path += line[i];
            } else if (i + 1 < line.size() && line[i + 1] == '"') {
                path += '"';
                ++i;
            } else {
                break;
            }
        }
        return path;
    }
    const QByteArray rest = line.mid(5);
    const qsizetype quote = rest.indexOf('"');
    return quote < 0 ? rest : rest.left(quote);
}

QByteArray portArgument(uint32_t hostOrderAddress, uint16_t port)
{
    return QByteArray::number((hostOrderAddress >> 24) & 0xFF) + ',' +
           QByteArray::number((hostOrderAddress >> 16) & 0xFF) + ',' +
           QByteArray::number((hostOrderAddress >> 8) & 0xFF) + ',' +
           QByteArray::number(hostOrderAddress & 0xFF) + ',' + QByteArray::number(port / 256) + ',' +
           QByteArray::number(port % 256);
}

QByteArray traceText(const QByteArray &command, const QByteArray &argument)
{
    QByteArray text = command;
    if (!argument.isEmpty())
        text += ' ' + (command == "PASS" ? QByteArray("********") : argument);
    return text.left(255);
}

QByteArray CrLfDecoder::feed(const char *data, qsizetype length)
{
    QByteArray out;
    out.reserve(length + 1);
    qsizetype i = 0;
    if (m_heldCr && length > 0) {
        m_heldCr = false;
        if (data[0] != '\n')
            out += '\r';
    }
    for (; i < length; ++i) {
        const char c = data[i];
        if (c != '\r') {
            out += c;
        } else if (i + 1 == length) {
            m_heldCr = true;
        } else if (data[i + 1] != '\n') {
            out += c;
        }
    }
    return out;
}

QByteArray CrLfDecoder::finish()
{
    const bool held = m_heldCr;
    m_heldCr = false;
    return held ? QByteArray("\r") : QByteArray();
}

QByteArray lfToCrLf(const char *data, qsizetype length)
{
    QByteArray out;
    out.reserve(length + length / 16 + 2);
    for (qsizetype i = 0; i < length; ++i) {
        if (data[i] == '\n')
            out += '\r';
        out += data[i];
    }
    return out;
}

} // namespace cvb::ftp
