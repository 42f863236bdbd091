// The web system's test numbers, written out here as the web system has them, so that the
// tests check the program's own table against them rather than against itself.
#pragma once

#include <string>
#include <utility>

inline constexpr std::pair<const char*, const char*> kWebSystemNumbers[] = {
    {"WBC", "37"},  {"RBC", "38"},  {"HGB", "39"},  {"HCT", "40"},  {"MCV", "41"},  {"MCH", "42"},
    {"MCHC", "43"}, {"PLT", "44"},  {"MPV", "45"},  {"RDW", "46"},  {"PCT", "47"},  {"PDW", "48"},
    {"LYM%", "49"}, {"MON%", "50"}, {"GRA%", "51"}, {"LYM#", "52"}, {"MON#", "53"}, {"GRA#", "54"},
};

// The number for a code, or a text that matches no number.
inline std::string webSystemsNumber(const std::string& code) {
    for (const auto& [c, number] : kWebSystemNumbers) {
        if (code == c) {
            return number;
        }
    }
    return "no number for " + code;
}
