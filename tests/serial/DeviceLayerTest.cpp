// The Linux device layer through the platform's serial interface itself, where the port
// above it would hide what a direct caller meets.
#include <gtest/gtest.h>

#include <chrono>
#include <future>
#include <string>

#include "platform/LastError.h"
#include "platform/SerialApi.h"
#include "platform/Signal.h"
#include "support/Pty.h"

namespace {

namespace ev = platform::ev;

// A full input queue leaves the rest in the tty. A read that makes room, with no status
// query after it, must still bring the rest in for a wait pending on another thread.
TEST(DeviceLayerOnPty, AReadThatMakesRoomWakesAWaitOnAFullQueue) {
    Pty pty;
    platform::SerialApi& api = platform::systemSerialApi();
    const platform::DeviceHandle device = api.open(pty.path());
    ASSERT_NE(device, platform::kInvalidDevice);
    ASSERT_TRUE(api.setupQueues(device, 100, 100));
    platform::CommTimeouts atOnce;
    atOnce.ReadIntervalTimeout = platform::kMaxTimeout;
    ASSERT_TRUE(api.setTimeouts(device, atOnce));
    ASSERT_TRUE(api.setEventMask(device, ev::RxChar));
    pty.send(std::string(150, 'x'));

    platform::Overlapped wait;
    wait.hEvent = platform::createSignal(true);
    std::uint32_t mask = 0;
    auto waitForBytes = [&] {
        mask = 0;
        if (!api.startEventWait(device, &mask, &wait) &&
            platform::lastError() != platform::kErrorIoPending) {
            return false;
        }
        return platform::waitForSignal(wait.hEvent, 5000) == platform::kWaitObject0 &&
               (mask & ev::RxChar) != 0;
    };
    ASSERT_TRUE(waitForBytes());  // the first hundred
    auto second = std::async(std::launch::async, waitForBytes);
    ASSERT_EQ(second.wait_for(std::chrono::milliseconds(200)), std::future_status::timeout);

    char buffer[100];
    std::uint32_t read = 0;
    platform::Overlapped transfer;
    transfer.hEvent = platform::createSignal(true);
    ASSERT_TRUE(api.startRead(device, buffer, sizeof buffer, &read, &transfer));
    EXPECT_EQ(read, 100u);
    EXPECT_TRUE(second.get());  // the other fifty came in

    api.close(device);
    platform::releaseSignal(transfer.hEvent);
    platform::releaseSignal(wait.hEvent);
}

// With nothing queued a read takes the bytes straight from the tty; the event character
// among them must still be told to the next event wait.
TEST(DeviceLayerOnPty, BytesReadStraightFromTheTtyStillTellTheEventCharacter) {
    Pty pty;
    platform::SerialApi& api = platform::systemSerialApi();
    const platform::DeviceHandle device = api.open(pty.path());
    ASSERT_NE(device, platform::kInvalidDevice);
    platform::Dcb dcb;
    dcb.BaudRate = 9600;
    dcb.Flags = platform::dcbflag::Binary;
    dcb.ByteSize = 8;
    dcb.EvtChar = '\r';
    ASSERT_TRUE(api.setLineSettings(device, dcb));
    platform::CommTimeouts atOnce;
    atOnce.ReadIntervalTimeout = platform::kMaxTimeout;
    ASSERT_TRUE(api.setTimeouts(device, atOnce));
    ASSERT_TRUE(api.setEventMask(device, ev::RxChar | ev::RxFlag));
    pty.send("ab\rcd");

    platform::Overlapped transfer;
    transfer.hEvent = platform::createSignal(true);
    std::string got;
    const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(5);
    while (got.size() < 5 && std::chrono::steady_clock::now() < until) {
        char buffer[64];
        std::uint32_t read = 0;
        ASSERT_TRUE(api.startRead(device, buffer, sizeof buffer, &read, &transfer));
        got.append(buffer, read);
    }
    EXPECT_EQ(got, "ab\rcd");

    platform::Overlapped wait;
    wait.hEvent = platform::createSignal(true);
    std::uint32_t mask = 0;
    EXPECT_TRUE(api.startEventWait(device, &mask, &wait));  // at once: it already happened
    EXPECT_TRUE(mask & ev::RxFlag);

    api.close(device);
    platform::releaseSignal(transfer.hEvent);
    platform::releaseSignal(wait.hEvent);
}

}  // namespace
