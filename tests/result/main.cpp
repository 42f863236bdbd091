// The window's reception tests: offscreen, with Qt's event loop draining the port's
// hand-overs as in the program.
#include <gtest/gtest.h>

#include "app/qt/Application.h"
#include "app/qt/QtMainThread.h"

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    ::testing::InitGoogleTest(&argc, argv);
    TApplication app(argc, argv);
    QtMainThreadBridge bridge;
    return RUN_ALL_TESTS();
}
