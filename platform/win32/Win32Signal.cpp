// Signals are Win32 manual-reset events; waits are WaitForMultipleObjects, whose rules (the
// lowest index among set handles wins, WAIT_TIMEOUT, WAIT_FAILED) are the interface's.
#include <windows.h>

#include "platform/LastError.h"
#include "platform/Signal.h"

namespace platform {

static_assert(kWaitObject0 == WAIT_OBJECT_0);
static_assert(kWaitTimeout == WAIT_TIMEOUT);
static_assert(kWaitFailed == WAIT_FAILED);
static_assert(kInfinite == INFINITE);
static_assert(sizeof(SignalHandle) == sizeof(HANDLE));

namespace {

HANDLE toHandle(SignalHandle signal) {
    return reinterpret_cast<HANDLE>(signal);
}

}  // namespace

SignalHandle createSignal(bool initiallySet) {
    // CreateEvent returns NULL on failure, which is kNoSignal.
    return reinterpret_cast<SignalHandle>(::CreateEventW(nullptr, TRUE, initiallySet, nullptr));
}

bool setSignal(SignalHandle signal) {
    return ::SetEvent(toHandle(signal)) != 0;
}

bool resetSignal(SignalHandle signal) {
    return ::ResetEvent(toHandle(signal)) != 0;
}

bool releaseSignal(SignalHandle signal) {
    if (signal == kNoSignal) {
        setLastError(ERROR_INVALID_HANDLE);
        return false;
    }
    return ::CloseHandle(toHandle(signal)) != 0;
}

std::uint32_t waitForAny(std::span<const SignalHandle> handles, std::uint32_t timeoutMs) {
    if (handles.empty() || handles.size() > MAXIMUM_WAIT_OBJECTS) {
        setLastError(ERROR_INVALID_PARAMETER);
        return kWaitFailed;
    }
    HANDLE objects[MAXIMUM_WAIT_OBJECTS];
    for (std::size_t i = 0; i < handles.size(); ++i) {
        objects[i] = toHandle(handles[i]);
    }
    return ::WaitForMultipleObjects(static_cast<DWORD>(handles.size()), objects, FALSE, timeoutMs);
}

}  // namespace platform
