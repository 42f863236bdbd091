#include <windows.h>

#include "platform/TextEncoding.h"

namespace platform {

std::string systemCharacter1254(unsigned char byte) {
    const char in = static_cast<char>(byte);
    wchar_t wide = 0;
    if (::MultiByteToWideChar(1254, 0, &in, 1, &wide, 1) != 1) {
        return {};
    }
    return utf8Of(static_cast<unsigned>(wide));
}

}  // namespace platform
