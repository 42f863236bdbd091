// Signals as Win32 events, the hand-over to the main thread that rests on them, and thread
// priorities.
#include <gtest/gtest.h>
#include <windows.h>

#include <atomic>
#include <chrono>
#include <thread>

#include "platform/LastError.h"
#include "platform/MainThread.h"
#include "platform/Signal.h"
#include "platform/ThreadPriority.h"

namespace {

using namespace platform;

TEST(Win32Signals, WaitsFollowTheInterfacesRules) {
    const SignalHandle a = createSignal(false);
    const SignalHandle b = createSignal(true);
    ASSERT_NE(a, kNoSignal);
    ASSERT_NE(b, kNoSignal);
    const SignalHandle both[2] = {a, b};
    EXPECT_EQ(waitForAny(both, 0), kWaitObject0 + 1);
    EXPECT_TRUE(setSignal(a));
    EXPECT_EQ(waitForAny(both, 0), kWaitObject0);  // the lowest index wins
    EXPECT_EQ(waitForAny(both, kInfinite), kWaitObject0);
    EXPECT_TRUE(resetSignal(a));
    EXPECT_TRUE(resetSignal(b));
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(waitForAny(both, 50), kWaitTimeout);
    EXPECT_GE(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(40));
    // Manual reset: a set signal stays set for every waiter until reset.
    setSignal(b);
    EXPECT_EQ(waitForSignal(b, 0), kWaitObject0);
    EXPECT_EQ(waitForSignal(b, 0), kWaitObject0);
    EXPECT_TRUE(releaseSignal(a));
    EXPECT_TRUE(releaseSignal(b));
    EXPECT_FALSE(releaseSignal(kNoSignal));
    EXPECT_EQ(lastError(), kErrorInvalidHandle);
    EXPECT_EQ(waitForSignal(kNoSignal, 0), kWaitFailed);
    EXPECT_EQ(lastError(), kErrorInvalidHandle);
}

TEST(Win32Signals, ASignalSetByAnotherThreadEndsTheWait) {
    const SignalHandle stop = createSignal(false);
    const SignalHandle done = createSignal(false);
    std::thread setter([&] {
        std::this_thread::sleep_for(std::chrono::milliseconds(30));
        setSignal(done);
    });
    const SignalHandle waits[2] = {stop, done};
    EXPECT_EQ(waitForAny(waits, 5000), kWaitObject0 + 1);
    setter.join();
    releaseSignal(stop);
    releaseSignal(done);
}

TEST(Win32MainThread, AWorkersCallWakesTheMainThreadAndRunsThere) {
    MainThreadQueue& queue = mainThreadQueue();
    queue.bindToCurrentThread();
    const auto mainThread = std::this_thread::get_id();
    std::atomic<bool> ranOnMain{false};
    std::atomic<int> afterWait{0};
    std::thread worker([&] {
        queue.runAndWait([&] { ranOnMain = std::this_thread::get_id() == mainThread; });
        afterWait = 1;
        try {
            queue.runAndWait([] { throw std::runtime_error("from the main thread"); });
        } catch (const std::runtime_error&) {
            afterWait = 2;
        }
    });
    // The queue's signal wakes a main thread blocked in a wait of its own.
    ASSERT_EQ(waitForSignal(queue.workSignal(), 5000), kWaitObject0);
    EXPECT_TRUE(serveMainThreadUntil([&] { return afterWait.load() == 2; }, 5000));
    worker.join();
    EXPECT_TRUE(ranOnMain.load());
    EXPECT_EQ(waitForSignal(queue.workSignal(), 0), kWaitTimeout);
}

}  // namespace

namespace {

TEST(Win32ThreadPriority, TheSevenStepsAreTheSystemsPriorities) {
    const int expected[] = {THREAD_PRIORITY_IDLE,         THREAD_PRIORITY_LOWEST,
                            THREAD_PRIORITY_BELOW_NORMAL, THREAD_PRIORITY_NORMAL,
                            THREAD_PRIORITY_ABOVE_NORMAL, THREAD_PRIORITY_HIGHEST,
                            THREAD_PRIORITY_TIME_CRITICAL};
    std::thread([&] {
        for (int step = 0; step < 7; ++step) {
            EXPECT_TRUE(platform::setCurrentThreadPriority(step)) << step;
            EXPECT_EQ(::GetThreadPriority(::GetCurrentThread()), expected[step]) << step;
        }
        EXPECT_FALSE(platform::setCurrentThreadPriority(7));
        EXPECT_EQ(platform::lastError(), ERROR_INVALID_PARAMETER);
    }).join();
}

}  // namespace
