// The command line of a started program. Windows hands a program one text; the program's
// runtime (CommandLineToArgvW, the MSVC CRT) cuts it into arguments. Each field is quoted
// so that those rules give it back exactly, whatever it holds.
#pragma once

#include <string>
#include <vector>

namespace platform::win32 {

// `field` as one argument: unchanged when it needs no quoting, otherwise in double quotes
// with its quotes and the backslashes before them (or before the closing quote) escaped.
std::wstring quoteArgument(const std::wstring& field);

// The program, always in quotes (a path cannot hold one), then the fields. The uploader's
// layout is kept: two spaces after the first field, one between the others.
std::wstring commandLine(const std::wstring& program, const std::vector<std::wstring>& fields);

// UTF-8 (the platform's text) to UTF-16 (the Win32 wide calls'); invalid sequences become
// U+FFFD.
std::wstring widen(const std::string& text);

}  // namespace platform::win32
