// Cutting result blocks: occurrences, lines, barcode and value cuts, the record.
#include <gtest/gtest.h>

#include "result/Decoding.h"

namespace {

TEST(Decoding, PositionOfTheNthOccurrence) {
    struct Case {
        const char* text;
        const char* separator;
        int n;
        int position;
    } cases[] = {
        {"aXbXc", "X", 1, 2},  {"aXbXc", "X", 2, 4}, {"aXbXc", "X", 3, 0}, {"aXbXc", "X", 0, 0},
        {"aXbXc", "X", -1, 0}, {"aaaa", "aa", 1, 1}, {"aaaa", "aa", 2, 2}, {"aaaa", "aa", 3, 3},
        {"aaaa", "aa", 4, 0},  {"abc", "", 1, 0},    {"", "X", 1, 0},      {"XX", "X", 2, 2},
    };
    for (const Case& c : cases) {
        const std::string text = c.text;
        EXPECT_EQ(GetStrIndex(text, c.separator, c.n), c.position)
            << c.text << " " << c.separator << " " << c.n;
        EXPECT_EQ(text, c.text);  // the caller's text is untouched
    }
}

TEST(Decoding, LinesOfACarriageReturnSeparatedText) {
    const std::string text = "a\rb\rc\rd";
    EXPECT_EQ(GetFindStrAstm(text, "\r", "\r", 2, 3), "c");
    EXPECT_EQ(BlockLine(text, 3), "c");
    EXPECT_EQ(BlockLine(text, 2), "b");
    EXPECT_EQ(BlockLine(text, 4), "");                      // no carriage return after d
    EXPECT_EQ(GetFindStrAstm(text, "\r", "\r", 3, 2), "");  // end before start
    EXPECT_EQ(GetFindStrAstm(text, "\r", "\r", 2, 2), "");
    EXPECT_EQ(BlockLine("\r\r\r", 2), "");
    EXPECT_EQ(BlockLine(std::string("x\r\0y\r", 5), 2), std::string("\0y", 2));
    // A longer start separator: the copy still begins one character after its start.
    EXPECT_EQ(GetFindStrAstm("<<a>>b>>", "<<", ">>", 1, 2), "<a>>b");
}

TEST(Decoding, TrimRemovesEveryCharacterOf32OrLess) {
    EXPECT_EQ(Trim(std::string("\0\t\n\r  x y \x1F\x20", 11)), "x y");
    EXPECT_EQ(Trim("\x21"
                   "a\x21"),
              "\x21"
              "a\x21");
    EXPECT_EQ(Trim(""), "");
    EXPECT_EQ(Trim("   "), "");
    EXPECT_EQ(Trim("\xA0x\xA0"), "\xA0x\xA0");  // bytes above 127 are characters
}

TEST(Decoding, ValueCuts) {
    struct Case {
        const char* line;
        const char* value;
    } cases[] = {
        {"\n  12.34H", "12.34"},
        {"\n 5.6  L", "5.6"},
        {"\n123456", "12345"},
        {"\n", ""},
        {"", ""},
        {"\n 5.6H", "5.6H"},
        {"\n 1 2 3", "1 2 3"},
        {"\n ab  cd", "ab  c"},
        {"\n\t0.218  %", "0.218"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(CutValue(c.line), c.value) << c.line;
    }
}

TEST(Decoding, BarcodeCuts) {
    EXPECT_EQ(CutBarcode("\n   A1234   "), "A1234");
    EXPECT_EQ(CutBarcode("\n" + std::string(25, 'B') + "  "), std::string(20, 'B'));
    // The 20th character is a space: the cut is not trimmed again.
    EXPECT_EQ(CutBarcode("\nABCDEFGHIJKLMNOPQRS TUVW"), "ABCDEFGHIJKLMNOPQRS ");
    EXPECT_EQ(CutBarcode(""), "");
}

std::string block(int lines) {
    std::string text;
    for (int i = 1; i <= lines; ++i) {
        text += "\n " + std::to_string(i) + ".5  X\r";
    }
    return text;
}

TEST(Decoding, ParametersAreReadFromTheirFixedLines) {
    const std::string full = block(40);
    EXPECT_EQ(CutBarcode(BlockLine(full, kBarcodeLine)), "3.5  X");
    for (const TParameterLine& p : kParameterLines) {
        EXPECT_EQ(CutValue(BlockLine(full, p.Line)), std::to_string(p.Line) + ".5") << p.Code;
    }
    // A block that stops after its 30th carriage return.
    const std::string cut = block(30);
    for (const TParameterLine& p : kParameterLines) {
        const std::string value = CutValue(BlockLine(cut, p.Line));
        EXPECT_EQ(value.empty(), p.Line > 30) << p.Code;
    }
    // An empty text: empty barcode and eighteen empty values.
    EXPECT_EQ(CutBarcode(BlockLine("", kBarcodeLine)), "");
    for (const TParameterLine& p : kParameterLines) {
        EXPECT_EQ(CutValue(BlockLine("", p.Line)), "");
    }
}

TEST(Decoding, TheLineTableInForwardingOrder) {
    std::string order;
    for (const TParameterLine& p : kParameterLines) {
        order += std::string(p.Code) + ":" + std::to_string(p.Line) + " ";
    }
    EXPECT_EQ(order,
              "WBC:5 RBC:26 HGB:27 HCT:28 MCV:29 MCH:30 MCHC:31 RDW:32 PLT:34 MPV:35 PCT:36 "
              "PDW:37 LYM%:7 MON%:9 GRA%:11 LYM#:6 MON#:8 GRA#:10 ");
}

TEST(Decoding, RecordFieldsKeepTheirFirstCharacters) {
    TSonucKaydi record;
    record.Barkod = std::string(30, 'x');
    record.Yedek1 = std::string("abcdef");
    record.Yedek4 = std::string(40, 'y');
    EXPECT_EQ(record.Barkod.str().size(), 20u);
    EXPECT_EQ(record.Yedek1.str(), "abc");
    EXPECT_EQ(record.Yedek4.str().size(), decltype(record.Yedek4)::MaxLength);
    EXPECT_GE(decltype(record.Yedek4)::MaxLength, 8u);
    EXPECT_LE(decltype(record.Yedek4)::MaxLength, 11u);
}

}  // namespace
