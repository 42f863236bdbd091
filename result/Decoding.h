// Cutting a received result block: lines found by counting carriage returns from the start
// of the text, the barcode on line 3 and the eighteen parameters on their fixed lines. All
// texts are byte strings as received (code page 1254), NUL bytes included.
#pragma once

#include <array>
#include <cstddef>
#include <string>
#include <string_view>

// 1-based position of the n-th occurrence of Separator in Str (overlapping occurrences
// count); 0 when there are fewer, when n <= 0, when Separator is empty or on any failure.
int GetStrIndex(const std::string& Str, const std::string& Separator, int n);

// The characters strictly between the StartCount-th StartSeparator and the EndCount-th
// EndSeparator; empty when either is missing, when the end lies before the start, or on any
// failure.
std::string GetFindStrAstm(const std::string& Str, const std::string& StartSeparator,
                           const std::string& EndSeparator, int StartCount, int EndCount);

// Line k: the text between the (k-1)-th and the k-th carriage return.
std::string BlockLine(const std::string& Block, int k);

// Removes every character of code 32 or less from both ends.
std::string Trim(std::string_view Text);
// Trimmed, then its first 20 characters (not trimmed again).
std::string CutBarcode(const std::string& Line);
// Trimmed, its first 5 characters, trimmed again.
std::string CutValue(const std::string& Line);

inline constexpr int kBarcodeLine = 3;

struct TParameterLine {
    const char* Code;
    int Line;
};
// In forwarding order.
inline constexpr std::array<TParameterLine, 18> kParameterLines = {{
    {"WBC", 5},
    {"RBC", 26},
    {"HGB", 27},
    {"HCT", 28},
    {"MCV", 29},
    {"MCH", 30},
    {"MCHC", 31},
    {"RDW", 32},
    {"PLT", 34},
    {"MPV", 35},
    {"PCT", 36},
    {"PDW", 37},
    {"LYM%", 7},
    {"MON%", 9},
    {"GRA%", 11},
    {"LYM#", 6},
    {"MON#", 8},
    {"GRA#", 10},
}};

// A text field with a fixed maximum length: a longer text keeps its first characters.
template <std::size_t N>
class TShortString {
public:
    TShortString() = default;
    TShortString(const std::string& text) : m_text(text.substr(0, N)) {}  // NOLINT: a text field
    TShortString& operator=(const std::string& text) {
        m_text = text.substr(0, N);
        return *this;
    }
    const std::string& str() const { return m_text; }
    operator const std::string&() const { return m_text; }  // NOLINT: reads as its text
    bool empty() const { return m_text.empty(); }
    static constexpr std::size_t MaxLength = N;

private:
    std::string m_text;
};

// The current-result record: the block being handled and the parameter being forwarded.
struct TSonucKaydi {
    TShortString<20> Barkod;
    TShortString<3> Yedek1;
    TShortString<3> Yedek2;
    TShortString<20> Yedek3;
    TShortString<20> TestKodu;
    TShortString<20> Deger;
    TShortString<10> Yedek4;
};
