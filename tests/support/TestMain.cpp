#include <gtest/gtest.h>

#include <QApplication>
#include <cstdlib>

// Every test program runs with a GUI application object on the offscreen platform,
// so window tests need no display.
int main(int argc, char** argv)
{
    setenv("QT_QPA_PLATFORM", "offscreen", 0);
    ::testing::InitGoogleTest(&argc, argv);
    QApplication app(argc, argv);
    return RUN_ALL_TESTS();
}
