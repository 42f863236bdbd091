// Monitoring and dispatch of line events: starting and stopping the thread, the three
// hand-overs, the steps in their fixed order.
#include <memory>

#include "platform/MainThread.h"
#include "serial/ComPort.h"
#include "serial/ComThread.h"

namespace {

constexpr TComEvent kDispatchOrder[] = {evError, evRxChar, evTxEmpty, evBreak, evRing,
                                        evCTS,   evDSR,    evRxFlag,  evRLSD,  evRx80Full};

}  // namespace

std::uintptr_t EventToMessageParam(TComEvent Event) {
    constexpr std::uintptr_t kParams[] = {1, 4, 2, 256, 64, 8, 16, 128, 32, 1024};
    return kParams[Event];
}

void TCustomComPort::startMonitoring() {
    if (m_events.Empty()) {
        m_threadStarted = false;
        return;
    }
    platform::mainThreadQueue();  // the thread that opens a port is its main thread
    if (m_syncMethod == smWindowSync) {
        m_syncWindow = std::make_unique<platform::MessageWindow>(
            CM_COMEVENT, [this](std::uint32_t message, std::uintptr_t param) {
                HandleSyncMessage(message, param);
            });
    }
    try {
        ++m_monitorGeneration;
        m_monitorThread = std::make_unique<TComThread>(this);
    } catch (...) {
        // No thread: leave the port as it was before the open.
        m_syncWindow.reset();
        CloseDevice();
        m_connected = false;
        throw;
    }
    m_threadStarted = true;
}

void TCustomComPort::stopMonitoring() {
    if (!m_threadStarted) {
        return;
    }
    m_monitorThread.reset();
    m_threadStarted = false;
    m_syncWindow.reset();
}

bool TCustomComPort::closeMustBeDeferred() const {
    return m_threadStarted && m_monitorThread &&
           (m_dispatchDepth > 0 || m_monitorThread->IsMonitorThread());
}

void TCustomComPort::deferOnMainThread(std::function<void()> operation) {
    std::weak_ptr<int> alive = m_alive;
    platform::mainThreadQueue().post([alive, operation = std::move(operation)] {
        if (alive.expired()) {
            return;
        }
        try {
            operation();
        } catch (...) {
            ApplicationHandleException(std::current_exception());
        }
    });
}

void TCustomComPort::monitorEndedByDeviceFailure(TComThread* thread) {
    // The device went away: close on the main thread with the usual notifications rather
    // than stay "open" with nothing ever arriving again.
    // The thread is still this port's: the generation is the one it was started with.
    std::weak_ptr<int> alive = m_alive;
    const std::uint64_t generation = m_monitorGeneration;
    platform::mainThreadQueue().post([this, alive, thread, generation] {
        if (alive.expired() || m_monitorGeneration != generation ||
            m_monitorThread.get() != thread) {
            return;
        }
        try {
            ClosePort();
        } catch (...) {
            ApplicationHandleException(std::current_exception());
        }
    });
}

void TCustomComPort::SendSyncMessages(TComEvents Events) {
    // The window outlives the monitoring thread: the close destroys it after the thread.
    const platform::MessageWindow* window = m_syncWindow.get();
    for (TComEvent event : kDispatchOrder) {
        if (Events.Contains(event)) {
            window->Send(CM_COMEVENT, EventToMessageParam(event));
        }
    }
}

void TCustomComPort::HandleSyncMessage(std::uint32_t Message, std::uintptr_t WParam) {
    if (Message != CM_COMEVENT || !m_connected) {
        return;
    }
    try {
        for (TComEvent event : kDispatchOrder) {
            if (EventToMessageParam(event) == WParam) {
                CallEvent(event);
            }
        }
    } catch (...) {
        ApplicationHandleException(std::current_exception());
    }
}

void TCustomComPort::CallEvents(TComEvents Events) {
    for (TComEvent event : kDispatchOrder) {
        if (Events.Contains(event)) {
            CallEvent(event);
        }
    }
}

void TCustomComPort::CallEvent(TComEvent Event) {
    switch (Event) {
        case evError:
            CallError();
            break;
        case evRxChar:
            CallRxChar();
            break;
        case evTxEmpty:
            CallTxEmpty();
            break;
        case evBreak:
            CallBreak();
            break;
        case evRing:
            CallRing();
            break;
        case evCTS:
            CallCTSChange();
            break;
        case evDSR:
            CallDSRChange();
            break;
        case evRxFlag:
            CallRxFlag();
            break;
        case evRLSD:
            CallRLSDChange();
            break;
        case evRx80Full:
            CallRx80Full();
            break;
    }
}

void TCustomComPort::CallError() {
    const TComErrors errors = ReadLineErrors();
    if (!errors.Empty()) {
        FireError(errors);
    }
}

void TCustomComPort::CallRxChar() {
    std::int32_t count = WaitingInputCount();
    if (count > 0) {
        notifyLinks(&TComLink::ReceiveActivity, true);
    }
    if (count > 0 && !(m_notifyCountOnly && !m_hasDataLink)) {
        // One buffer, read once, serves OnRxBuf and every DataReceived slot; it is
        // released on every path.
        std::unique_ptr<char[]> buffer;
        std::int32_t read = 0;
        auto readOnce = [&] {
            if (!buffer) {
                buffer = std::make_unique<char[]>(static_cast<std::size_t>(count));
                read = ReadBuffer(buffer.get(), count);
                FireRxBuf(buffer.get(), read);
            }
        };
        const std::size_t links = m_links.size();
        for (std::size_t i = 0; i < links && i < m_links.size(); ++i) {
            if (m_links[i]->DataReceived) {
                readOnce();
                m_links[i]->DataReceived(this, buffer.get(), read);
            }
        }
        if (!buffer && !m_notifyCountOnly) {
            readOnce();
        }
        if (buffer) {
            count = 0;
        }
    }
    if (count > 0) {
        FireRxChar(count);
    }
}

void TCustomComPort::CallTxEmpty() {
    notifyLinks(&TComLink::TransmitActivity, false);
    notifyLinks(&TComLink::TransmitterEmpty);
    FireTxEmpty();
}

void TCustomComPort::CallBreak() {
    FireBreak();
}

void TCustomComPort::CallRing() {
    notifyLinks(&TComLink::RingDetected);
    FireRing();
}

void TCustomComPort::CallCTSChange() {
    const bool on = ReadLineSignals().Contains(CTS);
    notifyLinks(&TComLink::CtsChanged, on);
    FireCTSChange(on);
}

void TCustomComPort::CallDSRChange() {
    const bool on = ReadLineSignals().Contains(DSR);
    notifyLinks(&TComLink::DsrChanged, on);
    FireDSRChange(on);
}

void TCustomComPort::CallRxFlag() {
    notifyLinks(&TComLink::FlagReceived);
    FireRxFlag();
}

void TCustomComPort::CallRLSDChange() {
    const bool on = ReadLineSignals().Contains(RLSD);
    notifyLinks(&TComLink::RlsdChanged, on);
    FireRLSDChange(on);
}

void TCustomComPort::CallRx80Full() {
    FireRx80Full();
}
