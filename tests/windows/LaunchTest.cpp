// The uploader launch on Win32: the command line's quoting against the system's own
// argument parsing, real starts of the uploader stand-in, and failures as the host screen
// reports them.
#include <gtest/gtest.h>
#include <windows.h>
// shellapi.h needs windows.h before it.
#include <shellapi.h>

#include <algorithm>
#include <string>
#include <vector>

#include "platform/LastError.h"
#include "platform/ProcessLauncher.h"
#include "platform/fake/FakeSerialApi.h"
#include "platform/win32/CommandLine.h"
#include "result/ResultInterface.h"
#include "windows/Win32Support.h"

namespace {

using platform::win32::commandLine;
using platform::win32::quoteArgument;

std::vector<std::wstring> systemParse(const std::wstring& line) {
    int count = 0;
    wchar_t** parsed = ::CommandLineToArgvW(line.c_str(), &count);
    std::vector<std::wstring> out(parsed, parsed + count);
    ::LocalFree(parsed);
    return out;
}

// Fields whose quoting matters, each with the text it must become.
struct QuoteCase {
    std::wstring field;
    std::wstring quoted;
};
const QuoteCase kQuoteCases[] = {
    {L"12345", L"12345"},
    {L"", L"\"\""},
    {L"A 1", L"\"A 1\""},
    {L"A\"12", L"\"A\\\"12\""},
    {L"AB12\\", L"AB12\\"},
    {L"A B\\", L"\"A B\\\\\""},
    {L"A\\\\\"B", L"\"A\\\\\\\\\\\"B\""},
    {L"\\\\server\\share", L"\\\\server\\share"},
    {L"tab\there", L"\"tab\there\""},
    {L"\" --verb x \"", L"\"\\\" --verb x \\\"\""},
    {L"\"", L"\"\\\"\""},
    {L"\\\"", L"\"\\\\\\\"\""},
    {L"5,6", L"5,6"},
    {L"\u015E\u0131\u00E7", L"\u015E\u0131\u00E7"},
};

TEST(CommandLine, EachFieldComesBackExactlyThroughCommandLineToArgvW) {
    for (const QuoteCase& c : kQuoteCases) {
        SCOPED_TRACE(narrow(c.field));
        EXPECT_EQ(quoteArgument(c.field), c.quoted);
        const std::vector<std::wstring> fields = {L"https://isg.example.test/", L"LabSonuc",
                                                  c.field, L"39", c.field};
        const std::vector<std::wstring> parsed =
            systemParse(commandLine(L"C:\\Program Files\\Brelvo\\up.exe", fields));
        ASSERT_EQ(parsed.size(), 6u);
        EXPECT_EQ(parsed[0], L"C:\\Program Files\\Brelvo\\up.exe");
        EXPECT_EQ(std::vector<std::wstring>(parsed.begin() + 1, parsed.end()), fields);
    }
}

TEST(CommandLine, KeepsTheUploadersLayout) {
    EXPECT_EQ(commandLine(L"C:\\up.exe",
                          {L"https://isg.example.test/", L"LabSonuc", L"12345", L"37", L"5,6"}),
              L"\"C:\\up.exe\" https://isg.example.test/  LabSonuc 12345 37 5,6");
    EXPECT_EQ(commandLine(L"C:\\up.exe", {L"a", L"b", L"A B\\", L"", L"x\"y"}),
              L"\"C:\\up.exe\" a  b \"A B\\\\\" \"\" \"x\\\"y\"");
}

class Launcher : public ::testing::Test {
protected:
    std::string stub = besideTests("uploader-stub.exe");
    std::string log =
        freshLaunchLog(::testing::UnitTest::GetInstance()->current_test_info()->name());
};

TEST_F(Launcher, TheStartedProgramSeesExactlyItsFiveFields) {
    std::vector<std::vector<std::string>> starts;
    for (const QuoteCase& c : kQuoteCases) {
        const std::string field = narrow(c.field);
        starts.push_back({"https://isg.example.test/", "LabSonuc", field, "39", field + "\\"});
    }
    for (const auto& fields : starts) {
        ASSERT_TRUE(platform::startDetached(stub, fields)) << platform::lastError();
    }
    std::vector<Launch> launches = waitForLaunches(log, starts.size());
    ASSERT_EQ(launches.size(), starts.size()) << launchFailures(log);
    std::vector<Upload> runtime, parsed;
    for (const Launch& launch : launches) {
        runtime.push_back(launch.runtime);
        parsed.push_back(launch.parsed);
        // The layout the uploader was written for: two spaces after the first field.
        EXPECT_NE(launch.commandLine.find("\" https://isg.example.test/  LabSonuc "),
                  std::string::npos)
            << launch.commandLine;
    }
    // The uploaders run side by side: compare without their order.
    std::sort(starts.begin(), starts.end());
    std::sort(runtime.begin(), runtime.end());
    std::sort(parsed.begin(), parsed.end());
    EXPECT_EQ(runtime, starts);
    EXPECT_EQ(parsed, starts);
}

TEST_F(Launcher, FailuresCarryTheSystemsError) {
    struct Case {
        const char* name;
        std::string program;
        int error;
    };
    const std::string folder = temporaryFile("folder");
    ::CreateDirectoryW(wide(folder).c_str(), nullptr);
    const std::string batch = temporaryFile("uploader.cmd");
    std::ofstream(wide(batch).c_str()) << "@echo %*\r\n";
    const Case cases[] = {
        {"no such file", besideTests("no-such-uploader.exe"), ERROR_FILE_NOT_FOUND},
        // Windows says ERROR_PATH_NOT_FOUND here, Wine ERROR_FILE_NOT_FOUND.
        {"no such folder", besideTests("no-such-folder\\uploader.exe"), ERROR_PATH_NOT_FOUND},
        {"a batch file (cmd.exe would run the fields)", batch, ERROR_BAD_EXE_FORMAT},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        platform::setLastError(0);
        EXPECT_FALSE(platform::startDetached(c.program, {"a", "b", "c", "d", "e"}));
        const int error = platform::lastError();
        if (c.error == ERROR_PATH_NOT_FOUND && error == ERROR_FILE_NOT_FOUND) {
            continue;
        }
        EXPECT_EQ(error, c.error);
    }
    ::DeleteFileW(wide(batch).c_str());
    ::RemoveDirectoryW(wide(folder).c_str());
    EXPECT_TRUE(readLaunches(log).empty());
}

class Window : public TResultInterface {
public:
    void HostEkraninaMesajYaz(const std::string& Text) override { host.push_back(Text); }
    void BilgiEkraninaMesajYaz(const std::string& Text) override { info.push_back(Text); }
    TComPort& ResultPort() override { return port; }

    std::vector<std::string> host;
    std::vector<std::string> info;
    platform::FakeSerialApi fake;
    TComPort port{nullptr, &fake};
};

TEST_F(Launcher, TheHostScreenSaysWhenTheUploaderCannotStartAndTheNextGoesOn) {
    Window window;
    window.WebBaseAddress = "https://isg.example.test/";
    window.Sonuc.Barkod = std::string("C1");
    window.UploaderPath = besideTests("no-such-uploader.exe");
    window.TestSonucuKaydet("WBC", "5.6");
    window.UploaderPath = stub;
    window.TestSonucuKaydet("RBC", "4.8");
    EXPECT_EQ(window.host, (std::vector<std::string>{
                               "WBC - 5.6 - C1",
                               "Y\xFCkleyici ba\xFElat\xFDlamad\xFD (hata 2: dosya bulunamad\xFD)",
                               "RBC - 4.8 - C1", "Update Success..."}));
    const std::vector<Launch> launches = waitForLaunches(log, 1);
    ASSERT_EQ(launches.size(), 1u);
    EXPECT_EQ(launches[0].parsed,
              (Upload{"https://isg.example.test/", "LabSonuc", "C1", "38", "4,8"}));

    // A batch file is no program to us (cmd.exe would read the fields as commands).
    const std::string batch = temporaryFile("uploader.bat");
    std::ofstream(wide(batch).c_str()) << "@echo %*\r\n";
    window.UploaderPath = batch;
    window.TestSonucuKaydet("HGB", "14");
    EXPECT_EQ(window.host.back(),
              "Y\xFCkleyici ba\xFElat\xFDlamad\xFD (hata 193: \xE7"
              "al\xFD\xFEt\xFDr\xFDlabilir de\xF0il)");
    ::DeleteFileW(wide(batch).c_str());
}

// A command line ends at a NUL: a field holding one is cut there, and the fields after it
// still arrive.
TEST_F(Launcher, ANulCutsItsOwnFieldOnlyAndEveryArgumentArrives) {
    Window window;
    window.WebBaseAddress = "https://isg.example.test/";
    window.UploaderPath = stub;
    window.Sonuc.Barkod = std::string("N1\0N2", 5);
    window.TestSonucuKaydet("HGB", std::string("6.\0"
                                               "7",
                                               4));
    const std::vector<Launch> launches = waitForLaunches(log, 1);
    ASSERT_EQ(launches.size(), 1u) << launchFailures(log);
    const Upload expected{"https://isg.example.test/", "LabSonuc", "N1", "39", "6,"};
    EXPECT_EQ(launches[0].runtime, expected);
    EXPECT_EQ(launches[0].parsed, expected);
}

TEST(LaunchErrors, SystemErrorsSortIntoTheKindsTheHostScreenNames) {
    using platform::LaunchError;
    struct Case {
        int error;
        LaunchError kind;
    } cases[] = {
        {ERROR_FILE_NOT_FOUND, LaunchError::NotFound},
        {ERROR_PATH_NOT_FOUND, LaunchError::NotFound},
        {ERROR_ACCESS_DENIED, LaunchError::NoPermission},
        {ERROR_BAD_EXE_FORMAT, LaunchError::NotAProgram},
        {ERROR_EXE_MACHINE_TYPE_MISMATCH, LaunchError::NotAProgram},
        // errno values of the same numbers mean other things here.
        {8 /* ERROR_NOT_ENOUGH_MEMORY, ENOEXEC on POSIX */, LaunchError::Other},
        {13 /* ERROR_INVALID_DATA, EACCES on POSIX */, LaunchError::Other},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(platform::launchErrorKind(c.error), c.kind) << c.error;
    }
}

}  // namespace
