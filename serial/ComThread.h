// TComThread: the monitoring thread of an open port. It waits on the device for the port's
// line events and hands each batch to the port's dispatch, as the port's SyncMethod says.
#pragma once

#include <atomic>
#include <exception>
#include <thread>

#include "platform/Signal.h"
#include "serial/ComTypes.h"

class TCustomComPort;

class TComThread {
public:
    // Prepares the thread for the port, sets the device's event mask and starts waiting.
    explicit TComThread(TCustomComPort* AComPort);
    // Asks the loop to end and waits for it, serving the main thread's hand-overs meanwhile.
    ~TComThread();
    TComThread(const TComThread&) = delete;
    TComThread& operator=(const TComThread&) = delete;

    TCustomComPort* OwnerPort() const { return m_ownerPort; }
    platform::SignalHandle StopSignal() const { return m_stopSignal; }
    TComEvents ReceivedEvents() const { return m_receivedEvents; }

    bool Finished() const { return m_finished.load(); }
    // The exception that ended the loop, if one did.
    std::exception_ptr FatalException() const;
    // The loop ended because the device failed (it went away).
    bool DeviceFailed() const { return m_deviceFailed.load(); }
    bool IsMonitorThread() const { return std::this_thread::get_id() == m_thread.get_id(); }

private:
    void Execute();
    void runLoop();
    void dispatch();
    void stopAndWait();

    TCustomComPort* m_ownerPort;
    platform::SignalHandle m_stopSignal = platform::kNoSignal;
    platform::SignalHandle m_endedSignal = platform::kNoSignal;
    TComEvents m_receivedEvents;
    std::atomic<bool> m_finished{false};
    std::atomic<bool> m_deviceFailed{false};
    std::exception_ptr m_fatal;
    std::thread m_thread;
};
