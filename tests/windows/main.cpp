// Entry of windows_tests. Started with --hold-instance or --try-instance NAME, the program
// is instead the second process of the single-instance tests:
//   --hold-instance NAME  holds the name, sets the event NAME.held, ends when NAME.release
//                         is set;
//   --try-instance NAME   tries to hold the name and ends at once.
// Either ends with 0 when it held the name, the platform error when it was refused.
#include <gtest/gtest.h>
#include <windows.h>

#include <cstring>
#include <string>

#include "platform/InstanceGuard.h"
#include "platform/LastError.h"

namespace {

int instanceChild(const std::string& mode, const std::string& name) {
    const platform::InstanceName result = platform::holdInstanceName(name);
    if (result != platform::InstanceName::Created) {
        return result == platform::InstanceName::AlreadyExists ? platform::lastError() : 1;
    }
    if (mode == "--hold-instance") {
        HANDLE held = ::CreateEventA(nullptr, TRUE, FALSE, (name + ".held").c_str());
        HANDLE release = ::CreateEventA(nullptr, TRUE, FALSE, (name + ".release").c_str());
        ::SetEvent(held);
        ::WaitForSingleObject(release, 60000);
    }
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc == 3 && (std::strcmp(argv[1], "--hold-instance") == 0 ||
                      std::strcmp(argv[1], "--try-instance") == 0)) {
        return instanceChild(argv[1], argv[2]);
    }
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
