#include "platform/TextEncoding.h"

#include <array>

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

// The 256 characters, each asked of the system's code page table once.
const std::array<std::string, 256>& characters() {
    static const std::array<std::string, 256> table = [] {
        std::array<std::string, 256> t;
        for (unsigned b = 0; b < 256; ++b) {
            t[b] = systemCharacter1254(static_cast<unsigned char>(b));
            if (t[b].empty()) {
                appendUtf8(t[b], b);
            }
        }
        return t;
    }();
    return table;
}

}  // namespace

std::string utf8Of(unsigned codePoint) {
    std::string out;
    appendUtf8(out, codePoint);
    return out;
}

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
