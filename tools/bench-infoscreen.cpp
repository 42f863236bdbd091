// Appends 50,000 received blocks of 1,500 bytes to the info screen of a real window and
// prints the time per append over the run and the process's resident memory:
//   QT_QPA_PLATFORM=offscreen build/bin/bench-infoscreen [blocks]
#include <QElapsedTimer>
#include <cstdio>
#include <random>

#include "app/qt/AnaForm.h"
#include "app/qt/Application.h"
#include "app/qt/DMUnit.h"
#include "tools/ResidentMemory.h"
#include "ui_AnaForm.h"

namespace {

// A block laid out as the analyser prints it: short lines ending in CR LF.
std::string block(std::mt19937& random, int number) {
    std::string text =
        "\x02"
        "DORVIK SELTO  HEMOGRAM\r\n\r\n  A" +
        std::to_string(100000 + number) + "\r\n";
    std::uniform_int_distribution<int> digit(0, 9);
    while (text.size() < 1498) {
        text += " PRM  " + std::to_string(digit(random)) + "." + std::to_string(digit(random)) +
                std::to_string(digit(random)) + "   H\r\n";
    }
    text.resize(1499);
    text += '\x03';
    return text;
}

}  // namespace

int main(int argc, char** argv) {
    TApplication app(argc, argv);
    const int blocks = argc > 1 ? std::atoi(argv[1]) : 50000;
    TAnaForm form;
    TDM dm;
    form.SetStartUpOnShow(false);
    form.show();
    form.Controls().RzPageControl1->setCurrentIndex(1);
    QCoreApplication::processEvents();
    std::mt19937 random(7);
    const long startKiB = residentKiB();
    long peakKiB = startKiB;
    const int window = 1000;
    std::vector<double> perWindowMs;
    QElapsedTimer clock;
    clock.start();
    qint64 windowStart = clock.nsecsElapsed();
    for (int i = 1; i <= blocks; ++i) {
        form.BilgiEkraninaMesajYaz(block(random, i));
        if (i % 50 == 0) {
            QCoreApplication::processEvents();  // the screen is painted as the program would
        }
        if (i % window == 0) {
            const qint64 now = clock.nsecsElapsed();
            perWindowMs.push_back((now - windowStart) / 1e6 / window);
            windowStart = now;
            peakKiB = std::max(peakKiB, residentKiB());
        }
    }
    const double first = perWindowMs.empty() ? 0 : perWindowMs.front();
    const double last = perWindowMs.empty() ? 0 : perWindowMs.back();
    std::printf("blocks appended         %d of 1500 bytes\n", blocks);
    std::printf("lines kept              %d (bound %d)\n",
                form.BilgiEkrani()->document()->blockCount() - 1, TAnaForm::kBilgiEkraniMaxLines);
    std::printf("first 1000: %.3f ms per append, last 1000: %.3f ms per append, ratio %.2f\n",
                first, last, first > 0 ? last / first : 0.0);
    std::printf("resident memory         start %ld KiB, peak %ld KiB, end %ld KiB\n", startKiB,
                peakKiB, residentKiB());
    std::printf("total                   %.1f s\n", clock.elapsed() / 1000.0);
    return 0;
}
