// Texts between the shared behaviour and the Win32 controls: code page 1254 and UTF-8 to
// UTF-16 and back, by the system's own tables, whatever the machine's ANSI code page is;
// and the text a rich-edit control holds.
#pragma once

#include <windows.h>

#include <string>

namespace win32 {

std::wstring FromCodePage1254(const std::string& text);
std::wstring FromUtf8(const std::string& text);
std::string ToUtf8(const std::wstring& text);

// A rich-edit control's whole text, paragraphs ended by '\r' as the control keeps them.
std::wstring RichEditText(HWND control);

}  // namespace win32
