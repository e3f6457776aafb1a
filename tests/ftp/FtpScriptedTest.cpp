// The FTP component against scripted servers: exact command transcripts and the odd replies
// that real servers seldom produce.
#include "ftp/FolderListing.h"
#include "ftp/FtpClient.h"
#include "tests/support/FtpServer.h"
#include "tests/support/ScriptedServer.h"

#include <QFile>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <gtest/gtest.h>

using namespace cvb;
using cvb::test::ScriptedServer;

using cvb::test::readFile;
using cvb::test::writeFile;

namespace {

// The PASV reply that sends the data connection to a scripted data server.
QByteArray pasvReply(int port)
{
    return "227 Entering Passive Mode (127,0,0,1," + QByteArray::number(port / 256) + "," +
           QByteArray::number(port % 256) + ")\r\n";
}

class FtpScripted : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ftp.setObjectName(QStringLiteral("cvbFTP1"));
        ftp.SetWinsockLoaded(true);
        ftp.SetControlPort(std::uint16_t(control.Port()));
        ftp.SetRemoteHost(QStringLiteral("127.0.0.1"));
        ftp.SetUser(QStringLiteral("anna"));
        ftp.SetPassword(QStringLiteral("pw"));
        ftp.OnFirePITrail = [this](QObject *, int direction, const QString &message) {
            trace << QString::number(direction) + ":" + message;
        };
        ftp.OnError = [this](QObject *, int code, const QString &text) {
            errors << QString::number(code) + ":" + text;
        };
    }

    void TearDown() override
    {
        EXPECT_TRUE(control.Failures().isEmpty()) << control.Failures().join("\n").toStdString();
    }

    // Greeting, USER and PASS.
    ScriptedServer &scriptLogon()
    {
        return control.Send("220 ready\r\n")
            .ExpectLine("USER anna")
            .Send("331 password please\r\n")
            .ExpectLine("PASS pw")
            .Send("230 logged on\r\n");
    }

    // Runs an action that must fail; returns the exception's code and message.
    std::pair<int, QString> failing(int action)
    {
        try {
            ftp.SetAction(action);
        } catch (const EcvbFTP &e) {
            return {e.Code(), e.Message()};
        }
        return {0, QString()};
    }

    QStringList sent() const { return trace.filter(QRegularExpression("^0:")); }

    ScriptedServer control;
    TcvbFTP ftp;
    QStringList trace;
    QStringList errors;
    QTemporaryDir dir;
};

} // namespace

TEST_F(FtpScripted, MultiLineGreetingWithIndentedContinuationIsOneReply)
{
    control
        .Send("220-Welcome\r\n 220 this indented line ends nothing\r\n220-still more\r\n"
              "220 ready\r\n")
        .ExpectLine("USER anna")
        .Send("331-Password\r\n331 please\r\n")
        .ExpectLine("PASS pw")
        .Send("230 ok\r\n");
    control.Start();
    ftp.SetAction(ftpLogon);
    EXPECT_TRUE(control.WaitDone());
    EXPECT_EQ(trace,
              QStringList({"2:Connecting to FTP server.", "2:Connected.", "1:220-Welcome",
                           "1: 220 this indented line ends nothing", "1:220-still more", "1:220 ready",
                           "0:USER anna", "1:331-Password", "1:331 please", "0:PASS ********", "1:230 ok"}));
    EXPECT_EQ(ftp.Action(), ftpIdle);
}

TEST_F(FtpScripted, AMultiLineReplyEndsOnlyAtItsOwnCodeAndASpace)
{
    // Free text inside a multi-line reply may begin with anything, another reply's code too.
    control.Send("220-Welcome\r\nThis line has no code\r\n530 is only text here\r\n220-\r\n220 ready\r\n")
        .ExpectLine("USER anna")
        .Send("331 please\r\n")
        .ExpectLine("PASS pw")
        .Send("230 ok\r\n");
    control.Start();
    ftp.SetAction(ftpLogon);
    EXPECT_TRUE(control.WaitDone());
    EXPECT_EQ(sent(), QStringList({"0:USER anna", "0:PASS ********"}));
    EXPECT_EQ(ftp.Action(), ftpIdle);
}

TEST_F(FtpScripted, ALetterLedLineOutsideAMultiLineReplyFailsWith141)
{
    control.Send("This line has no code\r\n");
    control.Start();
    const auto [code, message] = failing(ftpLogon);
    EXPECT_EQ(code, 141);
    EXPECT_EQ(message, "141: This line has no code");
}

TEST_F(FtpScripted, RefusedRetrRaises141WithTheReplyLineAndKeepsTheConnection)
{
    ScriptedServer data;
    scriptLogon()
        .ExpectLine("PASV")
        .Send(pasvReply(data.Port()))
        .ExpectLine("RETR missing.txt")
        .Send("550 missing.txt: No such file or directory.\r\n")
        .ExpectLine("NOOP")
        .Send("200 ok\r\n");
    control.Start();
    ftp.SetPassive(true);
    ftp.SetRemoteFile(QStringLiteral("missing.txt"));
    ftp.SetLocalFile(dir.filePath("missing.txt"));
    const auto [code, message] = failing(ftpDownload);
    EXPECT_EQ(code, 141);
    EXPECT_EQ(message, "141: 550 missing.txt: No such file or directory.");
    EXPECT_TRUE(ftp.Connected());
    ftp.SetRawCommand(QStringLiteral("NOOP"));
    ftp.SetAction(ftpRawCommand);
    EXPECT_TRUE(control.WaitDone());
}

TEST_F(FtpScripted, DirectoryChangesAndPwdWithAQuoteInThePath)
{
    scriptLogon()
        .ExpectLine("CDUP")
        .Send("250 ok\r\n")
        .ExpectLine("CWD /web site")
        .Send("250 ok\r\n")
        .ExpectLine("PWD")
        .Send("257 \"/web site/say \"\"hi\"\"\" is the current directory\r\n")
        .ExpectLine("PWD")
        .Send("550 no\r\n")
        .ExpectLine("CWD /nowhere")
        .Send("550 /nowhere: No such directory\r\n");
    control.Start();
    ftp.SetRemotePath(QStringLiteral("..")); // disconnected: stored only
    EXPECT_EQ(ftp.RemotePath(), "..");
    ftp.SetAction(ftpLogon);
    ftp.SetRemotePath(QStringLiteral(".."));
    ftp.SetRemotePath(QStringLiteral("/web site"));
    EXPECT_EQ(ftp.RemotePath(), "/web site/say \"hi\"");
    // A failed PWD keeps the stored path and raises nothing.
    EXPECT_EQ(ftp.RemotePath(), "/web site/say \"hi\"");
    try {
        ftp.SetRemotePath(QStringLiteral("/nowhere"));
        ADD_FAILURE() << "no exception";
    } catch (const EcvbFTP &e) {
        EXPECT_EQ(e.Code(), 141);
    }
    EXPECT_TRUE(control.WaitDone());
}

TEST_F(FtpScripted, TransferModeSetWhileDisconnectedIsSentAfterPass)
{
    scriptLogon().ExpectLine("TYPE I").Send("200 binary\r\n").ExpectLine("TYPE A").Send("200 ascii\r\n");
    control.Start();
    ftp.SetTransferMode(tmBinary);
    EXPECT_TRUE(trace.isEmpty());
    ftp.SetAction(ftpLogon);
    ftp.SetTransferMode(tmASCII);
    EXPECT_EQ(ftp.TransferMode(), tmASCII);
    EXPECT_TRUE(control.WaitDone());
    EXPECT_EQ(sent(), QStringList({"0:USER anna", "0:PASS ********", "0:TYPE I", "0:TYPE A"}));
    EXPECT_THROW(ftp.SetTransferMode(7), std::invalid_argument);
}

TEST_F(FtpScripted, AnyActionLogsOnFirstAndAnEmptyUserSendsNoUserLine)
{
    control.Send("220 ready\r\n")
        .ExpectLine("PASS")
        .Send("230 ok\r\n")
        .ExpectLine("MKD new folder")
        .Send("257 \"new folder\" created\r\n")
        .ExpectLine("QUIT")
        .Send("221 bye\r\n")
        .Close();
    control.Start();
    ftp.SetUser({});
    ftp.SetPassword({});
    ftp.SetRemoteFile(QStringLiteral("new folder"));
    ftp.SetAction(ftpMakeDirectory);
    ftp.SetAction(ftpLogoff);
    EXPECT_FALSE(ftp.Connected());
    EXPECT_TRUE(control.WaitDone());
    EXPECT_EQ(sent(), QStringList({"0:PASS", "0:MKD new folder", "0:QUIT"}));
    // A second logoff on the disconnected component does nothing.
    trace.clear();
    ftp.SetAction(ftpLogoff);
    EXPECT_TRUE(trace.isEmpty());
}

TEST_F(FtpScripted, RefusedConnectFiresOnErrorThenRaisesTheSocketCode)
{
    control.StopListening();
    const auto [code, message] = failing(ftpLogon);
    EXPECT_EQ(errors, QStringList({"142:Failed to connect: [10061] Connection refused."}));
    EXPECT_EQ(code, 10061);
    EXPECT_EQ(message, "10061: [10061] Connection refused.");
    EXPECT_FALSE(ftp.Connected());
    EXPECT_EQ(ftp.Action(), ftpIdle);
}

TEST_F(FtpScripted, AbortAnswered426Then226Succeeds)
{
    scriptLogon().ExpectLine().Send("426 transfer aborted\r\n226 abort successful\r\n");
    control.Start();
    ftp.SetAction(ftpLogon);
    ftp.SetAction(ftpAbort);
    EXPECT_TRUE(control.WaitDone());
    ASSERT_FALSE(control.Lines().isEmpty());
    EXPECT_TRUE(control.Lines().last().endsWith("ABOR"));
    EXPECT_EQ(trace.mid(trace.size() - 3),
              QStringList({"0:ABOR", "1:426 transfer aborted", "1:226 abort successful"}));
}

TEST_F(FtpScripted, BusyComponentRefusesAnotherActionFromAnEventHandler)
{
    ScriptedServer data;
    data.Send("a\r\n").Close();
    scriptLogon()
        .ExpectLine("PASV")
        .Send(pasvReply(data.Port()))
        .ExpectLine("NLST")
        .Send("150 here it comes\r\n")
        .Pause(200)
        .Send("226 done\r\n");
    control.Start();
    data.Start();
    ftp.SetPassive(true);
    int busyCode = 0;
    ftp.OnDirList = [&](QObject *, const QString &) {
        try {
            ftp.SetAction(ftpMakeDirectory);
        } catch (const EcvbFTP &e) {
            busyCode = e.Code();
        }
    };
    ftp.SetAction(ftpListDirectory);
    EXPECT_EQ(busyCode, 143);
    EXPECT_TRUE(control.WaitDone());
}

TEST_F(FtpScripted, PasvRepliesInOddFormsReachTheDataServer)
{
    // No parenthesis and a foreign address; numbers above 255 (taken modulo 256) with blanks.
    ScriptedServer data1, data2;
    data1.Send("first").Close();
    data2.Send("second").Close();
    const int p1 = data1.Port(), p2 = data2.Port();
    scriptLogon()
        .ExpectLine("PASV")
        .Send("227 Entering Passive Mode 10,9,8,7," + QByteArray::number(p1 / 256) + "," +
              QByteArray::number(p1 % 256) + "\r\n")
        .ExpectLine("RETR one")
        .Send("125 go\r\n226 done\r\n")
        .ExpectLine("PASV")
        .Send("227 =( 383, 0, 0, 1, " + QByteArray::number(p2 / 256 + 512) + ", " +
              QByteArray::number(p2 % 256 + 256) + ")\r\n")
        .ExpectLine("RETR two")
        .Send("150 go\r\n226 done\r\n");
    control.Start();
    data1.Start();
    data2.Start();
    ftp.SetPassive(true);
    QByteArray received;
    ftp.OnTransfer = [&](QObject *, std::int64_t, const QByteArray &text) { received += text; };
    ftp.SetRemoteFile(QStringLiteral("one"));
    ftp.SetAction(ftpDownload);
    ftp.SetRemoteFile(QStringLiteral("two"));
    ftp.SetAction(ftpDownload);
    EXPECT_EQ(received, "firstsecond");
    EXPECT_TRUE(control.WaitDone());
}

TEST_F(FtpScripted, FinalReplyBeforeTheLastDataStillDeliversEveryByte)
{
    QByteArray content;
    for (int i = 0; i < 40000; ++i)
        content += char('a' + i % 26);
    ScriptedServer data;
    data.Pause(300).Send(content.left(30000)).Pause(200).Send(content.mid(30000)).Close();
    scriptLogon()
        .ExpectLine("PASV")
        .Send(pasvReply(data.Port()))
        .ExpectLine("REST 5")
        .Send("350 restarting\r\n")
        .ExpectLine("RETR big.txt")
        .Send("150 opening\r\n226 transfer complete\r\n");
    control.Start();
    data.Start();
    const QString local = dir.filePath("big.txt");
    ASSERT_TRUE(writeFile(local, "01234 stale rest"));
    int starts = 0, ends = 0;
    std::int64_t lastCount = 0;
    ftp.OnStartTransfer = [&](QObject *) { ++starts; };
    ftp.OnEndTransfer = [&](QObject *) { ++ends; };
    ftp.OnTransfer = [&](QObject *, std::int64_t count, const QByteArray &text) {
        EXPECT_TRUE(text.isEmpty());
        EXPECT_GT(count, lastCount);
        lastCount = count;
    };
    // The bytes written to the file, for a hash taken as they arrive: exactly what came.
    QByteArray written;
    ftp.OnFileBytes = [&](const QByteArray &bytes) { written += bytes; };
    ftp.SetPassive(true);
    ftp.SetStartByte(5);
    ftp.SetRemoteFile(QStringLiteral("big.txt"));
    ftp.SetLocalFile(local);
    ftp.SetAction(ftpDownload);
    EXPECT_EQ(readFile(local), "01234" + content);
    EXPECT_EQ(written, content);
    EXPECT_EQ(lastCount, 5 + content.size());
    EXPECT_EQ(starts, 1);
    EXPECT_EQ(ends, 1);
    EXPECT_TRUE(control.WaitDone());
}

TEST_F(FtpScripted, DataConnectionClosedEarlyFailsWithTheServersReply)
{
    ScriptedServer data;
    data.Pause(150).Send(QByteArray(5000, 'x')).Reset();
    scriptLogon()
        .ExpectLine("PASV")
        .Send(pasvReply(data.Port()))
        .ExpectLine("RETR cut.bin")
        .Send("150 opening\r\n")
        .Pause(300)
        .Send("426 Connection closed; transfer aborted.\r\n");
    control.Start();
    data.Start();
    int ends = 0;
    ftp.OnEndTransfer = [&](QObject *) { ++ends; };
    ftp.SetPassive(true);
    ftp.SetRemoteFile(QStringLiteral("cut.bin"));
    ftp.SetLocalFile(dir.filePath("cut.bin"));
    const auto [code, message] = failing(ftpDownload);
    EXPECT_EQ(code, 141);
    EXPECT_EQ(message, "141: 426 Connection closed; transfer aborted.");
    EXPECT_EQ(ends, 1) << errors.join("|").toStdString() << trace.join("|").toStdString();
    EXPECT_LE(readFile(dir.filePath("cut.bin")).size(), 5000);
    EXPECT_TRUE(control.WaitDone());
}

TEST_F(FtpScripted, UploadOfAnEmptyFileAndOfAMissingOne)
{
    ScriptedServer data;
    data.ReadToEnd();
    scriptLogon()
        .ExpectLine("PASV")
        .Send(pasvReply(data.Port()))
        .ExpectLine("STOR empty.txt")
        .Send("150 ok\r\n")
        .Pause(300)
        .Send("226 stored\r\n");
    control.Start();
    data.Start();
    const QString empty = dir.filePath("empty.txt");
    ASSERT_TRUE(writeFile(empty, {}));
    ftp.SetPassive(true);
    ftp.SetLocalFile(empty);
    ftp.SetRemoteFile(QStringLiteral("empty.txt"));
    ftp.SetAction(ftpUpload);
    EXPECT_TRUE(data.WaitDone());
    EXPECT_TRUE(data.Received().isEmpty());
    EXPECT_TRUE(control.WaitDone());

    trace.clear();
    ftp.SetLocalFile(dir.filePath("not there.txt"));
    auto [code, message] = failing(ftpUpload);
    EXPECT_EQ(message, "145: Error reading from local file.");
    ftp.SetLocalFile({});
    std::tie(code, message) = failing(ftpUpload);
    EXPECT_EQ(message, "145: Please specify a local file for upload.");
    EXPECT_TRUE(sent().isEmpty());
}

TEST_F(FtpScripted, UploadWaitsForTheSocketWhenTheServerReadsSlowly)
{
    // Far more than the socket buffers hold, to a server that starts reading late: the pump
    // stops when the socket takes no more and goes on when it can take bytes again. The
    // final reply comes early; the action still ends only when the upload has closed the data
    // connection.
    QByteArray content(6 * 1024 * 1024 + 777, Qt::Uninitialized);
    for (qsizetype i = 0; i < content.size(); ++i)
        content[i] = char((i * 7919) >> 8);
    ScriptedServer data;
    data.Pause(500).ReadToEnd();
    scriptLogon()
        .ExpectLine("PASV")
        .Send(pasvReply(data.Port()))
        .ExpectLine("STOR slow.bin")
        .Send("150 ok\r\n226 ok\r\n");
    control.Start();
    data.Start();
    const QString local = dir.filePath("slow.bin");
    ASSERT_TRUE(writeFile(local, content));
    std::int64_t lastCount = 0;
    int ends = 0;
    ftp.OnTransfer = [&](QObject *, std::int64_t count, const QByteArray &) { lastCount = count; };
    ftp.OnEndTransfer = [&](QObject *) { ++ends; };
    ftp.SetPassive(true);
    ftp.SetLocalFile(local);
    ftp.SetRemoteFile(QStringLiteral("slow.bin"));
    ftp.SetAction(ftpUpload);
    EXPECT_EQ(ends, 1);
    EXPECT_EQ(lastCount, content.size());
    EXPECT_TRUE(data.WaitDone());
    EXPECT_TRUE(data.Received() == content);
    EXPECT_TRUE(control.WaitDone());
}

TEST_F(FtpScripted, ListingLinesWithoutEmptyEntriesAndAnUnterminatedLastLine)
{
    ScriptedServer data;
    data.Send("one\r\ntwo\r").Pause(100).Send("\nthree\nfour\rlast without end").Close();
    scriptLogon()
        .ExpectLine("PASV")
        .Send(pasvReply(data.Port()))
        .ExpectLine("NLST sub dir")
        .Send("150 listing\r\n226 done\r\n");
    control.Start();
    data.Start();
    QStringList entries;
    ftp.OnDirList = [&](QObject *, const QString &entry) { entries << entry; };
    ftp.SetPassive(true);
    ftp.SetRemoteFile(QStringLiteral("sub dir"));
    ftp.SetAction(ftpListDirectory);
    EXPECT_EQ(entries, QStringList({"one", "two", "three", "four", "last without end"}));
    EXPECT_TRUE(control.WaitDone());
}

TEST_F(FtpScripted, AsciiDownloadJoinsACrLfSplitAcrossBlocks)
{
    ScriptedServer data;
    data.Send("one\r").Pause(150).Send("\ntwo\r\nthree\r").Pause(150).Send("\n").Close();
    scriptLogon()
        .ExpectLine("TYPE A")
        .Send("200 ascii\r\n")
        .ExpectLine("PASV")
        .Send(pasvReply(data.Port()))
        .ExpectLine("RETR page.txt")
        .Send("150 go\r\n226 done\r\n");
    control.Start();
    data.Start();
    ftp.SetTransferMode(tmASCII);
    ftp.SetPassive(true);
    ftp.SetRemoteFile(QStringLiteral("page.txt"));
    ftp.SetLocalFile(dir.filePath("page.txt"));
    ftp.SetAction(ftpDownload);
    EXPECT_EQ(readFile(dir.filePath("page.txt")), "one\ntwo\nthree\n");
    EXPECT_TRUE(control.WaitDone());
}

TEST_F(FtpScripted, SilentServerTimesOutButASlowTransferDoesNot)
{
    // The data keeps coming, slowly, while the control connection is silent for longer than
    // the idle limit: activity on either connection counts.
    ScriptedServer data;
    for (int i = 0; i < 6; ++i)
        data.Pause(300).Send("chunk");
    data.Close();
    scriptLogon()
        .ExpectLine("PASV")
        .Send(pasvReply(data.Port()))
        .ExpectLine("RETR slow")
        .Send("150 go\r\n")
        .Pause(2100)
        .Send("226 done\r\n")
        .ExpectLine("NOOP");
    control.Start();
    data.Start();
    ftp.SetIdleLimit(1);
    ftp.SetPassive(true);
    QByteArray received;
    ftp.OnTransfer = [&](QObject *, std::int64_t, const QByteArray &text) { received += text; };
    ftp.SetRemoteFile(QStringLiteral("slow"));
    ftp.SetAction(ftpDownload);
    EXPECT_EQ(received, QByteArray("chunk").repeated(6));

    // Now nothing at all comes back.
    ftp.SetRawCommand(QStringLiteral("NOOP"));
    const auto [code, message] = failing(ftpRawCommand);
    EXPECT_EQ(code, 301);
    EXPECT_EQ(message, "301: Timed out");
    EXPECT_EQ(ftp.Action(), ftpIdle);
    EXPECT_TRUE(control.WaitDone());
}

TEST_F(FtpScripted, ALogoffThatTimesOutSaysSoAndStillDisconnects)
{
    // The time-out is told from an interruption however the action ends: here QUIT's own
    // failure handling runs between the wait and the report.
    scriptLogon().ExpectLine("QUIT").ReadToEnd();
    control.Start();
    ftp.SetAction(ftpLogon);
    ftp.SetIdleLimit(1);
    const auto [code, message] = failing(ftpLogoff);
    EXPECT_EQ(code, 301);
    EXPECT_EQ(message, "301: Timed out");
    EXPECT_FALSE(ftp.Connected());
    EXPECT_TRUE(trace.contains("2:Forcing disconnection from FTP server.")) << trace.join("\n").toStdString();
    EXPECT_TRUE(control.WaitDone());
}

TEST_F(FtpScripted, TimedOutTransferDropsTheConnectionAndTheNextActionLogsOnAfresh)
{
    // The data connection opens and then stays silent, as does the control connection. The
    // wait is made of many short passes; together they reach the limit. The reply owed to
    // RETR would answer the next command, so the connection is closed and the next action
    // starts on a new one.
    ScriptedServer data;
    data.Pause(4000).Close();
    scriptLogon()
        .ExpectLine("PASV")
        .Send(pasvReply(data.Port()))
        .ExpectLine("RETR stuck")
        .Send("150 go\r\n")
        .ReadToEnd()
        .Accept();
    scriptLogon().ExpectLine("NOOP").Send("200 fine\r\n");
    control.Start();
    data.Start();
    ftp.SetIdleLimit(1);
    ftp.SetPassive(true);
    // Should the limit never be reached, the test ends the wait itself and fails.
    QTimer::singleShot(8000, &ftp, [this] { ftp.SetAction(ftpIdle); });
    ftp.SetRemoteFile(QStringLiteral("stuck"));
    const auto [code, message] = failing(ftpDownload);
    EXPECT_EQ(message, "301: Timed out");
    EXPECT_FALSE(ftp.Connected());

    ftp.SetRawCommand(QStringLiteral("NOOP"));
    ftp.SetAction(ftpRawCommand);
    EXPECT_EQ(ftp.ReplyLine(), "200 fine");
    EXPECT_TRUE(control.WaitDone());
}

TEST_F(FtpScripted, InterruptedLogonLeavesNoHalfOpenConnection)
{
    // The greeting is late and the log-on is interrupted meanwhile: the greeting must not be
    // taken later for the reply to another command.
    control.Pause(600).Send("220 late\r\n").ReadToEnd().Accept();
    scriptLogon().ExpectLine("CWD /site").Send("250 here\r\n");
    control.Start();
    QTimer::singleShot(200, &ftp, [this] { ftp.SetAction(ftpIdle); });
    const auto [code, message] = failing(ftpLogon);
    EXPECT_EQ(code, 301);
    EXPECT_FALSE(ftp.Connected());

    ftp.SetAction(ftpLogon);
    ftp.SetRemotePath(QStringLiteral("/site"));
    EXPECT_EQ(ftp.ReplyLine(), "250 here");
    EXPECT_TRUE(control.WaitDone());
}

TEST_F(FtpScripted, AbortFromATransferEventEndsTheTransferAsInterrupted)
{
    ScriptedServer data;
    data.Send(QByteArray(3000, 'x')).Pause(3000).Close();
    scriptLogon()
        .ExpectLine("PASV")
        .Send(pasvReply(data.Port()))
        .ExpectLine("RETR long.bin")
        .Send("150 opening\r\n")
        .ExpectLine()
        .Send("426 Connection closed; transfer aborted.\r\n226 ABOR command successful.\r\n")
        .ExpectLine("NOOP")
        .Send("200 still here\r\n");
    control.Start();
    data.Start();
    bool aborted = false;
    ftp.OnTransfer = [&](QObject *, std::int64_t, const QByteArray &) {
        if (!aborted) {
            aborted = true;
            ftp.SetAction(ftpAbort);
        }
    };
    int ends = 0;
    ftp.OnEndTransfer = [&](QObject *) { ++ends; };
    ftp.SetPassive(true);
    ftp.SetRemoteFile(QStringLiteral("long.bin"));
    const auto [code, message] = failing(ftpDownload);
    EXPECT_EQ(code, 301);
    EXPECT_EQ(message, "301: Interrupted");
    EXPECT_EQ(ends, 1);
    EXPECT_EQ(ftp.Action(), ftpIdle);
    // The control connection is still good for the next command.
    ftp.SetRawCommand(QStringLiteral("NOOP"));
    ftp.SetAction(ftpRawCommand);
    EXPECT_TRUE(control.WaitDone());
}

TEST_F(FtpScripted, AfterALostConnectionTheNextActionReturnsToItsFolderOrFails)
{
    // The server drops the connection while the component sits in /site/sub. The next action
    // logs on again and walks back to /site/sub before it asks for a bare name. On the third
    // connection the folder is gone, and the action fails instead of working in the log-on folder.
    scriptLogon()
        .ExpectLine("CWD /site")
        .Send("250 ok\r\n")
        .ExpectLine("CWD sub")
        .Send("250 ok\r\n")
        .Close()
        .Accept();
    scriptLogon()
        .ExpectLine("CWD /site")
        .Send("250 ok\r\n")
        .ExpectLine("CWD sub")
        .Send("250 ok\r\n")
        .ExpectLine("SIZE b.txt")
        .Send("213 7\r\n")
        .Close()
        .Accept();
    scriptLogon().ExpectLine("CWD /other").Send("550 gone\r\n");
    control.Start();
    ftp.SetAction(ftpLogon);
    ftp.SetRemotePath(QStringLiteral("/site"));
    ftp.SetRemotePath(QStringLiteral("sub"));
    ASSERT_TRUE(QTest::qWaitFor([this] { return !ftp.Connected(); }, 10000));

    ftp.SetRawCommand(QStringLiteral("SIZE b.txt"));
    ftp.SetAction(ftpRawCommand);
    EXPECT_EQ(ftp.ReplyLine(), "213 7");
    ASSERT_TRUE(QTest::qWaitFor([this] { return !ftp.Connected(); }, 10000));

    // A folder asked for while disconnected is entered by the next log-on, before the action.
    ftp.SetRemotePath(QStringLiteral("/other"));
    const auto [code, message] = failing(ftpRawCommand);
    EXPECT_EQ(code, 141);
    EXPECT_TRUE(message.contains("could not return to the folder /other: 550 gone")) << message.toStdString();
    EXPECT_TRUE(control.WaitDone());
}

TEST_F(FtpScripted, ARefusedPasswordIsNeverSentAgainByItselfOnlyAfterAnotherIsSet)
{
    // The server refuses the account and closes, as hosts do that count failed log-ons. The
    // actions after it fail with that answer and connect nowhere; a new password is tried.
    control.Send("220 ready\r\n")
        .ExpectLine("USER anna")
        .Send("331 password please\r\n")
        .ExpectLine("PASS pw")
        .Send("530 Login incorrect.\r\n")
        .Close()
        .Accept()
        .Send("220 ready\r\n")
        .ExpectLine("USER anna")
        .Send("331 password please\r\n")
        .ExpectLine("PASS right")
        .Send("230 logged on\r\n");
    control.Start();
    EXPECT_EQ(failing(ftpLogon).first, 141);
    ASSERT_TRUE(QTest::qWaitFor([this] { return !ftp.Connected(); }, 10000));
    EXPECT_TRUE(ftp.LogOnBarred());
    for (int action : {ftpListDirectory, ftpDownload}) {
        const auto [code, message] = failing(action);
        EXPECT_EQ(code, 141);
        EXPECT_TRUE(message.endsWith(QStringLiteral("530 Login incorrect."))) << message.toStdString();
    }
    EXPECT_FALSE(control.ConnectionWaiting());
    EXPECT_EQ(sent().filter(QStringLiteral("PASS")).size(), 1);

    ftp.SetPassword(QStringLiteral("right"));
    EXPECT_FALSE(ftp.LogOnBarred());
    ftp.SetAction(ftpLogon);
    EXPECT_TRUE(control.WaitDone());
    EXPECT_EQ(sent().filter(QStringLiteral("PASS")).size(), 2);
}

TEST_F(FtpScripted, AnEndlessListingIsStoppedAtItsLimitAndFails)
{
    // More names than a listing may hold: the listing stops there, fails with its own error,
    // and the caller never holds more than the limit.
    ScriptedServer data;
    data.Send(QByteArray("n\r\n").repeated(int(CDataInterface::kListingNameLimit) + 1000)).Close();
    scriptLogon()
        .ExpectLine("PASV")
        .Send(pasvReply(data.Port()))
        .ExpectLine("NLST")
        .Send("150 listing\r\n")
        .Pause(500)
        .Send("226 done\r\n");
    control.Start();
    data.Start();
    qint64 entries = 0;
    ftp.OnDirList = [&](QObject *, const QString &) { ++entries; };
    ftp.SetPassive(true);
    const auto [code, message] = failing(ftpListDirectory);
    EXPECT_EQ(code, 148);
    EXPECT_TRUE(message.contains("longer than 1000000 names")) << message.toStdString();
    EXPECT_EQ(entries, CDataInterface::kListingNameLimit);
    EXPECT_TRUE(control.WaitDone());
}

namespace {

QByteArray epsvReply(int port)
{
    return "229 Entering Extended Passive Mode (|||" + QByteArray::number(port) + "|)\r\n";
}

QString typeName(ftp::EntryType type)
{
    switch (type) {
    case ftp::EntryType::File:
        return QStringLiteral("file");
    case ftp::EntryType::Folder:
        return QStringLiteral("folder");
    case ftp::EntryType::Link:
        return QStringLiteral("link");
    case ftp::EntryType::Unknown:
        break;
    }
    return QStringLiteral("unknown");
}

// "name:type" of every entry, in order.
QStringList described(const FolderEntries &listing)
{
    QStringList out;
    for (const ftp::ListedEntry &entry : listing.entries)
        out << entry.name + QLatin1Char(':') + typeName(entry.type);
    return out;
}

const QDateTime listingNow(QDate(2026, 12, 10), QTime(8, 0), Qt::UTC);

} // namespace

TEST_F(FtpScripted, TypeIsSentOnlyToChangeTheConnectionsTypeAndAgainAfterANewLogOn)
{
    ScriptedServer data1, data2, data3;
    for (ScriptedServer *data : {&data1, &data2, &data3})
        data->Send("x").Close();
    scriptLogon()
        .ExpectLine("TYPE I")
        .Send("200 binary\r\n")
        .ExpectLine("PASV")
        .Send(pasvReply(data1.Port()))
        .ExpectLine("RETR a")
        .Send("150 go\r\n226 done\r\n")
        .ExpectLine("PASV")
        .Send(pasvReply(data2.Port()))
        .ExpectLine("RETR b")
        .Send("150 go\r\n226 done\r\n")
        // A refused TYPE leaves the type unknown: the next request for binary is sent.
        .ExpectLine("TYPE A")
        .Send("504 not now\r\n")
        .ExpectLine("TYPE I")
        .Send("200 binary\r\n")
        .Close()
        .Accept();
    // The new session starts in the server's default type, whatever the last one was in.
    scriptLogon()
        .ExpectLine("TYPE I")
        .Send("200 binary\r\n")
        .ExpectLine("PASV")
        .Send(pasvReply(data3.Port()))
        .ExpectLine("RETR c")
        .Send("150 go\r\n226 done\r\n");
    control.Start();
    for (ScriptedServer *data : {&data1, &data2, &data3})
        data->Start();
    ftp.SetPassive(true);
    ftp.SetAction(ftpLogon);
    const auto download = [this](const char *name) {
        ftp.SetTransferMode(tmBinary);
        ftp.SetRemoteFile(QString::fromLatin1(name));
        ftp.SetAction(ftpDownload);
    };
    download("a");
    download("b");
    try {
        ftp.SetTransferMode(tmASCII);
        ADD_FAILURE() << "no exception";
    } catch (const EcvbFTP &e) {
        EXPECT_EQ(e.Code(), 141);
    }
    ftp.SetTransferMode(tmBinary);
    ftp.SetTransferMode(tmBinary);
    ASSERT_TRUE(QTest::qWaitFor([this] { return !ftp.Connected(); }, 10000));
    download("c");
    ftp.SetTransferMode(tmBinary);
    EXPECT_TRUE(control.WaitDone());
    EXPECT_EQ(sent().filter(QStringLiteral("TYPE")),
              QStringList({"0:TYPE I", "0:TYPE A", "0:TYPE I", "0:TYPE I"}));
}

TEST_F(FtpScripted, AFolderIsListedWithMlsdOverEpsvWhenFeatOffersThemAndFeatIsAskedOnce)
{
    ScriptedServer data1, data2;
    data1
        .Send("type=cdir;modify=20261210073100; /site\r\n"
              "type=pdir;modify=20261210073100; /\r\n"
              "type=dir;modify=20261210073100; images\r\n"
              "type=file;size=12;modify=20240102000000; index.html\r\n"
              "type=file;size=3;modify=20240102000000; .htaccess\r\n"
              "type=file;size=5;modify=20261210073100; my page .html\r\n"
              "type=OS.unix=slink:/srv/releases/3;modify=20261210073100; current\r\n")
        .Close();
    data2.Send("type=file;size=1; logo.png\r\n").Close();
    scriptLogon()
        .ExpectLine("FEAT")
        .Send("211-Features:\r\n EPSV\r\n MLST type*;size*;modify*;\r\n REST STREAM\r\n211 End\r\n")
        .ExpectLine("EPSV")
        .Send(epsvReply(data1.Port()))
        .ExpectLine("MLSD")
        .Send("150 listing\r\n226 done\r\n")
        .ExpectLine("EPSV")
        .Send(epsvReply(data2.Port()))
        .ExpectLine("MLSD")
        .Send("150 listing\r\n226 done\r\n");
    control.Start();
    data1.Start();
    data2.Start();
    int handlerCalls = 0;
    ftp.OnDirList = [&](QObject *, const QString &) { ++handlerCalls; };
    ftp.SetPassive(true);
    ftp.SetAction(ftpLogon);
    const FolderEntries first = listFolderEntries(ftp, listingNow);
    EXPECT_TRUE(first.typed);
    EXPECT_EQ(described(first), QStringList({"images:folder", "index.html:file", ".htaccess:file",
                                             "my page .html:file", "current:link"}));
    ASSERT_EQ(first.entries.size(), 5);
    EXPECT_EQ(first.entries[1].size, 12);
    const FolderEntries second = listFolderEntries(ftp, listingNow);
    EXPECT_EQ(described(second), QStringList({"logo.png:file"}));
    EXPECT_EQ(handlerCalls, 0);
    EXPECT_TRUE(control.WaitDone());
    EXPECT_EQ(sent().filter(QStringLiteral("FEAT")).size(), 1);
}

TEST_F(FtpScripted, WithoutMlsdAFolderIsListedWithListDashAAndItsUnixAndDosLinesAreRead)
{
    // A server from before FEAT: no MLSD, no EPSV. The first folder answers in the Unix form
    // (numeric owners, a line without the group, a link, a name with blanks, dot files); the
    // second server takes "-a" for a name and answers the plain LIST in the DOS/IIS form.
    ScriptedServer data1, refused, data2;
    refused.ReadToEnd();
    data1
        .Send("total 20\r\n"
              "drwxr-xr-x   2 1000     1000         4096 Dec 10 07:31 .\r\n"
              "drwxr-xr-x   5 1000     1000         4096 Dec 10 07:31 ..\r\n"
              "drwxr-xr-x   2 1000     1000         4096 Dec 10 07:31 images\r\n"
              "-rw-r--r--   1 web      web            12 Jan  2  2024 index.html\r\n"
              "-rw-r--r--   1 web                      3 Jan  2  2024 .htaccess\r\n"
              "lrwxrwxrwx   1 web      web            10 Dec 10 07:31 current -> releases/3\r\n"
              "-rw-r--r--   1 web      web             5 Dec 10 07:31 my page  .html\r\n")
        .Close();
    data2
        .Send("01-02-25  03:04PM       <DIR>          old site\r\n"
              "12-31-24  11:00AM                 1234 web.config\r\n")
        .Close();
    scriptLogon()
        .ExpectLine("FEAT")
        .Send("500 FEAT not understood\r\n")
        .ExpectLine("PASV")
        .Send(pasvReply(data1.Port()))
        .ExpectLine("LIST -a")
        .Send("150 listing\r\n226 done\r\n")
        .ExpectLine("PASV")
        .Send(pasvReply(refused.Port()))
        .ExpectLine("LIST -a")
        .Send("550 -a: The system cannot find the file specified.\r\n")
        .ExpectLine("PASV")
        .Send(pasvReply(data2.Port()))
        .ExpectLine("LIST")
        .Send("125 listing\r\n226 done\r\n");
    control.Start();
    data1.Start();
    refused.Start();
    data2.Start();
    ftp.SetPassive(true);
    ftp.SetAction(ftpLogon);
    const FolderEntries unix = listFolderEntries(ftp, listingNow);
    EXPECT_TRUE(unix.typed);
    EXPECT_EQ(described(unix), QStringList({"images:folder", "index.html:file", ".htaccess:file",
                                            "current:link", "my page  .html:file"}));
    const FolderEntries dos = listFolderEntries(ftp, listingNow);
    EXPECT_TRUE(dos.typed);
    EXPECT_EQ(described(dos), QStringList({"old site:folder", "web.config:file"}));
    EXPECT_TRUE(control.WaitDone());
    // FEAT was refused once: not asked again in the same session.
    EXPECT_EQ(sent().filter(QStringLiteral("FEAT")).size(), 1);
}

TEST_F(FtpScripted, ListingLinesThatCannotBeReadFallBackToNamesOfUnknownType)
{
    ScriptedServer data1, data2;
    data1.Send("images\r\n-rw-r--r-- 1 web web 12 Jan  2  2024 index.html\r\n").Close();
    data2.Send(".htaccess\r\nimages\r\nindex.html\r\n").Close();
    scriptLogon()
        .ExpectLine("FEAT")
        .Send("211-Features:\r\n SIZE\r\n211 End\r\n")
        .ExpectLine("PASV")
        .Send(pasvReply(data1.Port()))
        .ExpectLine("LIST -a")
        .Send("150 listing\r\n226 done\r\n")
        .ExpectLine("PASV")
        .Send(pasvReply(data2.Port()))
        .ExpectLine("NLST -a")
        .Send("150 listing\r\n226 done\r\n");
    control.Start();
    data1.Start();
    data2.Start();
    ftp.SetPassive(true);
    ftp.SetAction(ftpLogon);
    const FolderEntries names = listFolderEntries(ftp, listingNow);
    EXPECT_FALSE(names.typed);
    EXPECT_EQ(described(names), QStringList({".htaccess:unknown", "images:unknown", "index.html:unknown"}));
    EXPECT_TRUE(control.WaitDone());
}

TEST_F(FtpScripted, EpsvWhereOfferedAndPasvForTheRestOfTheSessionOnceItIsRefused)
{
    ScriptedServer data1, data2, data3;
    data1.Send("one").Close();
    data2.Send("two").Close();
    data3.Send("three").Close();
    scriptLogon()
        .ExpectLine("FEAT")
        .Send("211-Extensions supported:\r\n EPSV\r\n PASV\r\n211 End.\r\n")
        .ExpectLine("EPSV")
        .Send(epsvReply(data1.Port()))
        .ExpectLine("RETR one")
        .Send("150 go\r\n226 done\r\n")
        // A firewall on the way that knows no EPSV.
        .ExpectLine("EPSV")
        .Send("500 EPSV not understood\r\n")
        .ExpectLine("PASV")
        .Send(pasvReply(data2.Port()))
        .ExpectLine("RETR two")
        .Send("150 go\r\n226 done\r\n")
        .ExpectLine("PASV")
        .Send(pasvReply(data3.Port()))
        .ExpectLine("RETR three")
        .Send("150 go\r\n226 done\r\n");
    control.Start();
    data1.Start();
    data2.Start();
    data3.Start();
    ftp.SetPassive(true);
    ftp.SetAction(ftpLogon);
    EXPECT_TRUE(ftp.Features().epsv);
    QByteArray received;
    ftp.OnTransfer = [&](QObject *, std::int64_t, const QByteArray &text) { received += text; };
    for (const char *name : {"one", "two", "three"}) {
        ftp.SetRemoteFile(QString::fromLatin1(name));
        ftp.SetAction(ftpDownload);
    }
    EXPECT_EQ(received, "onetwothree");
    EXPECT_TRUE(errors.isEmpty()) << errors.join("\n").toStdString();
    EXPECT_TRUE(control.WaitDone());
}
