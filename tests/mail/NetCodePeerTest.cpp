// The encoders against Python's base64, uu and quopri modules, in both directions.
#include "mail/NetCode.h"
#include "tests/mail/MailTestFiles.h"
#include "tests/support/Peers.h"

#include <QRandomGenerator>
#include <QTemporaryDir>

#include <gtest/gtest.h>

using namespace cvb;
using namespace cvb::test;

namespace {

QByteArray randomBytes(int size, quint32 seed)
{
    QRandomGenerator rng(seed);
    QByteArray data(size, '\0');
    for (char &c : data)
        c = char(rng.bounded(256));
    return data;
}

QByteArray allByteValues()
{
    QByteArray data;
    for (int round = 0; round < 3; ++round)
        for (int b = 0; b < 256; ++b)
            data.append(char(b));
    return data;
}

// Text as the mail window hands it over: LF line ends, Latin-1 letters, tabs, runs of blanks.
QByteArray randomText(int lines, quint32 seed)
{
    static const QByteArray alphabet = QByteArrayLiteral("abc XYZ 019 =.,;\t\xe9\xfc\xdf\x01\x7f\xff=  ");
    QRandomGenerator rng(seed);
    QByteArray text;
    for (int i = 0; i < lines; ++i) {
        const int length = rng.bounded(0, 200);
        for (int k = 0; k < length; ++k)
            text.append(alphabet.at(rng.bounded(int(alphabet.size()))));
        text.append('\n');
    }
    return text;
}

struct Sample
{
    std::string name;
    QByteArray bytes;
    bool text; // also checked as quoted-printable text
};

std::vector<Sample> samples()
{
    std::vector<Sample> list = {
        {"empty", {}, true},
        {"one", "A", true},
        {"b53", randomBytes(53, 1), false},
        {"b54", randomBytes(54, 2), false},
        {"b55", randomBytes(55, 3), false},
        {"b45", randomBytes(45, 4), false},
        {"b46", randomBytes(46, 5), false},
        {"b1000", randomBytes(1000, 6), false},
        {"b70001", randomBytes(70001, 7), false},
        {"all256", allByteValues(), false},
        {"spaces", QByteArray(500, ' '), true},
        {"equals", QByteArray(500, '='), true},
        {"textrandom", randomText(300, 8), true},
        {"textnoend", "last line without a line end ", true},
    };
    for (int length = 74; length <= 77; ++length) {
        QByteArray lines = QByteArray(length, 'x') + '\n' + QByteArray(length - 1, 'y') + " \n" +
                           QByteArray(length - 1, 'z') + "=\n" + QByteArray(length - 1, 'w') + "\xe9\n";
        list.push_back({"line" + std::to_string(length), lines, true});
    }
    QByteArray textBytes;
    for (int b = 0; b < 256; ++b)
        if (b != '\r' && b != '\n')
            textBytes.append(char(b));
    list.push_back({"all256text", textBytes + '\n' + textBytes, true});
    return list;
}

} // namespace

TEST(NetCodePeer, OurEncodingsDecodeWithPythonAndPythonsDecodeWithOurs)
{
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const auto all = samples();
    for (const Sample &s : all) {
        const QString stem = dir.filePath(QString::fromStdString(s.name));
        writeFile(stem + ".plain", s.bytes);
        encodeFile(fmtBASE64, stem + ".plain", stem + ".b64");
        encodeFile(fmtUUE, stem + ".plain", stem + ".uue");
        if (s.text)
            encodeFile(fmtQP, stem + ".plain", stem + ".qp");
    }

    const ProcessResult peer =
        runProcess(python(), {sourcePath("tests/mail/codec_peer.py"), dir.path()}, 120000);
    EXPECT_EQ(peer.exitCode, 0) << peer.out.constData() << peer.err.constData();

    for (const Sample &s : all) {
        SCOPED_TRACE(s.name);
        const QString stem = dir.filePath(QString::fromStdString(s.name));
        decodeFile(fmtBASE64, stem + ".py.b64", stem + ".back.b64");
        EXPECT_EQ(readFile(stem + ".back.b64"), s.bytes);
        decodeFile(fmtUUE, stem + ".py.uue", stem + ".back.uue");
        EXPECT_EQ(readFile(stem + ".back.uue"), s.bytes);
        if (s.text) {
            // Decoded text is written with CR LF line ends.
            decodeFile(fmtQP, stem + ".py.qp", stem + ".back.qp");
            QByteArray expected = s.bytes;
            expected.replace("\n", "\r\n");
            EXPECT_EQ(readFile(stem + ".back.qp"), expected);
        }
    }
}

TEST(NetCodePeer, PythonBase64WithoutLineBreaksDecodes)
{
    QTemporaryDir dir;
    const QByteArray plain = randomBytes(5000, 11);
    writeFile(dir.filePath("one.line"), plain.toBase64());
    decodeFile(fmtBASE64, dir.filePath("one.line"), dir.filePath("out"));
    EXPECT_EQ(readFile(dir.filePath("out")), plain);
}
