#include "platform/win32/CommandLine.h"

#include <windows.h>

namespace platform::win32 {

std::wstring quoteArgument(const std::wstring& field) {
    if (!field.empty() && field.find_first_of(L" \t\n\v\"") == std::wstring::npos) {
        return field;  // backslashes are literal unless a quote follows them
    }
    std::wstring out = L"\"";
    std::size_t backslashes = 0;
    for (wchar_t c : field) {
        if (c == L'\\') {
            ++backslashes;
            continue;
        }
        if (c == L'"') {
            // 2n backslashes give n, and the one more makes the quote a literal one.
            out.append(backslashes * 2 + 1, L'\\');
        } else {
            out.append(backslashes, L'\\');
        }
        backslashes = 0;
        out += c;
    }
    // Doubled before the closing quote, so that they stay backslashes.
    out.append(backslashes * 2, L'\\');
    out += L'"';
    return out;
}

std::wstring commandLine(const std::wstring& program, const std::vector<std::wstring>& fields) {
    std::wstring line = L"\"" + program + L"\"";
    for (std::size_t i = 0; i < fields.size(); ++i) {
        line += i == 1 ? L"  " : L" ";
        line += quoteArgument(fields[i]);
    }
    return line;
}

std::wstring widen(const std::string& text) {
    if (text.empty()) {
        return {};
    }
    const int size = static_cast<int>(text.size());
    const int length = ::MultiByteToWideChar(CP_UTF8, 0, text.data(), size, nullptr, 0);
    std::wstring wide(static_cast<std::size_t>(length), L'\0');
    ::MultiByteToWideChar(CP_UTF8, 0, text.data(), size, wide.data(), length);
    return wide;
}

}  // namespace platform::win32
