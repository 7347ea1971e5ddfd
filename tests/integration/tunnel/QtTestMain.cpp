#include <QCoreApplication>

#include <gtest/gtest.h>

// The controller runs on an event loop, as it does in the application.
int main(int argc, char** argv) {
    const QCoreApplication application(argc, argv);
    testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
