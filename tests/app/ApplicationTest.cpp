#include "app/Application.h"
#include "data/DataError.h"
#include "ui/common/ScriptedDialogs.h"

#include <gtest/gtest.h>

using namespace cvb;

TEST(GeneralErrorDisplay, AnErrorEscapingAHandlerIsShownAndTheLoopGoesOn)
{
    ScriptedDialogs dialogs;
    EXPECT_TRUE(deliverReportingErrors([] { return true; }));
    EXPECT_FALSE(deliverReportingErrors(
        []() -> bool { throw DataError(QStringLiteral("FTP Log.dbf: the disk is full")); }));
    EXPECT_FALSE(deliverReportingErrors([]() -> bool { throw 42; }));
    ASSERT_EQ(dialogs.shown().size(), 2);
    EXPECT_EQ(dialogs.shown().at(0).kind, ScriptedDialogs::Kind::Error);
    EXPECT_EQ(dialogs.shown().at(0).text, QStringLiteral("FTP Log.dbf: the disk is full"));
    EXPECT_EQ(dialogs.shown().at(1).text, QStringLiteral("An unknown error ended the operation."));
}
