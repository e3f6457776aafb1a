// Plain rules of the FTP dialogue: how a reply line is classified, how the PASV and PWD replies
// and the PORT argument are read and written, what the protocol trace shows, and how ASCII
// transfers turn the network's CR LF line ends into this platform's LF and back.
#pragma once

#include <QByteArray>
#include <cstdint>

namespace cvb::ftp {

// What one reply line means for the command that waits for it.
enum class ReplyKind {
    Continuation, // part of a multi-line reply: wait for the next line
    Preliminary,  // 1xx: the final reply is still to come
    Success,      // 2xx or 3xx
    Failure,      // 4xx, 5xx or a line led by anything else
};

ReplyKind classifyReply(const QByteArray &line);

// The code of a line that opens a multi-line reply ("211-..."), else empty.
QByteArray multiLineReplyCode(const QByteArray &line);

// True when `line` closes the multi-line reply opened with `code`: it begins with that code
// and a space (or is the code alone). The lines between may begin with anything, digits too.
bool endsMultiLineReply(const QByteArray &line, const QByteArray &code);

// FTP's end-of-reply rule, one object for each reply: a multi-line reply ("211-...") ends at the
// line that begins with its code and a space (endsMultiLineReply); any other reply at its first
// line that is no continuation (classifyReply).
class ReplyEnd
{
public:
    bool operator()(const QByteArray &line);

private:
    QByteArray m_openCode; // the code of the multi-line reply being read
};

// The numbers of a 227 reply. `port` is what the data connection uses; the address is read
// but the data connection goes to the control connection's peer.
struct PasvReply
{
    bool ok = false;
    uint8_t address[4] = {0, 0, 0, 0};
    uint16_t port = 0;
};

// Reads the six numbers after the first "(" (or, without one, from the first digit after the
// reply code). Each number is a run of digits ended by one other byte, taken modulo 256;
// blanks in front of a number are skipped.
PasvReply parsePasvReply(const QByteArray &line);

// The port of a 229 reply: "(|||port|)", with any printable delimiter in place of "|" (the same
// four times); 0 when the reply gives none (or port 0), or when it names a network address: the
// data connection goes to the control connection's peer in any case.
uint16_t parseEpsvReply(const QByteArray &line);

// The directory named by a PWD reply: the quoted path after the code, with doubled double
// quotes read as one; a reply that does not quote the path gives the text from its sixth byte up
// to the first double quote or the end.
QByteArray parsePwdReply(const QByteArray &line);

// "h1,h2,h3,h4,p1,p2" for an IPv4 address in host order and a port.
QByteArray portArgument(uint32_t hostOrderAddress, uint16_t port);

// The trace text of a command: the command and its argument, cut to 255 bytes. The password of
// PASS shows as asterisks.
QByteArray traceText(const QByteArray &command, const QByteArray &argument);

// Turns the CR LF pairs of received ASCII data into LF, also when a pair is split across two
// blocks. A lone CR stays as it is.
class CrLfDecoder
{
public:
    // Converts one received block; a CR at its very end is held back until the next byte is known.
    QByteArray feed(const char *data, qsizetype length);
    // The held-back CR, if the data ended with one.
    QByteArray finish();
    void reset() { m_heldCr = false; }

private:
    bool m_heldCr = false;
};

// Sends each LF of a local text file as CR LF.
QByteArray lfToCrLf(const char *data, qsizetype length);

} // namespace cvb::ftp
