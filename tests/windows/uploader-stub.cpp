// The uploader stand-in for Windows: each start appends one line to the file named by
// UPLOADER_STUB_LOG, three JSON arrays separated by tabs: the arguments as the C runtime
// cut them (without the program name), as CommandLineToArgvW cuts them (likewise), and the
// command line exactly as the program was given it.
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
    int parsedCount = 0;
    wchar_t** parsed = ::CommandLineToArgvW(::GetCommandLineW(), &parsedCount);
    const std::string line = jsonArray(argc, argv) + "\t" + jsonArray(parsedCount, parsed) + "\t[" +
                             jsonString(utf8(::GetCommandLineW())) + "]\n";
    ::LocalFree(parsed);
    // Many copies run at once: appends of one write each keep the lines whole.
    HANDLE file = INVALID_HANDLE_VALUE;
    for (int attempt = 0; attempt < 200 && file == INVALID_HANDLE_VALUE; ++attempt) {
        file = ::CreateFileW(log, FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                             OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
        if (file == INVALID_HANDLE_VALUE) {
            ::Sleep(10);
        }
    }
    if (file == INVALID_HANDLE_VALUE) {
        return 1;
    }
    DWORD written = 0;
    const BOOL ok =
        ::WriteFile(file, line.data(), static_cast<DWORD>(line.size()), &written, nullptr);
    ::CloseHandle(file);
    return ok && written == line.size() ? 0 : 1;
}
