#include <iconv.h>

#include "platform/TextEncoding.h"

namespace platform {

std::string systemCharacter1254(unsigned char byte) {
    iconv_t cd = iconv_open("UTF-8", "CP1254");
    if (cd == reinterpret_cast<iconv_t>(-1)) {
        return {};
    }
    char in = static_cast<char>(byte);
    char out[8];
    char* inPtr = &in;
    char* outPtr = out;
    std::size_t inLeft = 1, outLeft = sizeof out;
    std::string character;
    if (iconv(cd, &inPtr, &inLeft, &outPtr, &outLeft) != static_cast<std::size_t>(-1)) {
        character.assign(out, static_cast<std::size_t>(outPtr - out));
    }
    iconv_close(cd);
    return character;
}

}  // namespace platform
