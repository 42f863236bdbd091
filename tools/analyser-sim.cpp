// Plays the Dorvik Selto analyser: sends result blocks laid out as it prints them (CR LF
// line ends, the barcode on line 3, the values where the program reads them), paced as a
// 9600 bit/s line carries them (ten bit times a character).
//
//   analyser-sim --device PATH | --pty LINKFILE  [--blocks N] [--gap SECONDS]
//                [--fault cut|double|noise|quote] [--barcode TEXT] [--seed N]
//                [--expect FILE]
//
// --device writes to a tty that is wired to the program's port (a null-modem partner).
// --pty makes a pseudo-terminal pair, writes the path of its far end (the port's side) to
// LINKFILE, waits until the port has opened it, and sends on the near end.
// --expect appends a line "barcode TAB code TAB value" to FILE for each value printed, as
// the analyser reported it: what the web system should receive.
#include <fcntl.h>
#include <pty.h>
#include <termios.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <random>
#include <string>
#include <thread>
#include <utility>
#include <vector>

namespace {

struct Options {
    std::string device;
    std::string ptyLink;
    int blocks = 1;
    double gap = 5.0;
    std::string fault;
    std::string barcode;
    unsigned seed = 1;
    std::string expect;
};

// The values of one printout, by parameter code, as printed.
using Printed = std::vector<std::pair<std::string, std::string>>;

std::string fixed(double value, int decimals) {
    char text[32];
    std::snprintf(text, sizeof text, "%.*f", decimals, value);
    return text;
}

// A value in its five-character field, then its flag (H high, L low) or a blank.
std::string field(const std::string& value, char flag = ' ') {
    std::string text = value;
    if (text.size() < 5) {
        text.append(5 - text.size(), ' ');
    }
    return text + flag;
}

// One printout. Lines the program does not read are filled as the analyser fills them.
std::string resultBlock(int number, const std::string& barcode, std::mt19937& random,
                        Printed& printed) {
    std::uniform_real_distribution<double> jitter(-1.0, 1.0);
    auto around = [&](double base, double spread) { return base + spread * jitter(random); };
    // A value line: the number (and its flag) first, then the unit and the code.
    auto value = [&](const std::string& code, const std::string& shown, const std::string& rest,
                     char flag = ' ') {
        printed.emplace_back(code, shown);
        return " " + field(shown, flag) + rest + code;
    };
    std::string lines[40];
    lines[1] = "DORVIK SELTO       HEMATOLOGY ANALYZER";
    lines[2] = "10/12/2026 09:" + std::string(number % 60 < 10 ? "0" : "") +
               std::to_string(number % 60) + "   SEQ " + std::to_string(1000 + number);
    lines[3] = "  " + barcode + "    ";
    lines[4] = "MODE: WHOLE BLOOD   3-PART DIFF";
    const double wbc = around(7.2, 2.0);
    const double lymPct = around(30.0, 6.0);
    const double monPct = around(7.0, 2.0);
    const double graPct = 100.0 - lymPct - monPct;
    lines[5] = value("WBC", fixed(wbc, 2), "  10^3/uL   ", wbc > 9.0 ? 'H' : ' ');
    lines[6] = value("LYM#", fixed(wbc * lymPct / 100, 2), "  10^3/uL   ");
    lines[7] = value("LYM%", fixed(lymPct, 1), "  %         ");
    lines[8] = value("MON#", fixed(wbc * monPct / 100, 2), "  10^3/uL   ");
    lines[9] = value("MON%", fixed(monPct, 1), "  %         ");
    lines[10] = value("GRA#", fixed(wbc * graPct / 100, 2), "  10^3/uL   ");
    lines[11] = value("GRA%", fixed(graPct, 1), "  %         ");
    for (int i = 12; i <= 25; ++i) {
        std::string row = "WBC HIST " + std::to_string(i - 11) + ":";
        for (int j = 0; j < 8; ++j) {
            row += " " + std::to_string(static_cast<int>(around(60, 40)));
        }
        lines[i] = row;
    }
    lines[26] = value("RBC", fixed(around(4.8, 0.5), 2), "  10^6/uL   ");
    lines[27] = value("HGB", fixed(around(14.1, 1.5), 1), "  g/dL      ");
    lines[28] = value("HCT", fixed(around(42.0, 4.0), 1), "  %         ");
    lines[29] = value("MCV", fixed(around(88.0, 5.0), 1), "  fL        ");
    lines[30] = value("MCH", fixed(around(29.4, 1.5), 1), "  pg        ");
    lines[31] = value("MCHC", fixed(around(33.5, 1.0), 1), "  g/dL      ");
    lines[32] =
        value("RDW", fixed(around(13.0, 1.0), 1), "  %         ", number % 3 == 0 ? 'L' : ' ');
    lines[33] = "RBC HIST: 12 40 88 130 96 41 12 3";
    lines[34] = value("PLT", std::to_string(static_cast<int>(around(250, 80))), "  10^3/uL   ");
    lines[35] = value("MPV", fixed(around(8.8, 1.0), 1), "  fL        ");
    lines[36] = value("PCT", fixed(around(0.22, 0.05), 3), "  %         ");
    lines[37] = value("PDW", fixed(around(15.9, 1.0), 1), "  %         ");
    lines[38] = "PLT HIST: 5 22 61 70 38 14 4 1";
    lines[39] = "END OF REPORT";
    std::string text;
    for (int i = 1; i < 40; ++i) {
        text += lines[i] + "\r\n";
    }
    return text;
}

// Ten bit times a character at 9600 bit/s.
void sendPaced(int fd, const std::string& bytes) {
    using Clock = std::chrono::steady_clock;
    const auto perByte = std::chrono::nanoseconds(1'000'000'000LL * 10 / 9600);
    auto next = Clock::now();
    for (char c : bytes) {
        std::this_thread::sleep_until(next);
        while (::write(fd, &c, 1) < 0) {
            std::this_thread::sleep_for(std::chrono::milliseconds(1));  // the far side is full
        }
        next += perByte;
    }
}

bool parse(int argc, char** argv, Options& o) {
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        auto value = [&]() -> std::string { return i + 1 < argc ? argv[++i] : ""; };
        if (a == "--device")
            o.device = value();
        else if (a == "--pty")
            o.ptyLink = value();
        else if (a == "--blocks")
            o.blocks = std::atoi(value().c_str());
        else if (a == "--gap")
            o.gap = std::atof(value().c_str());
        else if (a == "--fault")
            o.fault = value();
        else if (a == "--barcode")
            o.barcode = value();
        else if (a == "--seed")
            o.seed = static_cast<unsigned>(std::atoi(value().c_str()));
        else if (a == "--expect")
            o.expect = value();
        else
            return false;
    }
    return !o.device.empty() != !o.ptyLink.empty();
}

}  // namespace

int main(int argc, char** argv) {
    Options o;
    if (!parse(argc, argv, o)) {
        std::fprintf(stderr,
                     "usage: analyser-sim --device PATH | --pty LINKFILE [--blocks N] [--gap S]\n"
                     "       [--fault cut|double|noise|quote] [--barcode TEXT] [--seed N]\n"
                     "       [--expect FILE]\n");
        return 2;
    }
    int fd = -1;
    if (!o.device.empty()) {
        fd = ::open(o.device.c_str(), O_WRONLY | O_NOCTTY);
        if (fd < 0) {
            std::perror(o.device.c_str());
            return 1;
        }
    } else {
        int slave = -1;
        char name[128] = {};
        if (::openpty(&fd, &slave, name, nullptr, nullptr) < 0) {
            std::perror("openpty");
            return 1;
        }
        ::close(slave);
        const std::string tmp = o.ptyLink + ".tmp";
        if (FILE* f = std::fopen(tmp.c_str(), "w")) {
            std::fprintf(f, "%s\n", name);
            std::fclose(f);
            std::rename(tmp.c_str(), o.ptyLink.c_str());
        }
        std::fprintf(stderr, "analyser-sim: sending on %s\n", name);
        // Until the port opens its side, the line is dead: wait for it (the port's raw mode
        // shows on our side's settings).
        for (int i = 0; i < 600; ++i) {
            termios t{};
            if (::tcgetattr(fd, &t) == 0 && !(t.c_lflag & ICANON)) {
                break;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
        }
    }
    std::mt19937 random(o.seed);
    for (int n = 1; n <= o.blocks; ++n) {
        std::string barcode = o.barcode.empty() ? "A" + std::to_string(240000 + n) : o.barcode;
        if (o.fault == "quote") {
            barcode = "A\"" + std::to_string(n) + "\\";
        }
        Printed printed;
        std::string block = resultBlock(n, barcode, random, printed);
        if (o.fault == "cut") {
            block.resize(block.size() / 2);
        } else if (o.fault == "double") {
            Printed second;
            block += resultBlock(n + 1000, barcode + "B", random, second);
        } else if (o.fault == "noise") {
            block = std::string("\x00\xFF\x13~", 4) + block;
        }
        if (!o.expect.empty() && o.fault.empty()) {
            if (FILE* f = std::fopen(o.expect.c_str(), "a")) {
                for (const auto& [code, number] : printed) {
                    std::fprintf(f, "%s\t%s\t%s\n", barcode.c_str(), code.c_str(), number.c_str());
                }
                std::fclose(f);
            }
        }
        sendPaced(fd, block);
        std::fprintf(stderr, "analyser-sim: block %d sent (%zu bytes, barcode %s)\n", n,
                     block.size(), barcode.c_str());
        if (n < o.blocks) {
            std::this_thread::sleep_for(std::chrono::milliseconds(static_cast<int>(o.gap * 1000)));
        }
    }
    // Keep the line up a moment so the last block is read before the far side hangs up.
    std::this_thread::sleep_for(std::chrono::seconds(4));
    ::close(fd);
    return 0;
}
