#include "platform/TextEncoding.h"

#include <iconv.h>

#include <array>
#include <mutex>

namespace platform {

namespace {

void appendUtf8(std::string& out, unsigned codePoint) {
    if (codePoint < 0x80) {
        out += static_cast<char>(codePoint);
    } else if (codePoint < 0x800) {
        out += static_cast<char>(0xC0 | (codePoint >> 6));
        out += static_cast<char>(0x80 | (codePoint & 0x3F));
    } else {
        out += static_cast<char>(0xE0 | (codePoint >> 12));
        out += static_cast<char>(0x80 | ((codePoint >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (codePoint & 0x3F));
    }
}

// The 256 characters, each converted once by iconv.
const std::array<std::string, 256>& characters() {
    static const std::array<std::string, 256> table = [] {
        std::array<std::string, 256> t;
        iconv_t cd = iconv_open("UTF-8", "CP1254");
        for (unsigned b = 0; b < 256; ++b) {
            char in = static_cast<char>(b);
            char out[8];
            char* inPtr = &in;
            char* outPtr = out;
            std::size_t inLeft = 1, outLeft = sizeof out;
            if (cd != reinterpret_cast<iconv_t>(-1) &&
                iconv(cd, &inPtr, &inLeft, &outPtr, &outLeft) != static_cast<std::size_t>(-1)) {
                t[b].assign(out, static_cast<std::size_t>(outPtr - out));
            } else {
                appendUtf8(t[b], b);
            }
        }
        if (cd != reinterpret_cast<iconv_t>(-1)) {
            iconv_close(cd);
        }
        return t;
    }();
    return table;
}

}  // namespace

std::string codePage1254ToUtf8(std::string_view text) {
    const auto& table = characters();
    std::string out;
    out.reserve(text.size() + text.size() / 4);
    for (unsigned char c : text) {
        if (c < 0x80) {
            out += static_cast<char>(c);
        } else {
            out += table[c];
        }
    }
    return out;
}

}  // namespace platform
