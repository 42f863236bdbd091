#include "result/Decoding.h"

int GetStrIndex(const std::string& Str, const std::string& Separator, int n) {
    try {
        // The search works on the rest of a private copy: each pass drops everything up to
        // and including the first character of the occurrence it found.
        std::string_view rest(Str);
        int found = 0;
        int sum = 0;
        int result = 0;
        for (;;) {
            const std::size_t at =
                Separator.empty() ? std::string_view::npos : rest.find(Separator);
            const int p = at == std::string_view::npos ? 0 : static_cast<int>(at) + 1;
            const bool last = !(p > 0 && found < n);
            if (!last) {
                ++found;
                sum += p;
            }
            if (found == n) {
                result = sum;
            }
            rest.remove_prefix(static_cast<std::size_t>(p));
            if (last) {
                return result;
            }
        }
    } catch (...) {
        return 0;
    }
}

std::string GetFindStrAstm(const std::string& Str, const std::string& StartSeparator,
                           const std::string& EndSeparator, int StartCount, int EndCount) {
    try {
        const int start = GetStrIndex(Str, StartSeparator, StartCount);
        const int end = GetStrIndex(Str, EndSeparator, EndCount);
        if (start != 0 && end != 0 && end >= start && end - start - 1 > 0) {
            return Str.substr(static_cast<std::size_t>(start),
                              static_cast<std::size_t>(end - start - 1));
        }
        return {};
    } catch (...) {
        return {};
    }
}

std::string BlockLine(const std::string& Block, int k) {
    static const std::string cr(1, '\r');
    return GetFindStrAstm(Block, cr, cr, k - 1, k);
}

std::string Trim(std::string_view Text) {
    auto blank = [](char c) { return static_cast<unsigned char>(c) <= 32; };
    std::size_t first = 0;
    std::size_t last = Text.size();
    while (first < last && blank(Text[first])) {
        ++first;
    }
    while (last > first && blank(Text[last - 1])) {
        --last;
    }
    return std::string(Text.substr(first, last - first));
}

std::string CutBarcode(const std::string& Line) {
    return Trim(Line).substr(0, 20);
}

std::string CutValue(const std::string& Line) {
    return Trim(Trim(Line).substr(0, 5));
}
