// Texts between the shared behaviour and the Win32 controls: code page 1254 and UTF-8 to
// UTF-16 and back, by the system's own tables, whatever the machine's ANSI code page is.
#pragma once

#include <string>

namespace win32 {

std::wstring FromCodePage1254(const std::string& text);
std::wstring FromUtf8(const std::string& text);
std::string ToUtf8(const std::wstring& text);

}  // namespace win32
