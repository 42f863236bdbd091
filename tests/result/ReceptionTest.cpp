// Reception through a pseudo-terminal standing in for COM3, in-process with the real
// window, its start-up and the uploader stand-in.
#include <gtest/gtest.h>
#include <unistd.h>

#include <QElapsedTimer>
#include <QTest>
#include <QTextEdit>
#include <functional>
#include <thread>

#include "app/qt/AnaForm.h"
#include "platform/MainThread.h"
#include "platform/Signal.h"
#include "support/Pty.h"
#include "support/Uploads.h"
#include "ui_AnaForm.h"

namespace {

// Lines 1 to 39 of a printout, each ending in CR LF.
std::string printout(const std::string& barcode) {
    std::vector<std::string> lines(40, "HIST 1 2 3 4");
    lines[1] = "DORVIK SELTO";
    lines[2] = "10/12/2026 09:41";
    lines[3] = "  " + barcode;
    lines[4] = "MODE WB";
    for (const TParameterLine& p : kParameterLines) {
        lines[static_cast<std::size_t>(p.Line)] = " " + std::to_string(p.Line) + ".5   u";
    }
    std::string text;
    for (std::size_t i = 1; i < lines.size(); ++i) {
        text += lines[i] + "\r\n";
    }
    return text;
}

// A screen's lines as a user reads them, empty ones left out.
QStringList screenLines(const QTextEdit* screen) {
    QStringList lines = screen->toPlainText().split(QLatin1Char('\n'));
    lines.removeAll(QString());
    return lines;
}

// Serves the event loop (the port's hand-overs among it) until `done` or the limit.
bool serveUntil(const std::function<bool()>& done, int limitMs) {
    QElapsedTimer clock;
    clock.start();
    while (!done() && clock.elapsed() < limitMs) {
        QTest::qWait(20);
    }
    return done();
}

class Reception : public ::testing::Test {
protected:
    Reception() {
        // Each test process holds its own single-instance name.
        QCoreApplication::setApplicationName(QStringLiteral("reception-%1").arg(::getpid()));
        log = ::testing::TempDir() + "reception-" + std::to_string(::getpid()) + ".log";
        std::remove(log.c_str());
        ::setenv("UPLOADER_STUB_LOG", log.c_str(), 1);
        ::setenv("DORVIK_SELTO_UPLOADER", UPLOADER_STUB, 1);
        ::setenv("CPORT_DEVICE_COM3", pty.path().c_str(), 1);
        form = std::make_unique<TAnaForm>();
        form->show();
    }
    ~Reception() override {
        form.reset();
        ::unsetenv("CPORT_DEVICE_COM3");
    }
    QStringList host() const { return screenLines(form->HostEkrani()); }
    QStringList info() const { return screenLines(form->BilgiEkrani()); }
    // Serves the event loop until the host screen has `count` lines.
    bool waitForHostLines(int count, int limitMs = 15000) {
        return serveUntil([&] { return host().size() >= count; }, limitMs);
    }
    static QStringList expectedLines(const QString& barcode, bool withValues) {
        QStringList lines = {QStringLiteral("mesaj geldi."), QStringLiteral("Bilgi Geliyor!"),
                             barcode + QStringLiteral(" Barkod Nolu Hasta Sonucu Geliyor!")};
        for (const TParameterLine& p : kParameterLines) {
            const QString value = withValues ? QStringLiteral("%1.5").arg(p.Line) : QString();
            lines << QStringLiteral("%1 - %2 - %3").arg(QLatin1String(p.Code), value, barcode)
                  << QStringLiteral("Update Success...");
        }
        return lines;
    }

    Pty pty;
    std::string log;
    std::unique_ptr<TAnaForm> form;
};

TEST_F(Reception, ACompleteBlockGivesItsHostLinesItsInfoLineAndEighteenLaunches) {
    ASSERT_TRUE(form->ComPort()->Connected());
    EXPECT_EQ(form->Controls().lbl1->text(), QStringLiteral("COM3"));
    EXPECT_EQ(host(), QStringList{QStringLiteral("COM3")});
    const std::string block = printout("A1234");
    std::thread sender([&] { sendPaced(pty, block); });
    ASSERT_TRUE(waitForHostLines(40));
    sender.join();
    QStringList expected = {QStringLiteral("COM3")};
    expected << expectedLines(QStringLiteral("A1234"), true);
    EXPECT_EQ(host(), expected);
    EXPECT_EQ(info(), QStringList{QString::fromStdString(RenderForBilgiEkrani(block))});
    ASSERT_TRUE(eventually([&] { return readUploads(log).size() == 18; }));
    std::vector<Upload> got = readUploads(log);
    std::vector<Upload> want;
    for (const TParameterLine& p : kParameterLines) {
        want.push_back({"https://isg.brelvo.com.tr/", "LabSonuc", "A1234", TestNumberOf(p.Code),
                        std::to_string(p.Line) + ",5"});
    }
    std::sort(got.begin(), got.end());
    std::sort(want.begin(), want.end());
    EXPECT_EQ(got, want);
}

TEST_F(Reception, ABlockSlowerThanTheWaitIsHandledAsTwoBlocks) {
    const std::string block = printout("S77");
    // The first part ends with line 20: the second part's own line 3 is the printout's 23.
    std::size_t half = 0;
    for (int line = 0; line < 20; ++line) {
        half = block.find("\r\n", half) + 2;
    }
    std::thread sender([&] {
        sendPaced(pty, block.substr(0, half));
        std::this_thread::sleep_for(std::chrono::milliseconds(3500));
        sendPaced(pty, block.substr(half));
    });
    ASSERT_TRUE(waitForHostLines(1 + 39 + 39, 20000));
    sender.join();
    const QStringList lines = host();
    EXPECT_EQ(lines.mid(1, 3).join(QLatin1Char('|')),
              QStringLiteral("mesaj geldi.|Bilgi Geliyor!|S77 Barkod Nolu Hasta Sonucu Geliyor!"));
    // The first part holds WBC to the white-cell lines; later lines went out empty.
    EXPECT_TRUE(lines.contains(QStringLiteral("WBC - 5.5 - S77")));
    EXPECT_TRUE(lines.contains(QStringLiteral("PDW -  - S77")));
    // The second part is a block of its own, with the barcode its own third line holds.
    EXPECT_EQ(lines.mid(40, 3).join(QLatin1Char('|')),
              QStringLiteral(
                  "mesaj geldi.|Bilgi Geliyor!|HIST 1 2 3 4 Barkod Nolu Hasta Sonucu Geliyor!"));
    // Its lines are counted from its own start: its sixth is the printout's 26th.
    EXPECT_TRUE(lines.contains(QStringLiteral("LYM# - 26.5 - HIST 1 2 3 4")));
    EXPECT_EQ(info().size(), 2);
    EXPECT_TRUE(eventually([&] { return readUploads(log).size() == 36; }));
}

// The rest of a block arriving 1.9 s after its first bytes is still within the block's
// 2.5 s wait: one block, read whole.
TEST_F(Reception, TheRestOfABlockWithinTheWaitIsReadWithIt) {
    const std::string block = printout("W25");
    const std::size_t half = block.size() / 2;
    std::thread sender([&] {
        pty.send(block.substr(0, half));
        std::this_thread::sleep_for(std::chrono::milliseconds(1900));
        pty.send(block.substr(half));
    });
    ASSERT_TRUE(waitForHostLines(40, 20000));
    sender.join();
    QTest::qWait(3000);  // nothing more comes: it was one block
    QStringList expected = {QStringLiteral("COM3")};
    expected << expectedLines(QStringLiteral("W25"), true);
    EXPECT_EQ(host(), expected);
    EXPECT_EQ(info().size(), 1);
}

TEST_F(Reception, TwoBlocksWithinOneWaitAreReadTogether) {
    const std::string first = printout("F1");
    const std::string second = printout("F2");
    pty.send(first + second);
    ASSERT_TRUE(waitForHostLines(40));
    QTest::qWait(3000);  // nothing more comes: it was one event
    QStringList expected = {QStringLiteral("COM3")};
    expected << expectedLines(QStringLiteral("F1"), true);
    EXPECT_EQ(host(), expected);
    EXPECT_EQ(info(), QStringList{QString::fromStdString(RenderForBilgiEkrani(first + second))});
    EXPECT_TRUE(eventually([&] { return readUploads(log).size() == 18; }));
}

TEST_F(Reception, AStrayCharacterStillGivesEighteenEmptyLaunches) {
    pty.send("~");
    ASSERT_TRUE(waitForHostLines(40));
    QStringList expected = {QStringLiteral("COM3")};
    expected << expectedLines(QString(), false);
    EXPECT_EQ(host(), expected);
    EXPECT_EQ(host()[3], QStringLiteral(" Barkod Nolu Hasta Sonucu Geliyor!"));
    ASSERT_TRUE(eventually([&] { return readUploads(log).size() == 18; }));
    for (const Upload& upload : readUploads(log)) {
        ASSERT_EQ(upload.size(), 5u);
        EXPECT_EQ(upload[2], "");
        EXPECT_EQ(upload[4], "");
    }
}

TEST_F(Reception, UnpluggingTheLineClosesThePortAndSaysSo) {
    ASSERT_TRUE(form->ComPort()->Connected());
    pty.closeFarSide();
    ASSERT_TRUE(waitForHostLines(2, 5000));
    EXPECT_FALSE(form->ComPort()->Connected());
    EXPECT_EQ(
        host()[1],
        QString::fromUtf8("Port kapand\xC4\xB1: cihaz ba\xC4\x9Flant\xC4\xB1s\xC4\xB1 kesildi."));
    EXPECT_EQ(form->Controls().ComLed2->State(), lsOff);
    EXPECT_EQ(form->Controls().ComLed3->State(), lsOff);
}

// The window closed while a block's hand-over is still queued: the close serves it, and the
// block is forwarded whole against the live port and screens.
TEST_F(Reception, ClosingTheWindowWithABlockQueuedForwardsItAndDoesNotCrash) {
    form->BlockWait = std::chrono::milliseconds(300);
    pty.send(printout("QUEUED1"));
    // The monitoring thread waits in the hand-over; this thread has not served it.
    ASSERT_EQ(platform::waitForSignal(platform::mainThreadQueue().workSignal(), 5000),
              platform::kWaitObject0);
    form.reset();
    eventually([&] { return readUploads(log).size() >= 18; });
    const std::vector<Upload> uploads = readUploads(log);
    ASSERT_EQ(uploads.size(), 18u);
    for (const Upload& upload : uploads) {
        EXPECT_EQ(upload[2], "QUEUED1");
    }
}

// COM3 as a link to the device, as a USB adapter's name is: the device can go and come back.
class Reconnection : public ::testing::Test {
protected:
    Reconnection() {
        QCoreApplication::setApplicationName(QStringLiteral("reconnection-%1").arg(::getpid()));
        log = ::testing::TempDir() + "reconnection-" + std::to_string(::getpid()) + ".log";
        link = ::testing::TempDir() + "reconnection-com3-" + std::to_string(::getpid());
        std::remove(log.c_str());
        ::unlink(link.c_str());
        ::setenv("UPLOADER_STUB_LOG", log.c_str(), 1);
        ::setenv("DORVIK_SELTO_UPLOADER", UPLOADER_STUB, 1);
        ::setenv("CPORT_DEVICE_COM3", link.c_str(), 1);
    }
    ~Reconnection() override {
        form.reset();
        ::unsetenv("CPORT_DEVICE_COM3");
        ::unlink(link.c_str());
    }
    void pointAt(const Pty& device) {
        ::unlink(link.c_str());
        ASSERT_EQ(::symlink(device.path().c_str(), link.c_str()), 0);
    }
    void start() {
        form = std::make_unique<TAnaForm>();
        form->BlockWait = std::chrono::milliseconds(300);
        form->show();
    }
    QStringList host() const { return screenLines(form->HostEkrani()); }

    std::string log;
    std::string link;
    std::unique_ptr<TAnaForm> form;
};

TEST_F(Reconnection, TheDeviceBackOpensThePortAgainAndBlocksGetThrough) {
    auto first = std::make_unique<Pty>();
    pointAt(*first);
    start();
    ASSERT_TRUE(form->ComPort()->Connected());
    // Unplugged: the device and its name go (a pty's number is soon another pty's).
    first.reset();
    ::unlink(link.c_str());
    ASSERT_TRUE(serveUntil([&] { return !form->ComPort()->Connected(); }, 5000));
    // Gone for a while: the attempts fail quietly.
    serveUntil([] { return false; }, 2500);
    const QString lost =
        QString::fromUtf8("Port kapand\xC4\xB1: cihaz ba\xC4\x9Flant\xC4\xB1s\xC4\xB1 kesildi.");
    EXPECT_EQ(host(), (QStringList{QStringLiteral("COM3"), lost}));
    EXPECT_EQ(form->Controls().ComLed2->State(), lsOff);

    Pty second;  // plugged in again
    pointAt(second);
    ASSERT_TRUE(serveUntil([&] { return form->ComPort()->Connected(); }, 5000));
    EXPECT_EQ(host(),
              (QStringList{QStringLiteral("COM3"), lost,
                           QString::fromUtf8("Port yeniden a\xC3\xA7\xC4\xB1ld\xC4\xB1.")}));
    EXPECT_EQ(form->Controls().ComLed2->State(), lsOn);
    EXPECT_EQ(form->Controls().ComLed3->State(), lsOn);
    EXPECT_EQ(form->ComPort()->BaudRate(), br9600);
    second.send(printout("BACK1"));
    ASSERT_TRUE(serveUntil([&] { return readUploads(log).size() == 18; }, 10000));
    for (const Upload& upload : readUploads(log)) {
        EXPECT_EQ(upload[2], "BACK1");
    }
}

TEST_F(Reconnection, APortThatCouldNotOpenAtStartUpIsNotTriedAgain) {
    start();
    ASSERT_FALSE(form->ComPort()->Connected());
    Pty device;
    pointAt(device);
    serveUntil([] { return false; }, 2500);
    EXPECT_FALSE(form->ComPort()->Connected());
    EXPECT_TRUE(host().isEmpty());
}

}  // namespace
