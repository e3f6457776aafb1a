// main() of every test program: GoogleTest inside a QApplication on the offscreen platform,
// so that widgets, timers and socket notifiers work as they do in the program.
#include <QApplication>
#include <gtest/gtest.h>

int main(int argc, char **argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    // ctest's ENVIRONMENT keeps only the first of these for discovered tests: set the rest here.
    if (qEnvironmentVariableIsEmpty("CVB_PACING"))
        qputenv("CVB_PACING", "0");
    if (qEnvironmentVariableIsEmpty("CVB_TEST_PYTHON"))
        qputenv("CVB_TEST_PYTHON", "/usr/bin/python3");
    if (qEnvironmentVariableIsEmpty("CVB_BUILD_DIR"))
        qputenv("CVB_BUILD_DIR", CVB_BUILD_DIR_DEFAULT);
    ::testing::InitGoogleTest(&argc, argv);
    QApplication app(argc, argv);
    return RUN_ALL_TESTS();
}
