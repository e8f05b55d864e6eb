#include <gtest/gtest.h>

#include <QApplication>

// Widget tests run on the offscreen platform unless the environment picks another.
int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    // Desktop notifications of a test never reach the desktop the tests run on; a
    // test that wants a bus starts its own.
    qputenv("DBUS_SESSION_BUS_ADDRESS", "unix:path=/nonexistent/vela-test-bus");
    QApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
