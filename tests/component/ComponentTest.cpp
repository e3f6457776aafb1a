#include "component/Component.h"

#include <gtest/gtest.h>

using namespace cvb;

namespace {

class EcvbSample : public EcvbComponent
{
    using EcvbComponent::EcvbComponent;
};

class SampleComponent : public TcvbComponent
{
public:
    std::exception_ptr CreateError(int code, const QString &text) override
    {
        return std::make_exception_ptr(EcvbSample(code, text));
    }
};

} // namespace

TEST(DescribeError, OkKnownAndUnknownCodes)
{
    EXPECT_EQ(DescribeError(0), "Ok");
    EXPECT_EQ(DescribeError(10061), "[10061] Connection refused.");
    EXPECT_EQ(DescribeError(10004), "[10004] Interrupted system call.");
    EXPECT_EQ(DescribeError(11004), "[11004] Valid name, no data record (check DNS setup).");
    EXPECT_EQ(DescribeError(10066), "[10066] Directory not empt.");
    EXPECT_EQ(DescribeError(142), "[142] (no description available).");
    EXPECT_EQ(DescribeError(301), "[301] (no description available).");
}

TEST(DescribeError, CodeIsTakenAsSixteenBits)
{
    EXPECT_EQ(DescribeError(65536 + 10061), "[10061] Connection refused.");
    EXPECT_EQ(DescribeError(-1), "[65535] (no description available).");
}

TEST(TcvbComponent, ReportErrorRaisesTheComponentsOwnClass)
{
    SampleComponent c;
    EXPECT_TRUE(c.RaiseOnError());
    try {
        c.ReportError(10061);
        FAIL() << "no exception";
    } catch (const EcvbSample &e) {
        EXPECT_EQ(e.Code(), 10061);
        EXPECT_EQ(e.Message(), "10061: [10061] Connection refused.");
        EXPECT_STREQ(e.what(), "10061: [10061] Connection refused.");
    }
    EXPECT_EQ(c.LastErrorCode(), 10061);
    EXPECT_EQ(c.LastErrorText(), "[10061] Connection refused.");
    EXPECT_THROW(c.ReportError(143, "Busy performing current action."), EcvbComponent);
    EXPECT_EQ(c.LastErrorText(), "Busy performing current action.");
}

TEST(TcvbComponent, WithoutRaisingOnlyRecordsAndRestoresTheFlag)
{
    TcvbComponent c;
    const int code = WithoutRaising(c, [&] { c.ReportError(102, "Invalid port number"); });
    EXPECT_EQ(code, 102);
    EXPECT_EQ(c.LastErrorText(), "Invalid port number");
    EXPECT_TRUE(c.RaiseOnError());
    c.SetRaiseOnError(false);
    c.ReportError(7);
    EXPECT_EQ(c.LastErrorText(), "[7] (no description available).");
}

TEST(TcvbComponent, FireErrorCallsOnErrorAndNeverRaises)
{
    TcvbComponent c;
    EXPECT_NO_THROW(c.FireError(10054, "gone"));
    QObject *sender = nullptr;
    int seen = 0;
    QString description;
    c.OnError = [&](QObject *s, int code, const QString &text) {
        sender = s;
        seen = code;
        description = text;
    };
    c.FireError(10054, "gone");
    EXPECT_EQ(sender, &c);
    EXPECT_EQ(seen, 10054);
    EXPECT_EQ(description, "gone");
}
