#include "ftp/FtpReplies.h"
#include "ftp/TransferFile.h"

#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>

using namespace cvb::ftp;

TEST(FtpReplies, MultiLineRepliesEndOnlyAtALineWithoutDashOrLeadingBlank)
{
    EXPECT_EQ(classifyReply("220-Welcome"), ReplyKind::Continuation);
    EXPECT_EQ(classifyReply(" 220 looks final but is indented"), ReplyKind::Continuation);
    EXPECT_EQ(classifyReply("\tanything"), ReplyKind::Continuation);
    EXPECT_EQ(classifyReply("abc-letters with a dash at the fourth byte"), ReplyKind::Continuation);
    EXPECT_EQ(classifyReply("220 ready"), ReplyKind::Success);
    EXPECT_EQ(classifyReply("331 password please"), ReplyKind::Success);
    EXPECT_EQ(classifyReply("150 opening"), ReplyKind::Preliminary);
    EXPECT_EQ(classifyReply("426 aborted"), ReplyKind::Failure);
    EXPECT_EQ(classifyReply("550 no such file"), ReplyKind::Failure);
    EXPECT_EQ(classifyReply("Welcome to the server"), ReplyKind::Failure);
    EXPECT_EQ(classifyReply("6xx"), ReplyKind::Failure);
    EXPECT_EQ(classifyReply(""), ReplyKind::Failure);
}

TEST(FtpReplies, TheEndOfReplyRuleEndsAMultiLineReplyOnlyAtItsOwnCode)
{
    const auto endsAt = [](const QList<QByteArray> &lines) {
        ReplyEnd ends;
        for (qsizetype i = 0; i < lines.size(); ++i) {
            if (ends(lines[i]))
                return i;
        }
        return qsizetype(-1);
    };
    EXPECT_EQ(endsAt({"200 ok", "200 next"}), 0);
    EXPECT_EQ(endsAt({"150 opening", "226 done"}), 0);
    EXPECT_EQ(endsAt({"211-Features", "530 only text", "211-more", " 211 indented", "211 end"}), 4);
    EXPECT_EQ(endsAt({"211-Features", "211"}), 1);
    // Outside a multi-line reply an indented line or a dash at the fourth byte ends nothing.
    EXPECT_EQ(endsAt({" indented", "abc-x", "220 ready"}), 2);
    // A failure ends the reply as well; what it means is for the command to say.
    EXPECT_EQ(endsAt({"Welcome", "220 ready"}), 0);
}

TEST(FtpReplies, PasvReplyInTheUsualAndOddForms)
{
    PasvReply r = parsePasvReply("227 Entering Passive Mode (10,0,0,5,4,1)");
    ASSERT_TRUE(r.ok);
    EXPECT_EQ(r.address[0], 10);
    EXPECT_EQ(r.address[3], 5);
    EXPECT_EQ(r.port, 1025);

    r = parsePasvReply("227 Entering Passive Mode ( 127, 0, 0, 1, 200, 7 )");
    ASSERT_TRUE(r.ok);
    EXPECT_EQ(r.address[0], 127);
    EXPECT_EQ(r.port, 200 * 256 + 7);

    r = parsePasvReply("227 Entering Passive Mode 192,168,1,2,19,137");
    ASSERT_TRUE(r.ok);
    EXPECT_EQ(r.address[0], 192);
    EXPECT_EQ(r.address[2], 1);
    EXPECT_EQ(r.port, 19 * 256 + 137);

    // Numbers above 255 are taken modulo 256.
    r = parsePasvReply("227 =(266,0,0,1,260,513)");
    ASSERT_TRUE(r.ok);
    EXPECT_EQ(r.address[0], 10);
    EXPECT_EQ(r.port, 4 * 256 + 1);

    EXPECT_FALSE(parsePasvReply("227 Entering Passive Mode (1,2,3)").ok);
    EXPECT_FALSE(parsePasvReply("227 no numbers at all").ok);
}

TEST(FtpReplies, EpsvReplyGivesItsPortOrNothing)
{
    EXPECT_EQ(parseEpsvReply("229 Entering Extended Passive Mode (|||6446|)"), 6446);
    EXPECT_EQ(parseEpsvReply("229 ok (!!!65535!)"), 65535);
    EXPECT_EQ(parseEpsvReply("229 (|||65536|)"), 0);
    EXPECT_EQ(parseEpsvReply("229 (|||99999999999999999999|)"), 0);
    EXPECT_EQ(parseEpsvReply("229 (||1|6446|)"), 0); // an address is not used, nor accepted
    EXPECT_EQ(parseEpsvReply("229 (|||6446!)"), 0);
    EXPECT_EQ(parseEpsvReply("229 (|||)"), 0);
    EXPECT_EQ(parseEpsvReply("227 (|||6446|)"), 0);
    EXPECT_EQ(parseEpsvReply("229 (|||6446"), 0);
}

TEST(FtpReplies, PwdReplyGivesThePathWithoutQuotes)
{
    EXPECT_EQ(parsePwdReply("257 \"/web/site\" is the current directory"), "/web/site");
    EXPECT_EQ(parsePwdReply("257 \"/say \"\"hi\"\"/x\" is current"), "/say \"hi\"/x");
    EXPECT_EQ(parsePwdReply("257 \"/\""), "/");
    EXPECT_EQ(parsePwdReply("257 \"/unterminated"), "/unterminated");
    // Without quotes: from the sixth byte to the end.
    EXPECT_EQ(parsePwdReply("257 x/home/me"), "/home/me");
    EXPECT_EQ(parsePwdReply("257"), "");
}

TEST(FtpReplies, PortArgumentAndTrace)
{
    EXPECT_EQ(portArgument(0x7F000001, 1025), "127,0,0,1,4,1");
    EXPECT_EQ(portArgument(0xC0A80A02, 65535), "192,168,10,2,255,255");
    EXPECT_EQ(traceText("USER", "anna"), "USER anna");
    EXPECT_EQ(traceText("PASS", "topsecret"), "PASS ********");
    EXPECT_EQ(traceText("PASS", ""), "PASS");
    EXPECT_EQ(traceText("PWD", ""), "PWD");
    EXPECT_EQ(traceText("RETR", QByteArray(400, 'x')).size(), 255);
}

TEST(FtpReplies, AsciiDownloadTurnsCrLfIntoLfAcrossBlocks)
{
    CrLfDecoder d;
    QByteArray out = d.feed("a\r\nb\r", 5);
    out += d.feed("\nc\rd\r", 5);
    out += d.feed("\r\n", 2);
    out += d.feed("e\r", 2);
    out += d.finish();
    EXPECT_EQ(out, QByteArray("a\nb\nc\rd\r\ne\r"));
    EXPECT_EQ(lfToCrLf("x\ny\n\n", 5), QByteArray("x\r\ny\r\n\r\n"));
    EXPECT_EQ(lfToCrLf("", 0), QByteArray());
}

TEST(TransferFile, CodesOfEveryOperation)
{
    QTemporaryDir dir;
    const QString path = dir.filePath("f.bin");
    CTransferFile f;
    char buf[8];
    EXPECT_EQ(f.write("x", 1), CTransferFile::NotOpen);
    EXPECT_EQ(f.read(buf, 1), CTransferFile::NotOpen);
    EXPECT_EQ(f.close(), 0);
    EXPECT_EQ(f.size(), 0);
    EXPECT_EQ(f.move(0), -1);
    EXPECT_EQ(f.openRead(dir.filePath("missing")), ENOENT);

    ASSERT_EQ(f.openWrite(path), 0);
    EXPECT_EQ(f.write("hello", 5), 0);
    EXPECT_EQ(f.size(), 5);
    EXPECT_EQ(f.close(), 0);

    ASSERT_EQ(f.openRead(path), 0);
    EXPECT_EQ(f.move(2), 2);
    ASSERT_EQ(f.read(buf, 3), 0);
    EXPECT_EQ(QByteArray(buf, 3), "llo");
    // A short read closes the file and fails.
    EXPECT_NE(f.read(buf, 1), 0);
    EXPECT_FALSE(f.isOpen());

    // Opening for writing empties an existing file.
    ASSERT_EQ(f.openWrite(path), 0);
    EXPECT_EQ(f.size(), 0);
    // Writing to a file opened on a full device fails with -7 and closes it.
    ASSERT_EQ(f.openWrite(QStringLiteral("/dev/full")), 0);
    EXPECT_EQ(f.write("x", 1), CTransferFile::WriteFailed);
    EXPECT_FALSE(f.isOpen());
}

TEST(TransferFile, ResumeKeepsThePartAlreadyOnDisk)
{
    QTemporaryDir dir;
    const QString path = dir.filePath("part.bin");
    CTransferFile f;
    ASSERT_EQ(f.openWrite(path), 0);
    ASSERT_EQ(f.write("0123456789", 10), 0);
    f.close();
    ASSERT_EQ(f.openResume(path, 4), 0);
    ASSERT_EQ(f.write("xy", 2), 0);
    f.close();
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    EXPECT_EQ(file.readAll(), "0123xy");
}
