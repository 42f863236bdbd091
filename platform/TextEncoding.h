// Text from the analyser is in the Turkish Windows code page (1254); the screens and the
// uploader take the platform's own encoding (UTF-8 here).
#pragma once

#include <string>
#include <string_view>

namespace platform {

// Every byte maps to one character; bytes the code page leaves undefined keep their value
// as a code point, as Windows does.
std::string codePage1254ToUtf8(std::string_view text);

// Each platform's own table: the UTF-8 form of one code page 1254 byte, empty for a byte it
// leaves undefined.
std::string systemCharacter1254(unsigned char byte);
// UTF-8 of a code point below 0x10000.
std::string utf8Of(unsigned codePoint);

}  // namespace platform
