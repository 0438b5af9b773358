// Test program of the R integration: the jobs need a running application (dialogs, event loops).
#include <QApplication>

#include <gtest/gtest.h>

int main(int argc, char** argv)
{
    // Nothing here needs a screen; test discovery runs without the platform argument.
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
