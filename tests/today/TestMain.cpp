// The test program runs with a Qt GUI application, on the offscreen platform unless
// the environment names another.

#include <cstdlib>

#include <gtest/gtest.h>
#include <QGuiApplication>

int main(int argc, char** argv) {
    setenv("QT_QPA_PLATFORM", "offscreen", 0);
    QGuiApplication application(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
