// Entry point of the window tests: one QApplication for every test, then GoogleTest.
#include <gtest/gtest.h>

#include <QApplication>
#include <QLocale>

int main(int argc, char** argv)
{
    // Numbers and times in the tests are written with a point and 24-hour times.
    QLocale::setDefault(QLocale::c());
    // Headless unless a platform is asked for (test discovery runs the binary
    // without the test environment; "-platform xcb" still wins).
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Korvalent"));
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
