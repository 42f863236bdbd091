// Text from the analyser is in the Turkish Windows code page (1254); the screens and the
// uploader take the platform's own encoding (UTF-8 here).
#pragma once

#include <string>
#include <string_view>

namespace platform {

// Every byte maps to one character; bytes the code page leaves undefined keep their value
// as a code point, as Windows does.
std::string codePage1254ToUtf8(std::string_view text);

}  // namespace platform
