#include "serial/ComThread.h"

#include <future>

#include "platform/LastError.h"
#include "platform/MainThread.h"
#include "platform/MessageWindow.h"
#include "platform/ThreadPriority.h"
#include "serial/ComPort.h"

TComThread::TComThread(TCustomComPort* AComPort) : m_ownerPort(AComPort) {
    // Created suspended: the body waits for the constructor to finish its preparation.
    std::promise<void> resume;
    std::shared_future<void> resumed = resume.get_future().share();
    m_endedSignal = platform::createSignal(false);
    m_stopSignal = platform::createSignal(false);
    if (m_endedSignal == platform::kNoSignal || m_stopSignal == platform::kNoSignal) {
        platform::releaseSignal(m_endedSignal);
        platform::releaseSignal(m_stopSignal);
        throw std::system_error(platform::lastError(), std::generic_category(),
                                "monitoring thread signals");
    }
    try {
        m_thread = std::thread([this, resumed] {
            resumed.wait();
            Execute();
        });
    } catch (...) {
        platform::releaseSignal(m_endedSignal);
        platform::releaseSignal(m_stopSignal);
        throw;
    }
    m_ownerPort->Api().setEventMask(m_ownerPort->DeviceHandle(),
                                    EventsToInt(m_ownerPort->Events()));
    resume.set_value();
}

TComThread::~TComThread() {
    stopAndWait();
    platform::releaseSignal(m_stopSignal);
    platform::releaseSignal(m_endedSignal);
}

std::exception_ptr TComThread::FatalException() const {
    return m_finished.load() ? m_fatal : nullptr;
}

void TComThread::stopAndWait() {
    // The stop signal is released only here, after the thread has ended, so a loop that
    // ended by itself never leaves the close a released signal to set.
    platform::setSignal(m_stopSignal);
    std::this_thread::yield();
    platform::MainThreadQueue& queue = platform::mainThreadQueue();
    if (queue.isMainThread()) {
        // Keep serving the hand-overs and sent messages the loop may be blocked in, so the
        // close cannot deadlock; wake at once for one, and at least every second otherwise.
        const platform::SignalHandle waits[2] = {m_endedSignal, queue.workSignal()};
        for (;;) {
            const std::uint32_t r = platform::waitForAnyServingMessages(waits, 1000);
            if (r == platform::kWaitObject0) {
                break;
            }
            // A queued call that fails must not end the close (nor, from a destructor,
            // the program): it goes where every stray failure goes.
            try {
                queue.drain();
            } catch (...) {
                ApplicationHandleException(std::current_exception());
            }
        }
    } else {
        platform::waitForSignal(m_endedSignal, platform::kInfinite);
    }
    m_thread.join();
}

void TComThread::Execute() {
    platform::setCurrentThreadPriority(static_cast<int>(m_ownerPort->ThreadPriority()));
    try {
        runLoop();
    } catch (...) {
        m_fatal = std::current_exception();
    }
    if (m_deviceFailed.load()) {
        m_ownerPort->monitorEndedByDeviceFailure(this);
    }
    m_finished.store(true);
    platform::setSignal(m_endedSignal);
}

void TComThread::runLoop() {
    platform::SerialApi& api = m_ownerPort->Api();
    const platform::DeviceHandle device = m_ownerPort->DeviceHandle();
    // One wait record and completion signal serve the thread's whole life.
    platform::Overlapped overlapped;
    overlapped.hEvent = platform::createSignal(true);
    if (overlapped.hEvent == platform::kNoSignal) {
        return;
    }
    struct ReleaseCompletion {
        platform::SignalHandle signal;
        ~ReleaseCompletion() { platform::releaseSignal(signal); }
    } release{overlapped.hEvent};

    const platform::SignalHandle waits[2] = {m_stopSignal, overlapped.hEvent};
    std::uint32_t mask = 0;
    for (;;) {
        mask = 0;
        if (!api.startEventWait(device, &mask, &overlapped) &&
            platform::lastError() != platform::kErrorIoPending) {
            // An arming that fails at once: the device is gone or unusable.
            m_deviceFailed.store(true);
            break;
        }
        if (platform::waitForAny(waits, platform::kInfinite) != platform::kWaitObject0 + 1) {
            break;  // the stop request, which wins over a completed wait, or a failed wait
        }
        std::uint32_t unused = 0;
        if (api.transferResult(device, &overlapped, &unused, false)) {
            m_receivedEvents = IntToEvents(mask);
            dispatch();
        }
    }
    // A mask of 0 also ends a wait still pending on our record.
    api.setEventMask(device, 0);
    api.purge(device, platform::purge::TxClear | platform::purge::RxClear);
}

void TComThread::dispatch() {
    TCustomComPort* port = m_ownerPort;
    const TComEvents events = m_receivedEvents;
    switch (port->SyncMethod()) {
        case smThreadSync:
            platform::mainThreadQueue().runAndWait([port, events] {
                TCustomComPort::DispatchScope scope(*port);
                port->CallEvents(events);
            });
            break;
        case smWindowSync:
            port->SendSyncMessages(events);
            break;
        case smNone:
            port->CallEvents(events);
            break;
    }
}
