// The main of the widget tests: an off-screen QApplication with the message pump installed,
// then GoogleTest. Link wl_test_main instead of GTest::gtest_main.
#include <gtest/gtest.h>

#include <QApplication>

#include "platform/qt_window.h"

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) {
        qputenv("QT_QPA_PLATFORM", "offscreen");
    }
    ::testing::InitGoogleTest(&argc, argv);
    QApplication app(argc, argv);
    InstallQtMessagePump();
    return RUN_ALL_TESTS();
}
