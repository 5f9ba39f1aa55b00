#include <gtest/gtest.h>
#include <stdlib.h>

#include <QApplication>

// Widgets need a QApplication; the offscreen platform needs no display.
int main(int argc, char** argv) {
    setenv("QT_QPA_PLATFORM", "offscreen", 1);
    QApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
