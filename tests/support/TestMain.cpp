#include <QGuiApplication>

#include <gtest/gtest.h>

// Every test binary gets a Qt application: unit tests run it on the offscreen platform, integration
// tests on the X display that the test script started.
int main(int argc, char **argv)
{
    ::testing::InitGoogleTest(&argc, argv);
    QGuiApplication app(argc, argv);
    return RUN_ALL_TESTS();
}
