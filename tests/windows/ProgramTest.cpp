// The built dorvik-selto.exe end to end under Wine, as a user meets it: Wine's COM3 a
// pseudo-terminal fed by the far side, the uploader stand-in recording every start, the
// program's windows found on the display and answered with the system's input.
#include <gtest/gtest.h>
#include <windows.h>

#include <algorithm>
#include <string>
#include <vector>

#include "support/Printout.h"
#include "support/WebSystemNumbers.h"
#include "windows/FarSide.h"
#include "windows/Win32Support.h"

namespace {

const wchar_t* const kMainTitle = L"Dorvik Selto (Hemogram)";

// The program started with the test's environment, ended with the test however it ends.
class Program {
public:
    Program() {
        m_job = ::CreateJobObjectW(nullptr, nullptr);
        JOBOBJECT_EXTENDED_LIMIT_INFORMATION limits{};
        limits.BasicLimitInformation.LimitFlags = JOB_OBJECT_LIMIT_KILL_ON_JOB_CLOSE;
        ::SetInformationJobObject(m_job, JobObjectExtendedLimitInformation, &limits, sizeof limits);
        std::wstring command = L"\"" + wide(besideTests("dorvik-selto.exe")) + L"\"";
        STARTUPINFOW startup{};
        startup.cb = sizeof startup;
        PROCESS_INFORMATION info{};
        if (::CreateProcessW(nullptr, command.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                             &startup, &info)) {
            ::AssignProcessToJobObject(m_job, info.hProcess);
            ::CloseHandle(info.hThread);
            m_process = info.hProcess;
            m_id = info.dwProcessId;
        }
    }
    ~Program() {
        if (m_process) {
            if (running()) {
                close();
                if (exitCode(5000) < 0) {
                    ::TerminateProcess(m_process, 1);
                }
            }
            ::CloseHandle(m_process);
        }
        ::CloseHandle(m_job);
    }
    Program(const Program&) = delete;
    Program& operator=(const Program&) = delete;

    bool started() const { return m_process != nullptr; }
    bool running() const { return ::WaitForSingleObject(m_process, 0) == WAIT_TIMEOUT; }
    // The exit code once it has ended by itself within the limit, or -1.
    long exitCode(DWORD limitMs) const {
        DWORD code = 0;
        if (::WaitForSingleObject(m_process, limitMs) != WAIT_OBJECT_0 ||
            !::GetExitCodeProcess(m_process, &code)) {
            return -1;
        }
        return static_cast<long>(code);
    }

    // Its top-level windows that are shown, with their class and title.
    struct Shown {
        HWND window;
        std::wstring cls;
        std::wstring title;
    };
    std::vector<Shown> shownWindows() const {
        struct Search {
            DWORD id;
            std::vector<Shown> found;
        } search{m_id, {}};
        ::EnumWindows(
            [](HWND window, LPARAM data) -> BOOL {
                auto* s = reinterpret_cast<Search*>(data);
                DWORD owner = 0;
                ::GetWindowThreadProcessId(window, &owner);
                if (owner == s->id && ::IsWindowVisible(window)) {
                    wchar_t cls[64] = {}, title[128] = {};
                    ::GetClassNameW(window, cls, 64);
                    ::GetWindowTextW(window, title, 128);
                    s->found.push_back({window, cls, title});
                }
                return TRUE;
            },
            reinterpret_cast<LPARAM>(&search));
        return search.found;
    }
    HWND shown(const wchar_t* cls, const wchar_t* title) const {
        for (const Shown& s : shownWindows()) {
            if ((!cls || s.cls == cls) && s.title == title) {
                return s.window;
            }
        }
        return nullptr;
    }
    HWND waitShown(const wchar_t* cls, const wchar_t* title, int limitMs = 15000) const {
        HWND found = nullptr;
        eventually([&] { return (found = shown(cls, title)) != nullptr || !running(); }, limitMs);
        return found;
    }
    // As the user closes the window.
    void close() const {
        if (HWND main = shown(nullptr, kMainTitle)) {
            ::PostMessageW(main, WM_CLOSE, 0, 0);
        }
    }

private:
    HANDLE m_job = nullptr;
    HANDLE m_process = nullptr;
    DWORD m_id = 0;
};

// The Enter key, pressed and released, to the window a user brought to the front.
void pressEnterIn(HWND window) {
    ::SetForegroundWindow(window);
    ::Sleep(100);
    INPUT keys[2] = {};
    for (INPUT& key : keys) {
        key.type = INPUT_KEYBOARD;
        key.ki.wVk = VK_RETURN;
    }
    keys[1].ki.dwFlags = KEYEVENTF_KEYUP;
    ::SendInput(2, keys, sizeof(INPUT));
}

std::wstring staticText(HWND box) {
    std::wstring text;
    ::EnumChildWindows(
        box,
        [](HWND child, LPARAM data) -> BOOL {
            wchar_t cls[32] = {}, title[256] = {};
            ::GetClassNameW(child, cls, 32);
            ::GetWindowTextW(child, title, 256);
            if (std::wstring(cls) == L"Static" && title[0]) {
                *reinterpret_cast<std::wstring*>(data) = title;
                return FALSE;
            }
            return TRUE;
        },
        reinterpret_cast<LPARAM>(&text));
    return text;
}

// The host screen's text as the user sees it, read across processes.
std::wstring hostScreen(HWND main) {
    struct Search {
        HWND found = nullptr;
    } search;
    ::EnumChildWindows(
        main,
        [](HWND child, LPARAM data) -> BOOL {
            wchar_t cls[32] = {};
            ::GetClassNameW(child, cls, 32);
            if (std::wstring(cls) == L"RichEdit20W") {
                reinterpret_cast<Search*>(data)->found = child;  // the first is the host screen
                return FALSE;
            }
            return TRUE;
        },
        reinterpret_cast<LPARAM>(&search));
    if (!search.found) {
        return {};
    }
    std::wstring text(65536, L'\0');
    DWORD_PTR length = 0;
    ::SendMessageTimeoutW(search.found, WM_GETTEXT, text.size(),
                          reinterpret_cast<LPARAM>(text.data()), SMTO_NORMAL, 5000, &length);
    text.resize(length);
    return text;
}

class ProgramOnCom3 : public ::testing::Test {
protected:
    void SetUp() override {
        log = freshLaunchLog("program");
        ::SetEnvironmentVariableW(L"DORVIK_SELTO_UPLOADER",
                                  wide(besideTests("uploader-stub.exe")).c_str());
    }
    // The program has set the line up as it opens the port: 9600 bit/s, raw.
    bool portOpened() {
        return eventually([&] { return analyser->settings().ispeed == 9600; }, 15000);
    }

    std::unique_ptr<FarSide> analyser = std::make_unique<FarSide>();
    std::string log;
};

std::vector<Upload> expectedUploads(const std::string& barcodeUtf8) {
    std::vector<Upload> expected;
    for (const TParameterLine& p : kParameterLines) {
        expected.push_back({"https://isg.brelvo.com.tr/", "LabSonuc", barcodeUtf8,
                            webSystemsNumber(p.Code),
                            std::to_string(p.Line) + "," + std::to_string(p.Line % 7)});
    }
    return expected;
}

TEST_F(ProgramOnCom3, EachBlockGivesEighteenLaunchesWithExactlyTheirFiveFields) {
    Program program;
    ASSERT_TRUE(program.started());
    ASSERT_NE(program.waitShown(nullptr, kMainTitle), nullptr);
    ASSERT_TRUE(portOpened());

    // A quote, a space, a trailing backslash and a Turkish letter (code page 1254).
    analyser->send(resultBlock("A\"7 \xDE\\", 1200), 960);  // 1.25 s at 9600 bit/s
    ASSERT_EQ(waitForLaunches(log, 18).size(), 18u) << launchFailures(log);
    analyser->send(resultBlock("B2", 1200), 960);
    const std::vector<Launch> launches = waitForLaunches(log, 36);
    ASSERT_EQ(launches.size(), 36u) << launchFailures(log);

    std::vector<Upload> expected = expectedUploads("A\"7 \xC5\x9E\\");
    const std::vector<Upload> second = expectedUploads("B2");
    expected.insert(expected.end(), second.begin(), second.end());
    std::vector<Upload> runtime, parsed;
    for (const Launch& launch : launches) {
        runtime.push_back(launch.runtime);
        parsed.push_back(launch.parsed);
    }
    std::sort(expected.begin(), expected.end());
    std::sort(runtime.begin(), runtime.end());
    std::sort(parsed.begin(), parsed.end());
    EXPECT_EQ(runtime, expected);
    EXPECT_EQ(parsed, expected);

    // Closed as a user closes it: the program ends by itself, with 0.
    EXPECT_TRUE(program.running());
    program.close();
    EXPECT_EQ(program.exitCode(10000), 0);
}

// The session ends (a log-off) while a block is on its way: the block is forwarded whole,
// then the program ends with 0.
TEST_F(ProgramOnCom3, TheSessionsEndDuringABlockForwardsItAndEndsWithZero) {
    Program program;
    const HWND main = program.waitShown(nullptr, kMainTitle);
    ASSERT_NE(main, nullptr);
    ASSERT_TRUE(portOpened());
    analyser->send(resultBlock("END1", 1200), 960);
    ::Sleep(800);  // inside the block's wait for the rest of its lines
    DWORD_PTR answer = 0;
    ASSERT_NE(::SendMessageTimeoutW(main, WM_QUERYENDSESSION, 0, ENDSESSION_LOGOFF, SMTO_NORMAL,
                                    15000, &answer),
              0);
    EXPECT_EQ(answer, TRUE);
    ::SendMessageTimeoutW(main, WM_ENDSESSION, TRUE, ENDSESSION_LOGOFF, SMTO_NORMAL, 15000,
                          &answer);
    EXPECT_EQ(program.exitCode(10000), 0);
    const std::vector<Launch> launches = waitForLaunches(log, 18);
    ASSERT_EQ(launches.size(), 18u) << launchFailures(log);
    for (const Launch& launch : launches) {
        EXPECT_EQ(launch.parsed.at(2), "END1");
    }
}

// The device goes away and comes back: the port opens again by itself, the host screen
// says so, and the next block gets through.
TEST_F(ProgramOnCom3, TheDeviceBackOpensThePortAgainAndTheNextBlockGetsThrough) {
    Program program;
    const HWND main = program.waitShown(nullptr, kMainTitle);
    ASSERT_NE(main, nullptr);
    ASSERT_TRUE(portOpened());
    analyser->hangUp();
    const std::wstring lost = L"Port kapand\x0131: cihaz ba\x011Flant\x0131s\x0131 kesildi.";
    ASSERT_TRUE(eventually([&] { return hostScreen(main).find(lost) != std::wstring::npos; }))
        << narrow(hostScreen(main));
    ::Sleep(1500);  // gone for a while
    // Plugged in again: a new device behind COM3 (the helper serves one far side at a time).
    analyser.reset();
    analyser = std::make_unique<FarSide>();
    ASSERT_TRUE(portOpened());
    EXPECT_TRUE(eventually([&] {
        return hostScreen(main).find(L"Port yeniden a\x00E7\x0131ld\x0131.") != std::wstring::npos;
    })) << narrow(hostScreen(main));
    analyser->send(resultBlock("BACK1", 1200));
    const std::vector<Launch> launches = waitForLaunches(log, 18);
    ASSERT_EQ(launches.size(), 18u) << launchFailures(log);
    EXPECT_EQ(launches[0].parsed.at(2), "BACK1");
}

TEST_F(ProgramOnCom3, ASecondCopyIsRefusedWithTheBoxAndEndsWithZeroAfterOk) {
    Program first;
    ASSERT_NE(first.waitShown(nullptr, kMainTitle), nullptr);
    ASSERT_TRUE(portOpened());

    Program second;
    const HWND box = second.waitShown(L"#32770", L"Brelvo Teknoloji");
    ASSERT_NE(box, nullptr);
    EXPECT_EQ(staticText(box),
              L"Program zaten \x00E7"
              L"al\x0131\x015Fyor..!");
    // The box is all the second copy shows: its window is never drawn.
    const auto shown = second.shownWindows();
    EXPECT_EQ(shown.size(), 1u);
    EXPECT_EQ(second.shown(nullptr, kMainTitle), nullptr);

    pressEnterIn(box);
    EXPECT_EQ(second.exitCode(10000), 0);

    // The first copy goes on as before: it still takes a block.
    ASSERT_TRUE(first.running());
    analyser->send(resultBlock("AFTER1", 1200));
    EXPECT_EQ(waitForLaunches(log, 18).size(), 18u) << launchFailures(log);

    // Once the first has ended, a new copy starts normally.
    first.close();
    EXPECT_EQ(first.exitCode(10000), 0);
    Program third;
    EXPECT_NE(third.waitShown(nullptr, kMainTitle), nullptr);
    EXPECT_EQ(third.shown(L"#32770", L"Brelvo Teknoloji"), nullptr);
}

TEST_F(ProgramOnCom3, WithComThreeMissingItRunsClosedAndShowsNothingButItsWindow) {
    analyser->remove();
    Program program;
    ASSERT_NE(program.waitShown(nullptr, kMainTitle), nullptr);
    ::Sleep(1000);
    EXPECT_TRUE(program.running());
    const auto shown = program.shownWindows();
    ASSERT_EQ(shown.size(), 1u) << narrow(shown.back().title);
    EXPECT_TRUE(readLaunches(log).empty());
    program.close();
    EXPECT_EQ(program.exitCode(10000), 0);
}

}  // namespace
