// The encoder component: its line rules, files, splitting, errors and progress.
#include "mail/NetCode.h"
#include "tests/mail/MailTestFiles.h"

#include <QDir>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <stdexcept>

using namespace cvb;
using namespace cvb::test;

namespace {

QStringList encodeString(int format, const QByteArray &plain, const QString &fileName = {})
{
    TcvbNetCode coder;
    coder.SetFormat(format);
    coder.SetFileName(fileName);
    coder.SetDecodedData(plain);
    coder.SetAction(ntcEncodeToString);
    return coder.EncodedData();
}

QByteArray decodeLines(int format, const QStringList &lines)
{
    TcvbNetCode coder;
    coder.SetFormat(format);
    coder.SetEncodedData(lines);
    coder.SetAction(ntcDecodeToString);
    return coder.DecodedData();
}

// Runs an action that must fail and returns the code it raised.
int failingCode(TcvbNetCode &coder, int action)
{
    try {
        coder.SetAction(action);
    } catch (const EcvbNetCode &e) {
        EXPECT_EQ(e.Message(), QString::number(e.Code()) + ": " + TcvbNetCode::ErrorText(e.Code()));
        EXPECT_EQ(coder.LastErrorCode(), e.Code());
        EXPECT_EQ(coder.Action(), ntcIdle);
        return e.Code();
    }
    ADD_FAILURE() << "no error raised";
    return 0;
}

} // namespace

TEST(NetCode, Base64LinesOf72AndEmptyInput)
{
    QTemporaryDir dir;
    writeFile(dir.filePath("empty"), {});
    encodeFile(fmtBASE64, dir.filePath("empty"), dir.filePath("empty.b64"));
    EXPECT_EQ(readFile(dir.filePath("empty.b64")), QByteArray());

    writeFile(dir.filePath("b54"), QByteArray(54, '\xff'));
    encodeFile(fmtBASE64, dir.filePath("b54"), dir.filePath("b54.b64"));
    EXPECT_EQ(readFile(dir.filePath("b54.b64")), QByteArray(72, '/') + "\r\n");

    const QStringList lines = encodeString(fmtBASE64, QByteArray(55, 'a'));
    ASSERT_EQ(lines.size(), 2);
    EXPECT_EQ(lines[0].size(), 72);
    EXPECT_EQ(lines[1], "YQ==");
    EXPECT_EQ(encodeString(fmtBASE64, "ab"), QStringList{"YWI="});
}

TEST(NetCode, Base64DecoderTrimsLinesAndKeepsPartialGroups)
{
    EXPECT_EQ(decodeLines(fmtBASE64, {"  \tYWJj", "ZA==", "ZWY"}), "abcdef");
}

TEST(NetCode, QuotedPrintableEscapesAndLineLimits)
{
    EXPECT_EQ(encodeString(fmtQP, "a=b"), QStringList{"a=3Db"});
    EXPECT_EQ(encodeString(fmtQP, "a b \nc\t\n"), (QStringList{"a b=20", "c=09"}));
    EXPECT_EQ(encodeString(fmtQP, "caf\xe9\x01\x7f"), QStringList{"caf=E9=01=7F"});
    // CR LF read as text is one line end.
    EXPECT_EQ(encodeString(fmtQP, "x\r\ny\r\n"), (QStringList{"x", "y"}));

    // A blank escaped at the end of a line that already holds 74 characters makes 77.
    EXPECT_EQ(encodeString(fmtQP, QByteArray(74, 'a') + " \n"), QStringList{QByteArray(74, 'a') + "=20"});

    // Every other line, soft break included, stays within 76.
    QByteArray text;
    for (int length = 60; length < 240; ++length)
        text += QByteArray(length, 'k') + "=\xe9 x" + QByteArray(length % 7, ' ') + "\n";
    const QStringList lines = encodeString(fmtQP, text);
    for (const QString &line : lines)
        EXPECT_LE(line.size(), line.endsWith("=20") || line.endsWith("=09") ? 77 : 76) << line.toStdString();
    EXPECT_EQ(decodeLines(fmtQP, lines), QByteArray(text).replace("\n", "\r\n"));

    // A soft break comes before an escape that would pass column 75.
    const QStringList soft = encodeString(fmtQP, QByteArray(73, 'a') + "=");
    EXPECT_EQ(soft, (QStringList{QByteArray(73, 'a') + "=", "=3D"}));
}

TEST(NetCode, QuotedPrintableDecoderKeepsOddEscapes)
{
    EXPECT_EQ(decodeLines(fmtQP, {"a=3d=3Db=", "c=XYd=4"}), "a==bc=XYd=4\r\n");
}

TEST(NetCode, UrlEncodingBothWays)
{
    const QByteArray plain = "a b\"%<>[]\\^`{|}~\x7f\xff+ok\n";
    const QStringList encoded = encodeString(fmtURL, plain);
    EXPECT_EQ(encoded, QStringList{"a%20b%22%25%3C%3E%5B%5D%5C%5E%60%7B%7C%7D%7E%7F%FF+ok%0A"});
    EXPECT_EQ(decodeLines(fmtURL, {"a%2fb%zz+%4"}), "a/b%zz+%4\n");
    EXPECT_EQ(decodeLines(fmtURL, encoded).chopped(1), plain);
}

TEST(NetCode, UuencodeBeginLineModeAndGraveAccent)
{
    const QStringList lines = encodeString(fmtUUE, QByteArray(3, '\0'), "zero.bin");
    EXPECT_EQ(lines, (QStringList{"begin 600 zero.bin", "#````", "`", "end"}));

    TcvbNetCode coder;
    coder.SetFormat(fmtUUE);
    coder.SetEncodedData({"some mail header", "begin 644 x.txt", "#86)C", "`", "end"});
    coder.SetAction(ntcDecodeToString);
    EXPECT_EQ(coder.DecodedData(), "abc");
    EXPECT_EQ(coder.Mode(), "644");
}

TEST(NetCode, IntelliCodeSkipsLinesThatCannotBeData)
{
    const QStringList encoded = encodeString(fmtUUE, QByteArray(100, 'q'), "q");
    QStringList noisy = {"From: someone", "begin 600 q"};
    noisy << "-- a signature line that is not data --" << encoded[1] << "lowercase is not data"
          << encoded.mid(2);
    EXPECT_EQ(decodeLines(fmtUUE, noisy), QByteArray(100, 'q'));

    TcvbNetCode plain;
    plain.SetFormat(fmtUUE);
    plain.SetIntelliCode(false);
    plain.SetEncodedData(noisy);
    plain.SetAction(ntcDecodeToString);
    EXPECT_NE(plain.DecodedData(), QByteArray(100, 'q'));
}

TEST(NetCode, UudecodeFailures)
{
    TcvbNetCode coder;
    coder.SetFormat(fmtUUE);
    coder.SetEncodedData({"no uuencoded data", "here"});
    EXPECT_EQ(failingCode(coder, ntcDecodeToString), 1);

    coder.SetEncodedData({"begin 755 x", "#86)C"});
    EXPECT_EQ(failingCode(coder, ntcDecodeToString), 2);
    EXPECT_EQ(coder.Mode(), "600");

    coder.SetFileName({});
    coder.SetDecodedData({});
    EXPECT_EQ(failingCode(coder, ntcEncodeToString), 8);
}

TEST(NetCode, UudecodedFileStaysInTheChosenFolder)
{
    QTemporaryDir dir;
    writeFile(dir.filePath("in.uue"), "begin 600 ../../escaped.txt\n#86)C\n`\nend\n");
    TcvbNetCode coder;
    coder.SetFormat(fmtUUE);
    coder.SetEncodedData({dir.filePath("in.uue")});
    coder.SetFileName(dir.path() + "/");
    coder.SetAction(ntcDecodeToFile);
    EXPECT_EQ(readFile(dir.filePath("escaped.txt")), "abc");
    EXPECT_FALSE(QFile::exists(QDir(dir.path()).absoluteFilePath("../../escaped.txt")));
}

TEST(NetCode, ExistingFileWithoutOverwriteIsUntouched)
{
    QTemporaryDir dir;
    writeFile(dir.filePath("in"), "new data");
    writeFile(dir.filePath("out.b64"), "precious");
    TcvbNetCode coder;
    coder.SetFormat(fmtBASE64);
    coder.SetDecodedData(QFile::encodeName(dir.filePath("in")));
    coder.SetEncodedData({dir.filePath("out.b64")});
    EXPECT_EQ(failingCode(coder, ntcEncodeToFile), 9);
    EXPECT_EQ(coder.LastErrorText(), "File exists and 'Overwrite' was set to 'False'");
    EXPECT_EQ(readFile(dir.filePath("out.b64")), "precious");

    coder.SetEncodedData({dir.filePath("in")});
    coder.SetDecodedData(QFile::encodeName(dir.filePath("out.b64")));
    EXPECT_EQ(failingCode(coder, ntcDecodeToFile), 9);
    EXPECT_EQ(readFile(dir.filePath("out.b64")), "precious");
}

TEST(NetCode, MissingNamesAndFiles)
{
    QTemporaryDir dir;
    TcvbNetCode coder;
    coder.SetFormat(fmtBASE64);
    coder.SetDecodedData(QFile::encodeName(dir.filePath("missing")));
    EXPECT_EQ(failingCode(coder, ntcEncodeToFile), 12);
    coder.SetEncodedData({QString()});
    EXPECT_EQ(failingCode(coder, ntcEncodeToFile), 12);
    coder.SetEncodedData({dir.filePath("x.b64")});
    EXPECT_EQ(failingCode(coder, ntcEncodeToFile), 5);
    writeFile(dir.filePath("in"), "x");
    coder.SetDecodedData(QFile::encodeName(dir.filePath("in")));
    coder.SetEncodedData({dir.filePath("no/such/folder/x.b64")});
    EXPECT_EQ(failingCode(coder, ntcEncodeToFile), 4);
}

TEST(NetCode, InvalidActionAndFormatAreGeneralErrors)
{
    TcvbNetCode coder;
    EXPECT_THROW(
        {
            try {
                coder.SetAction(5);
            } catch (const std::invalid_argument &e) {
                EXPECT_STREQ(e.what(), "Invalid Action Value");
                throw;
            }
        },
        std::invalid_argument);
    EXPECT_THROW(coder.SetFormat(4), std::invalid_argument);
    EXPECT_EQ(coder.Format(), fmtUUE);
}

TEST(NetCode, SplitsOverNumberedFilesAndReadsThemBack)
{
    QTemporaryDir dir;
    QByteArray plain;
    for (int i = 0; i < 5000; ++i)
        plain.append(char(i * 7));
    writeFile(dir.filePath("plain"), plain);

    for (int format : {fmtBASE64, fmtUUE, fmtQP}) {
        SCOPED_TRACE(format);
        TcvbNetCode coder;
        coder.SetFormat(format);
        coder.SetMaxFileSize(2000);
        coder.SetDecodedData(QFile::encodeName(dir.filePath("plain")));
        coder.SetEncodedData({dir.filePath("part?ignored")});
        coder.SetAction(ntcEncodeToFile);
        const QStringList parts = coder.EncodedData();
        ASSERT_GE(parts.size(), 3);
        const QString extension = format == fmtBASE64 ? ".B64" : format == fmtUUE ? ".UUE" : ".Q_P";
        EXPECT_EQ(parts[0], dir.filePath("part0" + extension));
        for (const QString &part : parts)
            EXPECT_LE(readFile(part).size(), 2000 + (format == fmtQP ? 300 : 0)) << part.toStdString();

        TcvbNetCode back;
        back.SetFormat(format);
        back.SetOverwrite(true);
        back.SetEncodedData({dir.filePath("part?")});
        back.SetDecodedData(QFile::encodeName(dir.filePath("back")));
        back.SetAction(ntcDecodeToFile);
        EXPECT_EQ(back.EncodedData(), parts);
        QByteArray expected = plain;
        if (format == fmtQP)
            expected.replace("\r\n", "\n").replace("\n", "\r\n");
        EXPECT_EQ(readFile(dir.filePath("back")), expected);
        for (const QString &part : parts)
            QFile::remove(part);
    }
}

TEST(NetCode, UuencodedPartsCarryTheirHeaders)
{
    QTemporaryDir dir;
    writeFile(dir.filePath("plain"), QByteArray(900, 'u'));
    TcvbNetCode coder;
    coder.SetFormat(fmtUUE);
    coder.SetMaxFileSize(600);
    coder.SetFileName("u.bin");
    coder.SetDecodedData(QFile::encodeName(dir.filePath("plain")));
    coder.SetEncodedData({dir.filePath("u?")});
    coder.SetAction(ntcEncodeToFile);
    const QStringList parts = coder.EncodedData();
    ASSERT_EQ(parts.size(), 4);
    EXPECT_TRUE(
        readFile(parts[0]).startsWith("------------ Part 1 of 4 ------------\r\nbegin 600 u.bin\r\n"));
    EXPECT_TRUE(readFile(parts[0]).endsWith("-------- End of part 1 of 4 --------\r\n"));
    EXPECT_TRUE(readFile(parts[1]).startsWith("------------ Part 2 of 4 ------------\r\nM"));
    EXPECT_TRUE(readFile(parts[3]).endsWith("`\r\nend\r\n-------- End of part 4 of 4 --------\r\n"));
}

TEST(NetCode, ListOfNamesRunsOut)
{
    QTemporaryDir dir;
    writeFile(dir.filePath("plain"), QByteArray(1000, 'b'));
    TcvbNetCode coder;
    coder.SetFormat(fmtBASE64);
    coder.SetMaxFileSize(300);
    coder.SetOverwrite(true);
    coder.SetDecodedData(QFile::encodeName(dir.filePath("plain")));
    coder.SetEncodedData({dir.filePath("a"), dir.filePath("b")});
    EXPECT_EQ(failingCode(coder, ntcEncodeToFile), 18);

    // Output that fits exactly into the names given leaves no empty part behind.
    coder.SetMaxFileSize(1000 * 4 / 3 / 2 + 76);
    coder.SetEncodedData({dir.filePath("a"), dir.filePath("b")});
    coder.SetAction(ntcEncodeToFile);
    TcvbNetCode back;
    back.SetFormat(fmtBASE64);
    back.SetEncodedData({dir.filePath("a"), dir.filePath("b")});
    back.SetDecodedData(QFile::encodeName(dir.filePath("back")));
    back.SetAction(ntcDecodeToFile);
    EXPECT_EQ(readFile(dir.filePath("back")), QByteArray(1000, 'b'));
    EXPECT_EQ(readFile(dir.filePath("b")).count('\n'), 9);
}

TEST(NetCode, ProgressStepsAndCompletion)
{
    QTemporaryDir dir;
    writeFile(dir.filePath("plain"), QByteArray(100000, 'p'));
    auto run = [&](int step) {
        std::vector<int> seen;
        TcvbNetCode coder;
        coder.SetFormat(fmtBASE64);
        coder.SetOverwrite(true);
        coder.SetProgressStep(step);
        coder.OnProgress = [&](QObject *sender, int percent) {
            EXPECT_EQ(sender, &coder);
            seen.push_back(percent);
        };
        coder.SetDecodedData(QFile::encodeName(dir.filePath("plain")));
        coder.SetEncodedData({dir.filePath("out")});
        coder.SetAction(ntcEncodeToFile);
        return seen;
    };
    EXPECT_EQ(run(25), (std::vector<int>{0, 25, 50, 75, 100}));
    EXPECT_EQ(run(30), (std::vector<int>{0, 30, 60, 90, 100}));
    EXPECT_EQ(run(1).size(), 101u);
    EXPECT_TRUE(run(0).empty());

    // A conversion that fails part way does not complete its progress.
    std::vector<int> failed;
    writeFile(dir.filePath("in.uue"), "begin 600 taken\n" + QByteArray(2000, '\n'));
    writeFile(dir.filePath("taken"), "kept");
    TcvbNetCode coder;
    coder.SetProgressStep(10);
    coder.OnProgress = [&](QObject *, int percent) { failed.push_back(percent); };
    coder.SetFormat(fmtUUE);
    coder.SetEncodedData({dir.filePath("in.uue")});
    coder.SetDecodedData(QFile::encodeName(dir.filePath("taken")));
    EXPECT_EQ(failingCode(coder, ntcDecodeToFile), 9);
    EXPECT_EQ(failed, std::vector<int>{0});
}

TEST(NetCode, TextModeFilesAndCopyOfSettings)
{
    QTemporaryDir dir;
    writeFile(dir.filePath("dos.txt"), "one\r\ntwo\r\n\x1a");
    TcvbNetCode coder;
    coder.setObjectName("NetCode1");
    coder.SetFormat(fmtQP);
    coder.SetOverwrite(true);
    coder.SetMode("6447777777");
    coder.SetDecodedData(QFile::encodeName(dir.filePath("dos.txt")));
    coder.SetEncodedData({dir.filePath("dos.qp")});
    coder.SetAction(ntcEncodeToFile);
    EXPECT_EQ(readFile(dir.filePath("dos.qp")), "one\r\ntwo\r\n");
    EXPECT_EQ(coder.Mode(), "6447777");
    EXPECT_EQ(coder.FileName(), dir.filePath("dos.txt"));

    TcvbNetCode copy;
    copy.Assign(coder);
    EXPECT_EQ(copy.Format(), fmtQP);
    EXPECT_EQ(copy.EncodedData(), coder.EncodedData());
    EXPECT_EQ(copy.DecodedData(), coder.DecodedData());
    EXPECT_TRUE(copy.Overwrite());
    EXPECT_EQ(copy.Mode(), "6447777");
}
