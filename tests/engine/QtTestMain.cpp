#include <QCoreApplication>

#include <gtest/gtest.h>

// The engine hands work to the main thread through the application's event
// loop, so every engine test runs inside one.
int main(int argc, char **argv) {
    QCoreApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
