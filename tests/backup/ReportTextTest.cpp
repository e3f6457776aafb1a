#include "backup/ReportText.h"

#include <gtest/gtest.h>

namespace {

TEST(ReportText, SuccessfulReportEndsWithSummaryBlankAndClosingLines)
{
    const QString summary =
        cvb::reportSummaryLine(QStringLiteral("12/7/2026"), QStringLiteral("8:56:05 PM"), true);
    EXPECT_EQ(summary, QStringLiteral("12/7/2026 8:56:05 PM The backup was successful."));
    const QStringList lines = cvb::reportClosingLines(summary, true);
    ASSERT_EQ(lines.size(), 4);
    EXPECT_EQ(lines[1], QStringLiteral(" "));
    EXPECT_EQ(lines[2], QStringLiteral("Corvale Backup documentation and sales information"));
    EXPECT_EQ(lines[3], QStringLiteral("is available at ") + QLatin1String(cvb::kVendorWebAddress));
}

TEST(ReportText, ABackupCompleteButForVanishedFilesSaysSoAndAFailedOneStillWarns)
{
    EXPECT_EQ(cvb::reportSummaryLine(QStringLiteral("d"), QStringLiteral("t"), true, 2),
              QStringLiteral("d t The backup was successful except for 2 files that vanished from the server "
                             "during the run."));
    EXPECT_TRUE(cvb::reportSummaryLine(QStringLiteral("d"), QStringLiteral("t"), false, 2).contains(QLatin1String("WARNING")));
}

TEST(ReportText, FailedReportCarriesTheWarningAndTheProblemLine)
{
    const QString summary = cvb::reportSummaryLine(QStringLiteral("d"), QStringLiteral("t"), false);
    EXPECT_EQ(summary,
              QStringLiteral("d t WARNING.  The backup experienced errors and was not totaly sucessful!"));
    const QStringList lines = cvb::reportClosingLines(summary, false);
    ASSERT_EQ(lines.size(), 5);
    EXPECT_EQ(lines[1],
              QStringLiteral("The problem is detailed in the logs in the Corvale Backup program.  It is "
                             "recoemnded that you do an instant backup."));
    EXPECT_EQ(lines[2], QStringLiteral(" "));
}

TEST(ReportText, SubjectAndDetailLine)
{
    EXPECT_EQ(cvb::reportSubject(QStringLiteral("Nightly")),
              QStringLiteral("Backup report for profile : Nightly"));
    EXPECT_EQ(
        cvb::reportDetailLine(QStringLiteral("d"), QStringLiteral("t"), QStringLiteral("Backup Complete")),
        QStringLiteral("d t Backup Complete"));
}

} // namespace
