// The uploader stand-in for Windows: each start appends one line to the file named by
// UPLOADER_STUB_LOG, a JSON array of its arguments as the C runtime cut them (without the
// program name), as the Linux stand-in records them. With UPLOADER_STUB_DETAIL set, two
// more arrays follow, separated by tabs: the arguments as CommandLineToArgvW cuts them
// (likewise), and the command line exactly as the program was given it.
#include <windows.h>
// shellapi.h needs windows.h before it.
#include <shellapi.h>

#include <cstdio>
#include <string>

namespace {

std::string utf8(const wchar_t* text) {
    const int size = ::WideCharToMultiByte(CP_UTF8, 0, text, -1, nullptr, 0, nullptr, nullptr);
    std::string out(static_cast<std::size_t>(size > 0 ? size : 1), '\0');
    ::WideCharToMultiByte(CP_UTF8, 0, text, -1, out.data(), size, nullptr, nullptr);
    out.resize(out.size() - 1);
    return out;
}

std::string jsonString(const std::string& text) {
    std::string out = "\"";
    for (const char ch : text) {
        const auto c = static_cast<unsigned char>(ch);
        if (c == '"' || c == '\\') {
            out += '\\';
            out += ch;
        } else if (c < 0x20) {
            char escaped[8];
            std::snprintf(escaped, sizeof escaped, "\\u%04x", c);
            out += escaped;
        } else {
            out += ch;  // UTF-8 passes through as it is
        }
    }
    return out + "\"";
}

std::string jsonArray(int count, wchar_t** items) {
    std::string out = "[";
    for (int i = 1; i < count; ++i) {
        out += (i > 1 ? "," : "") + jsonString(utf8(items[i]));
    }
    return out + "]";
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    wchar_t log[MAX_PATH];
    const DWORD length = ::GetEnvironmentVariableW(L"UPLOADER_STUB_LOG", log, MAX_PATH);
    if (length == 0 || length >= MAX_PATH) {
        return 2;
    }
    std::string line = jsonArray(argc, argv);
    if (::GetEnvironmentVariableW(L"UPLOADER_STUB_DETAIL", nullptr, 0) > 0) {
        int parsedCount = 0;
        wchar_t** parsed = ::CommandLineToArgvW(::GetCommandLineW(), &parsedCount);
        line += "\t" + jsonArray(parsedCount, parsed) + "\t[" +
                jsonString(utf8(::GetCommandLineW())) + "]";
        ::LocalFree(parsed);
    }
    line += "\n";
    // Many copies run at once: each appends its line under an exclusive lock of the file.
    // (Appends alone are not enough: under Wine two of them can land at the same offset.)
    HANDLE file = INVALID_HANDLE_VALUE;
    DWORD error = 0;
    for (int attempt = 0; attempt < 1000 && file == INVALID_HANDLE_VALUE; ++attempt) {
        file = ::CreateFileW(log, GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                             OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
        if (file == INVALID_HANDLE_VALUE) {
            error = ::GetLastError();
            ::Sleep(10);
        }
    }
    DWORD written = 0;
    if (file != INVALID_HANDLE_VALUE) {
        OVERLAPPED whole{};
        LARGE_INTEGER end{};
        bool ok = ::LockFileEx(file, LOCKFILE_EXCLUSIVE_LOCK, 0, MAXDWORD, MAXDWORD, &whole) &&
                  ::GetFileSizeEx(file, &end);
        if (ok) {
            OVERLAPPED at{};
            at.Offset = end.LowPart;
            at.OffsetHigh = static_cast<DWORD>(end.HighPart);
            ok = ::WriteFile(file, line.data(), static_cast<DWORD>(line.size()), &written, &at) &&
                 written == line.size();
        }
        error = ok ? 0 : ::GetLastError();
        ::UnlockFileEx(file, 0, MAXDWORD, MAXDWORD, &whole);
        ::CloseHandle(file);
        if (ok) {
            return 0;
        }
    }
    // Tells the test why this start left no line: LOG.failed, one line each.
    const std::wstring failed = std::wstring(log) + L".failed";
    HANDLE note =
        ::CreateFileW(failed.c_str(), FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                      OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (note != INVALID_HANDLE_VALUE) {
        const std::string text = "error " + std::to_string(error) + " writing " + line;
        ::WriteFile(note, text.data(), static_cast<DWORD>(text.size()), &written, nullptr);
        ::CloseHandle(note);
    }
    return 1;
}
