// Manual-reset signals and waits on them: the completion and stop events the serial
// component hands to the device layer. One concrete implementation per platform; the
// device layer of that platform may attach its own wake-up sources to a signal.
#pragma once

#include <cstdint>
#include <span>

namespace platform {

using SignalHandle = std::uintptr_t;
inline constexpr SignalHandle kNoSignal = 0;

inline constexpr std::uint32_t kInfinite = 0xFFFFFFFFu;
inline constexpr std::uint32_t kWaitObject0 = 0;
inline constexpr std::uint32_t kWaitTimeout = 258;
inline constexpr std::uint32_t kWaitFailed = 0xFFFFFFFFu;

// A new manual-reset signal; kNoSignal on failure (lastError() tells why).
SignalHandle createSignal(bool initiallySet);
bool setSignal(SignalHandle signal);
bool resetSignal(SignalHandle signal);
bool releaseSignal(SignalHandle signal);

// kWaitObject0 + index of the first set signal (lowest index wins when several are set),
// kWaitTimeout, or kWaitFailed.
std::uint32_t waitForAny(std::span<const SignalHandle> handles, std::uint32_t timeoutMs);
inline std::uint32_t waitForSignal(SignalHandle signal, std::uint32_t timeoutMs) {
    return waitForAny(std::span<const SignalHandle>(&signal, 1), timeoutMs);
}

}  // namespace platform
