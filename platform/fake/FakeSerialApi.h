// A scriptable serial device for tests of what a pseudo-terminal cannot show: modem lines,
// line errors, refusals of any call. Records every call with its arguments, in order.
// Signals are the platform's real ones, so waits behave as they do on a device.
#pragma once

#include <condition_variable>
#include <map>
#include <mutex>
#include <string>
#include <string_view>
#include <vector>

#include "platform/SerialApi.h"

namespace platform {

class FakeSerialApi final : public SerialApi {
public:
    FakeSerialApi();
    ~FakeSerialApi() override;

    // --- what the test sees and scripts ---
    std::vector<std::string> calls() const;  // "name(arg, arg)" in call order
    std::vector<std::string> callNames() const;
    void clearCalls();
    // Makes `call` fail with `error`, the next `times` times (-1: until cleared).
    void failOn(const std::string& call, int error, int times = -1);
    void clearFailures();

    // Queues received bytes; `raise` also reports them as receive events.
    void queueInput(std::string_view bytes, bool raise = true);
    void setModemStatus(std::uint32_t status);
    void addLineErrors(std::uint32_t errors);
    // Events as the device reports them: completes a pending wait, or is kept for the next.
    void raiseEvents(std::uint32_t events);
    // Blocks until an event wait is armed (or the timeout passes); true when armed.
    bool waitUntilArmed(int timeoutMs);

    bool isOpen() const;
    std::string openedPath() const;
    Dcb lastDcb() const;
    CommTimeouts lastTimeouts() const;
    std::uint32_t eventMask() const;
    std::size_t queued() const;

    // --- SerialApi ---
    DeviceHandle open(const std::string& path) override;
    bool setupQueues(DeviceHandle device, std::uint32_t inputSize,
                     std::uint32_t outputSize) override;
    bool setLineSettings(DeviceHandle device, const Dcb& dcb) override;
    bool setTimeouts(DeviceHandle device, const CommTimeouts& timeouts) override;
    bool setEventMask(DeviceHandle device, std::uint32_t mask) override;
    bool startEventWait(DeviceHandle device, std::uint32_t* mask, Overlapped* overlapped) override;
    bool queryStatus(DeviceHandle device, std::uint32_t* errors, ComStat* stat) override;
    bool modemStatus(DeviceHandle device, std::uint32_t* status) override;
    bool startRead(DeviceHandle device, void* buffer, std::uint32_t count, std::uint32_t* read,
                   Overlapped* overlapped) override;
    bool transferResult(DeviceHandle device, Overlapped* overlapped, std::uint32_t* transferred,
                        bool wait) override;
    bool purge(DeviceHandle device, std::uint32_t flags) override;
    bool close(DeviceHandle device) override;

    static constexpr DeviceHandle kHandle = 0xF00D;

private:
    struct Failure {
        int error;
        int times;
    };
    // Records the call; false (with the scripted error set) when it is to fail.
    bool enter(const std::string& name, const std::string& args);
    bool validLocked(DeviceHandle device);
    void completeWaitLocked();

    mutable std::mutex m_mutex;
    std::condition_variable m_armed;
    std::vector<std::string> m_calls;
    std::map<std::string, Failure> m_failures;
    bool m_open = false;
    std::string m_path;
    Dcb m_dcb{};
    CommTimeouts m_timeouts{};
    std::uint32_t m_mask = 0;
    std::uint32_t m_history = 0;
    std::uint32_t m_modem = 0;
    std::uint32_t m_errors = 0;
    std::string m_input;
    std::uint32_t* m_waitMask = nullptr;
    Overlapped* m_waitOverlapped = nullptr;
};

}  // namespace platform
