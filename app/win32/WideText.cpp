#include "app/win32/WideText.h"

#include <richedit.h>

#include <algorithm>

namespace win32 {

namespace {

std::wstring toWide(unsigned codePage, const std::string& text) {
    if (text.empty()) {
        return {};
    }
    const int n =
        ::MultiByteToWideChar(codePage, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
    std::wstring out(static_cast<std::size_t>(n), L'\0');
    ::MultiByteToWideChar(codePage, 0, text.data(), static_cast<int>(text.size()), out.data(), n);
    return out;
}

}  // namespace

std::wstring FromCodePage1254(const std::string& text) {
    return toWide(1254, text);
}

std::wstring FromUtf8(const std::string& text) {
    return toWide(CP_UTF8, text);
}

std::wstring RichEditText(HWND control) {
    GETTEXTLENGTHEX length{GTL_DEFAULT | GTL_NUMCHARS, 1200};
    const LRESULT n =
        ::SendMessageW(control, EM_GETTEXTLENGTHEX, reinterpret_cast<WPARAM>(&length), 0);
    std::wstring text(static_cast<std::size_t>(n) + 1, L'\0');
    GETTEXTEX get{static_cast<DWORD>((n + 1) * sizeof(wchar_t)), GT_DEFAULT, 1200, nullptr,
                  nullptr};
    const LRESULT got = ::SendMessageW(control, EM_GETTEXTEX, reinterpret_cast<WPARAM>(&get),
                                       reinterpret_cast<LPARAM>(text.data()));
    text.resize(static_cast<std::size_t>(std::max<LRESULT>(0, got)));
    return text;
}

std::string ToUtf8(const std::wstring& text) {
    if (text.empty()) {
        return {};
    }
    const int n = ::WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()),
                                        nullptr, 0, nullptr, nullptr);
    std::string out(static_cast<std::size_t>(n), '\0');
    ::WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), out.data(), n,
                          nullptr, nullptr);
    return out;
}

}  // namespace win32
