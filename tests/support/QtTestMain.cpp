// Widget tests run offscreen unless a display was asked for explicitly
// (QT_QPA_PLATFORM=xcb to watch one).
#include <stdlib.h>

#include <QApplication>

#include <gtest/gtest.h>

int main(int argc, char** argv) {
    setenv("QT_QPA_PLATFORM", "offscreen", 0);
    QApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
