// Address rules and the header block of the SMTP component.
#include "smtp/SMTPAddress.h"
#include "smtp/SMTP.h"

#include <gtest/gtest.h>

using namespace cvb;
using namespace cvb::smtp;

TEST(SMTPAddress, SenderAddressFromTheWaysPeopleWriteIt)
{
    EXPECT_EQ(SenderAddress("\"Corvale Backup\" <backup@example.org>"), "<backup@example.org>");
    EXPECT_EQ(SenderAddress("  backup@example.org  "), "<backup@example.org>");
    EXPECT_EQ(SenderAddress("(Corvale) backup@example.org"), "<backup@example.org>");
    EXPECT_EQ(SenderAddress("backup@example.org (Corvale Backup)"), "<backup@example.org>");
    EXPECT_EQ(SenderAddress("<backup@example.org>"), "<backup@example.org>");
    // A display name without quotes, or a quoted name after the address.
    EXPECT_EQ(SenderAddress("Corvale Backup <backup@example.org>"), "<backup@example.org>");
    EXPECT_EQ(SenderAddress("backup@example.org \"Corvale\""), "<backup@example.org>");
    // A comment or quote that is all there is stays.
    EXPECT_EQ(SenderAddress("(nobody)"), "<(nobody)>");
}

TEST(SMTPAddress, RecipientEntriesWithSeveralAddresses)
{
    EXPECT_EQ(ParseRecipients("a@x.org, b@x.org"), (QStringList{"a@x.org", "b@x.org"}));
    EXPECT_EQ(ParseRecipients("\"Smith, Ann\" <ann@x.org>, Bob <bob@x.org> (the boss), ,"),
              (QStringList{"ann@x.org", "bob@x.org"}));
    EXPECT_EQ(ParseRecipients("carl@x.org (Carl (the (nested) one), really)"), QStringList{"carl@x.org"});
    EXPECT_EQ(ParseRecipients("<a@x.org> trailing words, c@x.org"), (QStringList{"a@x.org", "c@x.org"}));
    EXPECT_EQ(ParseRecipients("o'brien@x.org, 'quoted name' d@x.org"),
              (QStringList{"o'brien@x.org", "d@x.org"}));
    EXPECT_TRUE(ParseRecipients("").isEmpty());
    EXPECT_TRUE(ParseRecipients("  ,  , \"only a name\"").isEmpty());
}

TEST(SMTPAddress, HeaderBlockOrderFoldingAndOptionalFields)
{
    TcvbSMTP smtp;
    smtp.SetFrom("Backup <b@x.org>");
    smtp.SendTo() << "a@x.org"
                  << "c@x.org";
    smtp.OtherHeaders() << "X-One: 1"
                        << "X-Two: 2";
    EXPECT_EQ(smtp.HeaderBlock(),
              "To: a@x.org  ,c@x.org\r\nFrom: Backup <b@x.org>\r\nX-One: 1\r\nX-Two: 2\r\n\r\n");

    smtp.SetSubject("Report");
    smtp.SetReplyTo("r@x.org");
    smtp.SetDate("Tue, 8 Dec 2026 10:00:00 +0000");
    smtp.SetCc({"d@x.org", "e@x.org"});
    smtp.OtherHeaders().clear();
    EXPECT_EQ(smtp.HeaderBlock(), "To: a@x.org  ,c@x.org\r\nFrom: Backup <b@x.org>\r\nSubject: Report\r\n"
                                  "Reply-To: r@x.org\r\nDate: Tue, 8 Dec 2026 10:00:00 +0000\r\n"
                                  "Cc: d@x.org,e@x.org\r\n\r\n");

    // Long values are folded at the first blank or comma from the 80th character on.
    const QString subject = QString(85, 'S') + " tail words";
    smtp.SetSubject(subject);
    EXPECT_EQ(smtp.Subject(), QString(85, 'S') + "\r\n\ttail words");
    QStringList many;
    for (int i = 0; i < 12; ++i)
        many << QString("person%1@example.org").arg(i);
    smtp.SendTo() = many;
    const QByteArray header = smtp.HeaderBlock();
    const QByteArray toLine = header.left(header.indexOf("\r\nFrom:"));
    for (const QByteArray &piece : toLine.split('\n'))
        EXPECT_LE(piece.size(), 110) << piece.constData();
    EXPECT_TRUE(toLine.contains("\r\n\t")) << toLine.constData();
    EXPECT_EQ(QByteArray(toLine).replace("\r\n\t", " ").count("  ,"), 11);

    smtp.SetAction(smtpResetHeaders);
    EXPECT_TRUE(smtp.From().isEmpty());
    EXPECT_TRUE(smtp.SendTo().isEmpty());
    EXPECT_TRUE(smtp.Cc().isEmpty());
    EXPECT_TRUE(smtp.Subject().isEmpty());
    EXPECT_TRUE(smtp.Date().isEmpty());
}

TEST(SMTPAddress, InvalidActionAndCopyOfSettings)
{
    TcvbSMTP smtp;
    EXPECT_THROW(smtp.SetAction(6), std::invalid_argument);
    EXPECT_EQ(smtp.MailPort(), 25);
    smtp.SetMailPort(2525);
    smtp.SetFrom("f@x.org");
    smtp.SendTo() << "t@x.org";
    smtp.BCc() << "hidden@x.org";
    smtp.MessageText() << "body";
    int traced = 0;
    smtp.OnPITrail = [&](QObject *, int, const QString &) { ++traced; };
    TcvbSMTP copy;
    copy.Assign(smtp);
    EXPECT_EQ(copy.MailPort(), 2525);
    EXPECT_EQ(copy.From(), "f@x.org");
    EXPECT_EQ(copy.SendTo(), QStringList{"t@x.org"});
    EXPECT_EQ(copy.BCc(), QStringList{"hidden@x.org"});
    EXPECT_EQ(copy.MessageText(), QStringList{"body"});
    ASSERT_TRUE(bool(copy.OnPITrail));
}
