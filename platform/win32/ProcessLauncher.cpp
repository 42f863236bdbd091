#include "platform/ProcessLauncher.h"

#include <windows.h>

#include <algorithm>
#include <cwctype>

#include "platform/LastError.h"
#include "platform/win32/CommandLine.h"

namespace platform {

namespace {

// cmd.exe would read a batch file's arguments as commands (& | % and the like), so a field
// from the serial line could run anything: batch files are refused as no program.
bool isBatchFile(std::wstring path) {
    std::transform(path.begin(), path.end(), path.begin(),
                   [](wchar_t c) { return static_cast<wchar_t>(std::towlower(c)); });
    auto endsWith = [&](const wchar_t* tail) {
        const std::wstring t = tail;
        return path.size() >= t.size() && path.compare(path.size() - t.size(), t.size(), t) == 0;
    };
    return endsWith(L".bat") || endsWith(L".cmd");
}

}  // namespace

bool startDetached(const std::string& program, const std::vector<std::string>& arguments) {
    const std::wstring path = win32::widen(program);
    if (isBatchFile(path)) {
        setLastError(ERROR_BAD_EXE_FORMAT);
        return false;
    }
    std::vector<std::wstring> fields;
    fields.reserve(arguments.size());
    for (const std::string& a : arguments) {
        fields.push_back(win32::widen(a));
    }
    std::wstring line = win32::commandLine(path, fields);

    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESHOWWINDOW;
    startup.wShowWindow = SW_SHOWNORMAL;
    PROCESS_INFORMATION process{};
    // No console of ours and no process group of ours (a Ctrl+C to us does not reach it),
    // no handles of ours: it runs on its own. Nothing waits for it; closing our two handles
    // lets the system drop the process record when it ends.
    const DWORD flags = DETACHED_PROCESS | CREATE_NEW_PROCESS_GROUP;
    if (!::CreateProcessW(nullptr, line.data(), nullptr, nullptr, FALSE, flags, nullptr, nullptr,
                          &startup, &process)) {
        return false;  // GetLastError tells why
    }
    ::CloseHandle(process.hThread);
    ::CloseHandle(process.hProcess);
    return true;
}

}  // namespace platform
