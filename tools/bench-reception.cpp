// Times the handling of received blocks in the real window: from the return of the read
// to the return of the eighteenth uploader launch (the stand-in), median over the blocks;
// and the process's resident memory at idle and after the blocks.
//   build/bin/bench-reception [blocks]        (QT_QPA_PLATFORM=offscreen is the default)
#include <pty.h>
#include <unistd.h>

#include <QElapsedTimer>
#include <QFile>
#include <QTest>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <vector>

#include "app/qt/AnaForm.h"
#include "app/qt/Application.h"
#include "app/qt/DMUnit.h"
#include "app/qt/QtMainThread.h"
#include "tools/ResidentMemory.h"

namespace {

using Clock = std::chrono::steady_clock;

// The window with a stopwatch on its host screen: "Bilgi Geliyor!" follows the read at
// once, the eighteenth "Update Success..." follows the last launch.
class TimedForm : public TAnaForm {
public:
    void HostEkraninaMesajYaz(const std::string& Text) override {
        const auto now = Clock::now();
        if (Text == "Bilgi Geliyor!") {
            readReturned = now;
            successes = 0;
        } else if (Text == "Update Success..." && ++successes == 18) {
            durations.push_back(
                std::chrono::duration<double, std::milli>(now - readReturned).count());
        }
        TAnaForm::HostEkraninaMesajYaz(Text);
    }
    Clock::time_point readReturned;
    int successes = 0;
    std::vector<double> durations;
};

std::string printout(int n) {
    std::string text;
    for (int line = 1; line <= 39; ++line) {
        text +=
            line == 3 ? "  B" + std::to_string(100000 + n) : " " + std::to_string(line) + ".5   u";
        text += "\r\n";
    }
    return text;
}

}  // namespace

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM",
            qgetenv("QT_QPA_PLATFORM").isEmpty() ? "offscreen" : qgetenv("QT_QPA_PLATFORM"));
    TApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("bench-reception-%1").arg(::getpid()));
    const int blocks = argc > 1 ? std::atoi(argv[1]) : 100;
    QtMainThreadBridge bridge;

    int master = -1, slave = -1;
    char name[128] = {};
    if (::openpty(&master, &slave, name, nullptr, nullptr) < 0) {
        return 1;
    }
    ::close(slave);
    const QString log = QStringLiteral("/tmp/bench-reception-%1.log").arg(::getpid());
    qputenv("CPORT_DEVICE_COM3", name);
    qputenv("UPLOADER_STUB_LOG", log.toLocal8Bit());
    qputenv(
        "DORVIK_SELTO_UPLOADER",
        (QCoreApplication::applicationDirPath() + QStringLiteral("/uploader-stub")).toLocal8Bit());

    TimedForm form;
    TDM dm;
    form.BlockWait = std::chrono::milliseconds(30);  // the block is written at once
    form.show();
    if (!form.ComPort()->Connected()) {
        std::fprintf(stderr, "port did not open\n");
        return 1;
    }
    QTest::qWait(200);
    const long idleKiB = residentKiB();
    for (int i = 1; i <= blocks; ++i) {
        const std::string block = printout(i);
        if (::write(master, block.data(), block.size()) != static_cast<ssize_t>(block.size())) {
            return 1;
        }
        QElapsedTimer clock;
        clock.start();
        while (form.durations.size() < static_cast<std::size_t>(i) && clock.elapsed() < 10000) {
            QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 5);
        }
        if (form.durations.size() < static_cast<std::size_t>(i)) {
            std::fprintf(stderr, "block %d was not handled\n", i);
            return 1;
        }
        // Let the launched stand-ins finish before the next block, as between samples.
        QTest::qWait(20);
    }
    QTest::qWait(500);
    const long afterKiB = residentKiB();
    std::vector<double> d = form.durations;
    std::sort(d.begin(), d.end());
    std::printf("blocks                               %d\n", blocks);
    std::printf(
        "read returned -> 18th launch returned: median %.2f ms, p90 %.2f ms, max %.2f ms (target "
        "median < 20 ms)\n",
        d[d.size() / 2], d[d.size() * 9 / 10], d.back());
    std::printf("resident memory                      idle %ld KiB, after %d blocks %ld KiB\n",
                idleKiB, blocks, afterKiB);
    QFile::remove(log);
    return 0;
}
