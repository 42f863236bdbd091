// The single-instance guard with real processes: a second copy is refused with
// ERROR_ALREADY_EXISTS (183) while the first runs and accepted once it has ended.
#include <gtest/gtest.h>
#include <windows.h>

#include <string>

#include "platform/InstanceGuard.h"
#include "platform/LastError.h"
#include "windows/Win32Support.h"

namespace {

class Child {
public:
    Child(const std::string& mode, const std::string& name) {
        std::wstring line =
            L"\"" + ownProgram() + L"\" " + wide(mode) + L" \"" + wide(name) + L"\"";
        STARTUPINFOW startup{};
        startup.cb = sizeof startup;
        if (!::CreateProcessW(nullptr, line.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                              &startup, &m_process)) {
            ADD_FAILURE() << "the child did not start: " << ::GetLastError();
        }
        ::CloseHandle(m_process.hThread);
    }
    ~Child() {
        if (m_process.hProcess) {
            ::WaitForSingleObject(m_process.hProcess, 10000);
            ::CloseHandle(m_process.hProcess);
        }
    }
    Child(const Child&) = delete;
    Child& operator=(const Child&) = delete;

    HANDLE process() const { return m_process.hProcess; }
    DWORD exitCode() {
        if (::WaitForSingleObject(m_process.hProcess, 10000) != WAIT_OBJECT_0) {
            return 0xFFFFFFFFu;
        }
        DWORD code = 0;
        ::GetExitCodeProcess(m_process.hProcess, &code);
        return code;
    }

private:
    PROCESS_INFORMATION m_process{};
};

TEST(InstanceGuard, ASecondProcessIsRefusedWhileTheFirstRunsAndAcceptedAfterItEnds) {
    const std::string name = "Dorvik Selto test " + std::to_string(::GetCurrentProcessId());
    HANDLE held = ::CreateEventA(nullptr, TRUE, FALSE, (name + ".held").c_str());
    HANDLE release = ::CreateEventA(nullptr, TRUE, FALSE, (name + ".release").c_str());
    {
        Child first("--hold-instance", name);
        const HANDLE waits[2] = {held, first.process()};
        ASSERT_EQ(::WaitForMultipleObjects(2, waits, FALSE, 10000), WAIT_OBJECT_0)
            << "the first copy ended without holding the name";

        EXPECT_EQ(Child("--try-instance", name).exitCode(), 183u);
        // This process is refused just as well, and being refused holds nothing.
        EXPECT_EQ(platform::holdInstanceName(name), platform::InstanceName::AlreadyExists);
        EXPECT_EQ(platform::lastError(), 183);

        ::SetEvent(release);
        EXPECT_EQ(first.exitCode(), 0u);
    }
    EXPECT_EQ(Child("--try-instance", name).exitCode(), 0u);
    EXPECT_EQ(platform::holdInstanceName(name), platform::InstanceName::Created);
    ::CloseHandle(held);
    ::CloseHandle(release);
}

TEST(InstanceGuard, AProcessThatEndsWithoutCleaningUpReleasesTheName) {
    const std::string name = "Dorvik Selto test killed " + std::to_string(::GetCurrentProcessId());
    HANDLE held = ::CreateEventA(nullptr, TRUE, FALSE, (name + ".held").c_str());
    {
        Child first("--hold-instance", name);
        ASSERT_EQ(::WaitForSingleObject(held, 10000), WAIT_OBJECT_0);
        EXPECT_EQ(Child("--try-instance", name).exitCode(), 183u);
        ::TerminateProcess(first.process(), 9);
        EXPECT_EQ(first.exitCode(), 9u);
    }
    EXPECT_EQ(Child("--try-instance", name).exitCode(), 0u);
    ::CloseHandle(held);
}

}  // namespace
