#include "app/PlaceholderWindow.h"

#include <QCoreApplication>
#include <QEvent>
#include <QLabel>
#include <QPointer>
#include <QPushButton>
#include <QTest>
#include <gtest/gtest.h>

using namespace cvb;

TEST(PlaceholderWindow, CarriesTheWindowsNameAndCaptionAndFreesItselfOnItsButton)
{
    QWidget frame;
    QPointer<PlaceholderWindow> window =
        new PlaceholderWindow(QStringLiteral("FTP_LogMaint"), QStringLiteral("Log Maintenance"), &frame);
    frame.show();
    window->show();
    EXPECT_EQ(frame.findChild<QWidget *>(QStringLiteral("FTP_LogMaint")), window.data());
    EXPECT_EQ(window->windowTitle(), QStringLiteral("Log Maintenance"));
    // Inside another window the caption is not drawn by the window system, so it is shown inside.
    EXPECT_EQ(window->findChild<QLabel *>(QStringLiteral("Caption"))->text(),
              QStringLiteral("Log Maintenance"));

    bool gone = false;
    QObject::connect(window, &QObject::destroyed, [&gone] { gone = true; });
    QTest::mouseClick(window->findChild<QPushButton *>(QStringLiteral("CloseButton")), Qt::LeftButton);
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_TRUE(gone);
    EXPECT_TRUE(window.isNull());
}
