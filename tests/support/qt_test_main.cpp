// The main of the widget tests: an off-screen QApplication with the message pump installed,
// then GoogleTest, with a guard that closes any modal dialog nobody answers and fails the
// test that left it. Link wl_test_main instead of GTest::gtest_main.
#include <gtest/gtest.h>

#include <QApplication>

#include "platform/qt_window.h"
#include "tests/support/modal_helper.h"

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) {
        qputenv("QT_QPA_PLATFORM", "offscreen");
    }
    ::testing::InitGoogleTest(&argc, argv);
    QApplication app(argc, argv);
    InstallQtMessagePump();
    InstallStrayModalGuard();
    return RUN_ALL_TESTS();
}
