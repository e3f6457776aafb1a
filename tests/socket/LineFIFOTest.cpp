#include "socket/LineFIFO.h"

#include <QList>

#include <gtest/gtest.h>

using namespace cvb;

namespace {

void put(LineFIFO &f, const QByteArray &bytes)
{
    ASSERT_TRUE(f.Append(bytes));
}

// Every line that can be taken now; "<skip>" where a split terminator was consumed.
QList<QByteArray> takeLines(LineFIFO &f)
{
    QList<QByteArray> lines;
    for (;;) {
        QByteArray line;
        const LineFIFO::Take t = f.TakeLine(&line);
        if (t == LineFIFO::Take::None)
            return lines;
        lines << (t == LineFIFO::Take::Line ? line : QByteArray("<skip>"));
    }
}

} // namespace

TEST(LineFIFO, WholeTerminatorCutsLines)
{
    LineFIFO f;
    f.SetEOL("\r\n");
    put(f, "one\r\ntwo\nthree\r\npart");
    EXPECT_EQ(takeLines(f), (QList<QByteArray>{"one", "two\nthree"}));
    EXPECT_EQ(f.Count(), 4);
    put(f, "ial\r\n");
    EXPECT_EQ(takeLines(f), QList<QByteArray>{"partial"});
    EXPECT_TRUE(f.IsEmpty());
}

TEST(LineFIFO, AnyByteOfTheTerminatorEndsALine)
{
    LineFIFO f;
    f.SetEOL("\r\n");
    f.SetEolAnyChar(true);
    put(f, "a\rb\nc\r\nd\n\re\r\n");
    // LF then CR: a line and then an empty line.
    EXPECT_EQ(takeLines(f), (QList<QByteArray>{"a", "b", "c", "d", "", "e"}));
}

TEST(LineFIFO, TerminatorSplitAcrossReceivesGivesNoEmptyLine)
{
    LineFIFO f;
    f.SetEOL("\r\n");
    f.SetEolAnyChar(true);
    put(f, "first\r");
    EXPECT_EQ(takeLines(f), QList<QByteArray>{"first"});
    put(f, "\nsecond\r\n");
    EXPECT_EQ(takeLines(f), (QList<QByteArray>{"<skip>", "second"}));
}

TEST(LineFIFO, EmptyLineAfterACompleteTerminatorIsKept)
{
    LineFIFO f;
    f.SetEOL("\r\n");
    f.SetEolAnyChar(true);
    put(f, "first\r\n");
    EXPECT_EQ(takeLines(f), QList<QByteArray>{"first"});
    put(f, "\r\nthird\r\n");
    EXPECT_EQ(takeLines(f), (QList<QByteArray>{"", "third"}));
}

TEST(LineFIFO, NoTerminatorHandsOutEverything)
{
    LineFIFO f;
    put(f, "abc\r\ndef");
    EXPECT_EQ(takeLines(f), QList<QByteArray>{"abc\r\ndef"});
    EXPECT_EQ(f.FreeTail(), LineFIFO::kCapacity);
}

TEST(LineFIFO, UnreadDataMovesToTheFrontWhenNoLineEndIsFound)
{
    LineFIFO f;
    f.SetEOL("\n");
    put(f, QByteArray(1000, 'x') + "\n" + QByteArray(500, 'y'));
    EXPECT_EQ(takeLines(f).size(), 1);
    EXPECT_EQ(f.FreeTail(), LineFIFO::kCapacity - 500);
    EXPECT_FALSE(f.Append(QByteArray(LineFIFO::kCapacity - 499, 'z')));
    EXPECT_TRUE(f.Append(QByteArray(LineFIFO::kCapacity - 500, 'z')));
    EXPECT_TRUE(f.IsFull());
}
