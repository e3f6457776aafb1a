// "Show Full Log": the full log of the profile of the current row, opened in the desktop's viewer.
#include "LogWindowFixture.h"

#include "data/FullLog.h"
#include "tests/support/Files.h"
#include "ui/logs/TFTP_LogMaint.h"

#include <QDesktopServices>
#include <QPointer>
#include <QPushButton>
#include <QTableView>
#include <QUrl>

namespace {

// Takes the place of the desktop's viewer for file addresses.
class Viewer : public QObject
{
    Q_OBJECT
public:
    Viewer() { QDesktopServices::setUrlHandler(QStringLiteral("file"), this, "open"); }
    ~Viewer() override { QDesktopServices::unsetUrlHandler(QStringLiteral("file")); }
    QList<QUrl> opened;
public slots:
    void open(const QUrl &url) { opened << url; }
};

class ShowFullLog : public cvb::test::LogWindowTest
{
protected:
    void addProfile(const QString &name)
    {
        cvb::Table profiles;
        profiles.open(cvb::ProfilesTable, cvb::ProfileIndex);
        profiles.insert();
        profiles.setString(QStringLiteral("PROFILE"), name);
        profiles.post();
    }
    void showFullLogOfRow(int row)
    {
        if (!window) {
            window = new cvb::TFTP_LogMaint(*main, &frame);
            window->show();
        }
        window->DBGrid1()->setCurrentIndex(window->DBGrid1()->model()->index(row, 2));
        window->findChild<QPushButton *>(QStringLiteral("ShowFullLogButton"))->click();
    }

    QWidget frame;
    QPointer<cvb::TFTP_LogMaint> window;
    Viewer viewer;
};

TEST_F(ShowFullLog, OpensTheFullLogOfTheRowsProfileWhoseNameMayHoldBlanks)
{
    addProfile(QStringLiteral("Site"));
    addProfile(QStringLiteral("Site Two"));
    writeRows(1, QStringLiteral("Site Two"));
    writeRows(1, QStringLiteral("Site"));
    ASSERT_EQ(cvb::appendFullLogLines(QStringLiteral("Site Two"), {QStringLiteral("a line")}), QString());

    showFullLogOfRow(0);
    EXPECT_EQ(viewer.opened, QList<QUrl>{QUrl::fromLocalFile(cvb::fullLogPath(QStringLiteral("Site Two")))});
    EXPECT_TRUE(dialogs.texts().isEmpty());

    // No backup of "Site" has written its full log yet.
    showFullLogOfRow(1);
    EXPECT_EQ(viewer.opened.size(), 1);
    EXPECT_EQ(dialogs.texts(), QStringList{QStringLiteral("There is no full log of profile Site yet.")});
}

TEST_F(ShowFullLog, ARowOfNoProfileSaysSoAndOpensNothing)
{
    addProfile(QStringLiteral("Site"));
    main->EventLog(QStringLiteral("Begining backup profile Site")); // before any backup: no profile in front
    showFullLogOfRow(0);
    EXPECT_TRUE(viewer.opened.isEmpty());
    ASSERT_EQ(dialogs.texts().size(), 1);
    EXPECT_TRUE(dialogs.texts()[0].startsWith(QStringLiteral("This row belongs to no profile.")));
}

} // namespace

#include "ShowFullLogTest.moc"
