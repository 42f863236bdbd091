#include "platform/fake/FakeSerialApi.h"

#include <chrono>
#include <cstring>

#include "platform/LastError.h"

namespace platform {

namespace {

std::string hex(std::uint32_t value) {
    char text[16];
    std::snprintf(text, sizeof text, "0x%X", value);
    return text;
}

}  // namespace

FakeSerialApi::FakeSerialApi() = default;
FakeSerialApi::~FakeSerialApi() = default;

std::vector<std::string> FakeSerialApi::calls() const {
    std::lock_guard lock(m_mutex);
    return m_calls;
}

std::vector<std::string> FakeSerialApi::callNames() const {
    std::lock_guard lock(m_mutex);
    std::vector<std::string> names;
    for (const std::string& call : m_calls) {
        names.push_back(call.substr(0, call.find('(')));
    }
    return names;
}

void FakeSerialApi::clearCalls() {
    std::lock_guard lock(m_mutex);
    m_calls.clear();
}

void FakeSerialApi::failOn(const std::string& call, int error, int times) {
    std::lock_guard lock(m_mutex);
    m_failures[call] = Failure{error, times};
}

void FakeSerialApi::clearFailures() {
    std::lock_guard lock(m_mutex);
    m_failures.clear();
}

void FakeSerialApi::queueInput(std::string_view bytes, bool raise) {
    std::lock_guard lock(m_mutex);
    m_input.append(bytes);
    if (bytes.empty() || !raise) {
        return;
    }
    std::uint32_t events = ev::RxChar;
    if (bytes.find(m_dcb.EvtChar) != std::string_view::npos) {
        events |= ev::RxFlag;
    }
    m_history |= events & m_mask;
    completeWaitLocked();
}

void FakeSerialApi::setModemStatus(std::uint32_t status) {
    std::lock_guard lock(m_mutex);
    m_modem = status;
}

void FakeSerialApi::addLineErrors(std::uint32_t errors) {
    std::lock_guard lock(m_mutex);
    m_errors |= errors;
}

void FakeSerialApi::raiseEvents(std::uint32_t events) {
    std::lock_guard lock(m_mutex);
    m_history |= events & m_mask;
    completeWaitLocked();
}

bool FakeSerialApi::waitUntilArmed(int timeoutMs) {
    std::unique_lock lock(m_mutex);
    return m_armed.wait_for(lock, std::chrono::milliseconds(timeoutMs),
                            [this] { return m_waitOverlapped != nullptr; });
}

bool FakeSerialApi::isOpen() const {
    std::lock_guard lock(m_mutex);
    return m_open;
}

std::string FakeSerialApi::openedPath() const {
    std::lock_guard lock(m_mutex);
    return m_path;
}

Dcb FakeSerialApi::lastDcb() const {
    std::lock_guard lock(m_mutex);
    return m_dcb;
}

CommTimeouts FakeSerialApi::lastTimeouts() const {
    std::lock_guard lock(m_mutex);
    return m_timeouts;
}

std::uint32_t FakeSerialApi::eventMask() const {
    std::lock_guard lock(m_mutex);
    return m_mask;
}

std::size_t FakeSerialApi::queued() const {
    std::lock_guard lock(m_mutex);
    return m_input.size();
}

bool FakeSerialApi::enter(const std::string& name, const std::string& args) {
    m_calls.push_back(name + "(" + args + ")");
    auto it = m_failures.find(name);
    if (it == m_failures.end() || it->second.times == 0) {
        return true;
    }
    setLastError(it->second.error);
    if (it->second.times > 0) {
        --it->second.times;
    }
    return false;
}

bool FakeSerialApi::validLocked(DeviceHandle device) {
    if (!m_open || device != kHandle) {
        setLastError(kErrorInvalidHandle);
        return false;
    }
    return true;
}

void FakeSerialApi::completeWaitLocked() {
    if (m_waitOverlapped != nullptr && m_history != 0) {
        *m_waitMask = m_history;
        m_history = 0;
        m_waitOverlapped->Internal = 0;
        setSignal(m_waitOverlapped->hEvent);
        m_waitOverlapped = nullptr;
        m_waitMask = nullptr;
    }
}

DeviceHandle FakeSerialApi::open(const std::string& path) {
    std::lock_guard lock(m_mutex);
    if (!enter("open", path)) {
        return kInvalidDevice;
    }
    if (m_open) {
        setLastError(kErrorInUse);
        return kInvalidDevice;
    }
    m_open = true;
    m_path = path;
    return kHandle;
}

bool FakeSerialApi::setupQueues(DeviceHandle device, std::uint32_t inputSize,
                                std::uint32_t outputSize) {
    std::lock_guard lock(m_mutex);
    return enter("setupQueues", std::to_string(inputSize) + ", " + std::to_string(outputSize)) &&
           validLocked(device);
}

bool FakeSerialApi::setLineSettings(DeviceHandle device, const Dcb& dcb) {
    std::lock_guard lock(m_mutex);
    if (!enter("setLineSettings", std::to_string(dcb.BaudRate) + ", " + hex(dcb.Flags)) ||
        !validLocked(device)) {
        return false;
    }
    m_dcb = dcb;
    return true;
}

bool FakeSerialApi::setTimeouts(DeviceHandle device, const CommTimeouts& t) {
    std::lock_guard lock(m_mutex);
    const std::string args = hex(t.ReadIntervalTimeout) + ", " +
                             std::to_string(t.ReadTotalTimeoutMultiplier) + ", " +
                             std::to_string(t.ReadTotalTimeoutConstant) + ", " +
                             std::to_string(t.WriteTotalTimeoutMultiplier) + ", " +
                             std::to_string(t.WriteTotalTimeoutConstant);
    if (!enter("setTimeouts", args) || !validLocked(device)) {
        return false;
    }
    m_timeouts = t;
    return true;
}

bool FakeSerialApi::setEventMask(DeviceHandle device, std::uint32_t mask) {
    std::lock_guard lock(m_mutex);
    if (!enter("setEventMask", hex(mask)) || !validLocked(device)) {
        return false;
    }
    m_mask = mask;
    m_history = 0;
    if (m_waitOverlapped != nullptr) {
        *m_waitMask = 0;
        m_waitOverlapped->Internal = 0;
        setSignal(m_waitOverlapped->hEvent);
        m_waitOverlapped = nullptr;
        m_waitMask = nullptr;
    }
    return true;
}

bool FakeSerialApi::startEventWait(DeviceHandle device, std::uint32_t* mask,
                                   Overlapped* overlapped) {
    std::lock_guard lock(m_mutex);
    if (!enter("startEventWait", "") || !validLocked(device)) {
        return false;
    }
    resetSignal(overlapped->hEvent);
    m_waitMask = mask;
    m_waitOverlapped = overlapped;
    overlapped->Internal = static_cast<std::uintptr_t>(kErrorIoPending);
    m_armed.notify_all();
    const bool immediate = m_history != 0;
    completeWaitLocked();
    if (!immediate) {
        setLastError(kErrorIoPending);
    }
    return immediate;
}

bool FakeSerialApi::queryStatus(DeviceHandle device, std::uint32_t* errors, ComStat* stat) {
    std::lock_guard lock(m_mutex);
    if (!enter("queryStatus", "") || !validLocked(device)) {
        return false;
    }
    if (errors) {
        *errors = m_errors;
    }
    m_errors = 0;
    if (stat) {
        *stat = ComStat{};
        stat->cbInQue = static_cast<std::uint32_t>(m_input.size());
    }
    return true;
}

bool FakeSerialApi::modemStatus(DeviceHandle device, std::uint32_t* status) {
    std::lock_guard lock(m_mutex);
    if (!enter("modemStatus", "") || !validLocked(device)) {
        return false;
    }
    *status = m_modem;
    return true;
}

bool FakeSerialApi::startRead(DeviceHandle device, void* buffer, std::uint32_t count,
                              std::uint32_t* read, Overlapped* overlapped) {
    std::lock_guard lock(m_mutex);
    if (!enter("startRead", std::to_string(count)) || !validLocked(device)) {
        return false;
    }
    const std::size_t n = std::min<std::size_t>(count, m_input.size());
    std::memcpy(buffer, m_input.data(), n);
    m_input.erase(0, n);
    overlapped->Internal = 0;
    overlapped->InternalHigh = n;
    setSignal(overlapped->hEvent);
    if (read) {
        *read = static_cast<std::uint32_t>(n);
    }
    return true;
}

bool FakeSerialApi::transferResult(DeviceHandle device, Overlapped* overlapped,
                                   std::uint32_t* transferred, bool wait) {
    std::lock_guard lock(m_mutex);
    if (!enter("transferResult", wait ? "wait" : "no wait") || !validLocked(device)) {
        return false;
    }
    if (overlapped->Internal != 0) {
        setLastError(static_cast<int>(overlapped->Internal));
        return false;
    }
    if (transferred) {
        *transferred = static_cast<std::uint32_t>(overlapped->InternalHigh);
    }
    return true;
}

bool FakeSerialApi::purge(DeviceHandle device, std::uint32_t flags) {
    std::lock_guard lock(m_mutex);
    if (!enter("purge", hex(flags)) || !validLocked(device)) {
        return false;
    }
    if (flags & purge::RxClear) {
        m_input.clear();
    }
    return true;
}

bool FakeSerialApi::close(DeviceHandle device) {
    std::lock_guard lock(m_mutex);
    if (!enter("close", "") || !validLocked(device)) {
        return false;
    }
    m_open = false;
    if (m_waitOverlapped != nullptr) {
        m_waitOverlapped->Internal = static_cast<std::uintptr_t>(kErrorOperationAborted);
        setSignal(m_waitOverlapped->hEvent);
        m_waitOverlapped = nullptr;
        m_waitMask = nullptr;
    }
    return true;
}

}  // namespace platform
