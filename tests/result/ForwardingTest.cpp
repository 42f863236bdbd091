// Forwarding results to the uploader, with the stand-in started as a real child process.
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <fstream>
#include <stdexcept>
#include <thread>

#include "platform/fake/FakeSerialApi.h"
#include "result/ResultInterface.h"
#include "support/Children.h"
#include "support/Printout.h"
#include "support/Pty.h"
#include "support/Uploads.h"
#include "support/WebSystemNumbers.h"

namespace {

class Window : public TResultInterface {
public:
    void HostEkraninaMesajYaz(const std::string& Text) override {
        if (!failingLine.empty() && Text.rfind(failingLine, 0) == 0) {
            throw std::runtime_error("the screen failed");
        }
        host.push_back(Text);
    }
    void BilgiEkraninaMesajYaz(const std::string& Text) override { info.push_back(Text); }
    TComPort& ResultPort() override { return port; }

    std::vector<std::string> host;
    std::vector<std::string> info;
    std::string failingLine;  // a host line starting so throws
    platform::FakeSerialApi fake;
    TComPort port{nullptr, &fake};
};

class Forwarding : public ::testing::Test {
protected:
    Forwarding() {
        log = ::testing::TempDir() + "uploads-" + std::to_string(::getpid()) + "-" +
              ::testing::UnitTest::GetInstance()->current_test_info()->name() + ".log";
        std::remove(log.c_str());
        ::setenv("UPLOADER_STUB_LOG", log.c_str(), 1);
        window.UploaderPath = UPLOADER_STUB;
        window.WebBaseAddress = "https://isg.example.test/";
    }
    std::vector<Upload> uploads(std::size_t expected) {
        eventually([&] { return readUploads(log).size() >= expected; });
        return readUploads(log);
    }

    std::string log;
    Window window;
};

TEST_F(Forwarding, OneResultGivesItsHostLinesAndFiveArguments) {
    window.Sonuc.Barkod = std::string("12345");
    window.TestSonucuKaydet("WBC", "5.6");
    EXPECT_EQ(window.host, (std::vector<std::string>{"WBC - 5.6 - 12345", "Update Success..."}));
    EXPECT_EQ(
        uploads(1),
        (std::vector<Upload>{{"https://isg.example.test/", "LabSonuc", "12345", "37", "5,6"}}));
}

TEST_F(Forwarding, TestNumbersAndDecimalPoints) {
    struct Case {
        const char* code;
        const char* value;
        const char* number;
        const char* sent;
    } cases[] = {
        {"LYM#", "1.2.3", "52", "1,2,3"}, {"LYM%", "31", "49", "31"},
        {"wbc", "7.1", "wbc", "7,1"},     {"XYZ", "", "XYZ", ""},
        {"RDW", "13.0", "46", "13,0"},    {"GRA#", "4.6", "54", "4,6"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(TestNumberOf(c.code), c.number);
    }
    window.Sonuc.Barkod = std::string("B7");
    for (const Case& c : cases) {
        window.TestSonucuKaydet(c.code, c.value);
    }
    auto got = uploads(std::size(cases));
    ASSERT_EQ(got.size(), std::size(cases));
    // The uploaders run side by side: compare without their order.
    std::vector<Upload> expected;
    for (const Case& c : cases) {
        expected.push_back({"https://isg.example.test/", "LabSonuc", "B7", c.number, c.sent});
    }
    std::sort(got.begin(), got.end());
    std::sort(expected.begin(), expected.end());
    EXPECT_EQ(got, expected);
    // The host line shows code and value as they came, before mapping and comma.
    EXPECT_EQ(window.host[0], "LYM# - 1.2.3 - B7");
    EXPECT_EQ(window.host[4], "wbc - 7.1 - B7");
}

// The web system's numbers as it has them, not the program's own table.
TEST(TestNumbers, EachParameterHasTheWebSystemsNumber) {
    const auto& numbers = kWebSystemNumbers;
    for (const auto& [code, number] : numbers) {
        EXPECT_EQ(TestNumberOf(code), number) << code;
    }
    // Every parameter the printout carries has one of them (the printout has its own order).
    std::vector<std::string> printed;
    for (const auto& line : kParameterLines)
        printed.emplace_back(line.Code);
    std::vector<std::string> numbered;
    for (const auto& entry : numbers)
        numbered.emplace_back(entry.first);
    std::sort(printed.begin(), printed.end());
    std::sort(numbered.begin(), numbered.end());
    EXPECT_EQ(printed, numbered);
}

TEST_F(Forwarding, FieldsReachTheUploaderExactlyWhateverTheyHold) {
    struct Case {
        std::string barcode;
        std::string value;
    } cases[] = {
        {"", ""},
        {"A\"12", "5.6"},
        {"AB12\\", "7.1\\"},
        {"\" --verb x \"", "1\" \"2"},
        {"A 1 2", "$(id)"},
        {"\xDE\xFD\xE7", "4.5"},  // code page 1254: Ş ı ç
        {std::string("N1\0N2", 5), std::string("6.\0"
                                               "7",
                                               4)},  // each cut at its NUL
    };
    for (const Case& c : cases) {
        window.Sonuc.Barkod = c.barcode;
        window.TestSonucuKaydet("HGB", c.value);
    }
    auto got = uploads(std::size(cases));
    ASSERT_EQ(got.size(), std::size(cases));
    for (const Upload& upload : got) {
        EXPECT_EQ(upload.size(), 5u);
    }
    std::vector<std::pair<std::string, std::string>> seen;
    for (const Upload& upload : got) {
        seen.emplace_back(upload.at(2), upload.at(4));
    }
    std::sort(seen.begin(), seen.end());
    std::vector<std::pair<std::string, std::string>> expected = {
        {"", ""},
        {"A\"12", "5,6"},
        {"AB12\\", "7,1\\"},
        {"\" --verb x \"", "1\" \"2"},
        {"A 1 2", "$(id)"},
        {"\xC5\x9E\xC4\xB1\xC3\xA7", "4,5"},
        {"N1", "6,"}};
    std::sort(expected.begin(), expected.end());
    EXPECT_EQ(seen, expected);
}

TEST_F(Forwarding, AnUploaderThatCannotStartIsReportedAndTheNextGoesOn) {
    window.Sonuc.Barkod = std::string("C1");
    window.UploaderPath = "/no/such/uploader";
    window.TestSonucuKaydet("WBC", "5.6");
    window.UploaderPath = UPLOADER_STUB;
    window.TestSonucuKaydet("RBC", "4.8");
    ASSERT_EQ(window.host.size(), 4u);
    EXPECT_EQ(window.host[0], "WBC - 5.6 - C1");
    EXPECT_EQ(window.host[1], "Y\xFCkleyici ba\xFElat\xFDlamad\xFD (hata 2: dosya bulunamad\xFD)");
    EXPECT_EQ(window.host[2], "RBC - 4.8 - C1");
    EXPECT_EQ(window.host[3], "Update Success...");

    // A file without the right to run it.
    const std::string notRunnable =
        ::testing::TempDir() + "not-runnable-" + std::to_string(::getpid());
    std::ofstream(notRunnable) << "#!/bin/sh\n";
    window.UploaderPath = notRunnable;
    window.TestSonucuKaydet("HGB", "14");
    EXPECT_EQ(window.host.back(),
              "Y\xFCkleyici ba\xFElat\xFDlamad\xFD (hata 13: eri\xFEim izni yok)");
    std::remove(notRunnable.c_str());
}

TEST_F(Forwarding, AThousandLaunchesLeaveNoZombie) {
    window.UploaderPath = "/bin/true";
    for (int i = 0; i < 1000; ++i) {
        window.TestSonucuKaydet("WBC", "5.6");
    }
    EXPECT_TRUE(eventually([] { return childrenOfThisProcess().zombies == 0; }, 10000))
        << childrenOfThisProcess().zombies << " zombies";
    EXPECT_EQ(window.host.back(), "Update Success...");
}

// The reaper on a kernel without pidfds, and on one whose waitid() takes no pidfd: it falls
// back and still reaps every program.
TEST(Reaper, FallsBackWhereTheKernelLacksWhatItUses) {
    for (const char* mode : {"all", "no-pidfd", "no-pidfd-wait"}) {
        SCOPED_TRACE(mode);
        std::string out;
        const std::string command = std::string(REAPER_CHECK) + " " + mode + " 300 2>&1";
        FILE* check = ::popen(command.c_str(), "r");
        ASSERT_NE(check, nullptr);
        char buffer[256];
        while (std::fgets(buffer, sizeof buffer, check)) {
            out += buffer;
        }
        const int status = ::pclose(check);
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << out;
        EXPECT_EQ(out, "zombies 0\n");
    }
}

}  // namespace

namespace {

// The block handler on a scripted device, whose reads can be watched and refused.
class BlockOnFakeDevice : public Forwarding {
protected:
    BlockOnFakeDevice() {
        window.BlockWait = std::chrono::milliseconds(0);
        window.port.SetConnected(true);
    }
    std::vector<std::string> reads() const {
        std::vector<std::string> found;
        for (const std::string& call : window.fake.calls()) {
            if (call.rfind("startRead", 0) == 0) {
                found.push_back(call);
            }
        }
        return found;
    }
};

TEST_F(BlockOnFakeDevice, TheReadAsksForTenThousandWhateverTheEventsCount) {
    window.UploaderPath = "/bin/true";
    for (const std::int32_t count : {0, 1, 37, 9999, 10001, 65536}) {
        SCOPED_TRACE(count);
        window.fake.clearCalls();
        window.fake.queueInput(resultBlock("R1", 1200), false);
        window.ComPortRxChar(nullptr, count);
        EXPECT_EQ(reads(), (std::vector<std::string>{"startRead(10000)"}));
        EXPECT_EQ(GelenBilgi, resultBlock("R1", 1200));
    }
}

TEST_F(BlockOnFakeDevice, AReadThatFailsGivesTheFirstLineAndNothingMore) {
    window.fake.queueInput(resultBlock("F1", 1200), false);
    window.fake.failOn("startRead", 22 /* ERROR_BAD_COMMAND */, 1);
    window.ComPortRxChar(nullptr, 1200);
    EXPECT_EQ(window.host, (std::vector<std::string>{"mesaj geldi."}));
    EXPECT_TRUE(window.info.empty());
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    EXPECT_TRUE(readUploads(log).empty());
    // The next block is read as ever.
    window.ComPortRxChar(nullptr, 1200);
    EXPECT_EQ(uploads(18).size(), 18u);
}

TEST_F(BlockOnFakeDevice, AFailureInOneForwardLetsTheOtherSeventeenGoOn) {
    window.failingLine = "RDW - ";
    window.fake.queueInput(resultBlock("X5", 1200), false);
    window.ComPortRxChar(nullptr, 1200);
    const std::vector<Upload> got = uploads(17);
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    ASSERT_EQ(readUploads(log).size(), 17u);
    std::vector<std::string> numbers;
    for (const Upload& upload : got) {
        numbers.push_back(upload.at(3));
    }
    std::sort(numbers.begin(), numbers.end());
    EXPECT_EQ(numbers,
              (std::vector<std::string>{"37", "38", "39", "40", "41", "42", "43", "44", "45", "47",
                                        "48", "49", "50", "51", "52", "53", "54"}));
    // RDW's line is missing; the results after it are there with their confirmations.
    EXPECT_EQ(std::count(window.host.begin(), window.host.end(), "Update Success..."), 17);
    EXPECT_EQ(window.host.back(), "Update Success...");
    EXPECT_NE(std::find(window.host.begin(), window.host.end(), "GRA# - 10.3 - X5"),
              window.host.end());
}

TEST(ResultRecord, EmptyingItEmptiesAllSevenFields) {
    Window window;
    window.Sonuc.Barkod = std::string("B");
    window.Sonuc.Yedek1 = std::string("Y1");
    window.Sonuc.Yedek2 = std::string("Y2");
    window.Sonuc.Yedek3 = std::string("Y3");
    window.Sonuc.TestKodu = std::string("WBC");
    window.Sonuc.Deger = std::string("5.6");
    window.Sonuc.Yedek4 = std::string("Y4");
    window.CihazdanGelenBilgiyiTemizle();
    for (const std::string& field :
         {window.Sonuc.Barkod.str(), window.Sonuc.Yedek1.str(), window.Sonuc.Yedek2.str(),
          window.Sonuc.Yedek3.str(), window.Sonuc.TestKodu.str(), window.Sonuc.Deger.str(),
          window.Sonuc.Yedek4.str()}) {
        EXPECT_EQ(field, "");
    }
}

}  // namespace
