// Entry of windows_gui_tests: the shared window and lamp tests against the Win32 face, with
// the program's own application object.
#include <gtest/gtest.h>

#include "app/win32/Application.h"

int main(int argc, char** argv) {
    ::testing::InitGoogleTest(&argc, argv);
    TApplication application;
    return RUN_ALL_TESTS();
}
