// A result block as the analyser prints it, for the tests that feed COM3.
#pragma once

#include <string>
#include <vector>

#include "result/ResultInterface.h"

// A printout laid out as the analyser prints it (CR LF line ends, the barcode on line 3,
// each value where the program reads it), filled up to `size` bytes.
inline std::string resultBlock(const std::string& barcode, std::size_t size) {
    std::vector<std::string> lines(40, "WBC HIST: 12 40 61 77 52 33 20 9");
    lines[1] = "DORVIK SELTO       HEMATOLOGY ANALYZER";
    lines[2] = "10/12/2026 09:41   SEQ 1042";
    lines[3] = "  " + barcode + "    ";
    for (const TParameterLine& p : kParameterLines) {
        lines[static_cast<std::size_t>(p.Line)] =
            " " + std::to_string(p.Line) + "." + std::to_string(p.Line % 7) + "   unit   " + p.Code;
    }
    std::string block;
    for (std::size_t i = 1; i < lines.size(); ++i) {
        block += lines[i] + "\r\n";
    }
    block.append(size - block.size() - 1, '-');
    return block + "\x03";
}
