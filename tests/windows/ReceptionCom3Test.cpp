// A whole result block through Wine's COM3, as the program receives it: OnRxChar, the wait
// for the rest, one ReadText, the decoding and eighteen starts of the uploader stand-in,
// each of which must see exactly its five fields.
#include <gtest/gtest.h>
#include <windows.h>

#include <algorithm>
#include <string>
#include <vector>

#include "platform/MainThread.h"
#include "result/ResultInterface.h"
#include "support/Printout.h"
#include "windows/FarSide.h"
#include "windows/Win32Support.h"

namespace {

class Window : public TResultInterface {
public:
    void HostEkraninaMesajYaz(const std::string& Text) override { host.push_back(Text); }
    void BilgiEkraninaMesajYaz(const std::string& Text) override { info.push_back(Text); }
    TComPort& ResultPort() override { return port; }

    std::vector<std::string> host;
    std::vector<std::string> info;
    TComPort port{nullptr};
};

TEST(ReceptionOnCom3, ABlockGivesEighteenLaunchesEachWithExactlyItsFiveFields) {
    FarSide analyser;
    const std::string log = freshLaunchLog("reception");
    Window window;
    window.UploaderPath = besideTests("uploader-stub.exe");
    window.WebBaseAddress = "https://isg.example.test/";
    window.port.SetPort("COM3");
    window.port.OnRxChar = [&](TObject* sender, std::int32_t count) {
        window.ComPortRxChar(sender, count);
    };
    window.port.SetConnected(true);

    // A quote, a space, a trailing backslash and a Turkish letter (code page 1254).
    const std::string barcode = "A\"7 \xDE\\";
    const std::string block = resultBlock(barcode, 1200);
    ASSERT_EQ(block.size(), 1200u);
    analyser.send(block, 960);  // a 9600 bit/s line: 1.25 s for the block
    ASSERT_TRUE(platform::serveMainThreadUntil(
        [&] {
            return std::count(window.host.begin(), window.host.end(), "Update Success...") == 18;
        },
        15000))
        << ::testing::PrintToString(window.host);
    EXPECT_EQ(window.info, std::vector<std::string>{block});
    EXPECT_EQ(GelenBilgi, block);

    std::vector<Upload> expected;
    for (const TParameterLine& p : kParameterLines) {
        expected.push_back({"https://isg.example.test/", "LabSonuc", "A\"7 \xC5\x9E\\",
                            TestNumberOf(p.Code),
                            std::to_string(p.Line) + "," + std::to_string(p.Line % 7)});
    }
    const std::vector<Launch> launches = waitForLaunches(log, 18);
    ASSERT_EQ(launches.size(), 18u) << launchFailures(log);
    std::vector<Upload> runtime, parsed;
    for (const Launch& launch : launches) {
        runtime.push_back(launch.runtime);
        parsed.push_back(launch.parsed);
        EXPECT_NE(launch.commandLine.find(
                      " https://isg.example.test/  LabSonuc \"A\\\"7 \xC5\x9E\\\\\" "),
                  std::string::npos)
            << launch.commandLine;
    }
    std::sort(expected.begin(), expected.end());
    std::sort(runtime.begin(), runtime.end());
    std::sort(parsed.begin(), parsed.end());
    EXPECT_EQ(runtime, expected);
    EXPECT_EQ(parsed, expected);
}

}  // namespace
