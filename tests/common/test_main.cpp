// The main of every test program: a QApplication, so that widget tests can make windows and worker
// threads can carry calls to the UI thread, then GoogleTest.
#include <gtest/gtest.h>

#include <QApplication>
#include <cstdlib>

int main(int argc, char** argv) {
    // Without an X server (a test listing at build time, say) the tests still load; tests that need the
    // screen are run under the private Xvfb that scripts/test.sh starts.
    if (!std::getenv("DISPLAY") && !std::getenv("QT_QPA_PLATFORM")) setenv("QT_QPA_PLATFORM", "offscreen", 1);
    QApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
