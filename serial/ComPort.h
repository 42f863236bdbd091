// TCustomComPort and TComPort: a component that owns one serial device. Settings become
// the device's configuration when it is opened and whenever they change while it is open;
// reads, line status, the monitoring thread and attached links work on the open device.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "platform/MessageWindow.h"
#include "platform/SerialApi.h"
#include "serial/ComError.h"
#include "serial/ComSettings.h"
#include "serial/ComTransfer.h"
#include "serial/ComTypes.h"

class TComThread;
class TCustomComPort;

// The message and its parameters with which a window-synchronised event reaches the port.
inline constexpr std::uint32_t CM_COMEVENT = 1025;
std::uintptr_t EventToMessageParam(TComEvent Event);

class TCustomComPort : public TComponent {
public:
    // `Api` chooses the platform's devices (the default) or a stand-in for tests.
    explicit TCustomComPort(TComponent* AOwner, platform::SerialApi* Api = nullptr);
    ~TCustomComPort() override;

    // --- settings ---
    bool Connected() const { return m_connected; }
    void SetConnected(bool Value);
    TBaudRate BaudRate() const { return m_baudRate; }
    void SetBaudRate(TBaudRate Value);
    std::int32_t CustomBaudRate() const { return m_customBaudRate; }
    void SetCustomBaudRate(std::int32_t Value);
    const std::string& Port() const { return m_port; }
    void SetPort(const std::string& Value);
    TStopBits StopBits() const { return m_stopBits; }
    void SetStopBits(TStopBits Value);
    TDataBits DataBits() const { return m_dataBits; }
    void SetDataBits(TDataBits Value);
    bool DiscardNull() const { return m_discardNull; }
    void SetDiscardNull(bool Value);
    char EventChar() const { return m_eventChar; }
    void SetEventChar(char Value);
    TComEvents Events() const { return m_events; }
    void SetEvents(TComEvents Value) { m_events = Value; }
    TSyncMethod SyncMethod() const { return m_syncMethod; }
    void SetSyncMethod(TSyncMethod Value);

    TComBuffer& Buffer() { return *m_buffer; }
    TComParity& Parity() { return *m_parity; }
    TComTimeouts& Timeouts() { return *m_timeouts; }
    TComFlowControl& FlowControl() { return *m_flowControl; }
    // Copy the given object's values in and re-apply, changed or not.
    void SetBuffer(const TComBuffer& Value);
    void SetParity(const TComParity& Value);
    void SetTimeouts(const TComTimeouts& Value);
    void SetFlowControl(const TComFlowControl& Value);

    // --- state ---
    platform::DeviceHandle DeviceHandle() const { return m_deviceHandle; }
    TComThread* MonitorThread() const { return m_monitorThread.get(); }
    bool ThreadStarted() const { return m_threadStarted; }
    const std::vector<TComLink*>& Links() const { return m_links; }
    bool NotifyCountOnly() const { return m_notifyCountOnly; }
    TThreadPriority ThreadPriority() const { return m_threadPriority; }
    bool HasDataLink() const { return m_hasDataLink; }
    platform::SerialApi& Api() const { return *m_api; }
    // The hidden window of window-synchronised dispatch, while the port is monitored so.
    const platform::MessageWindow* SyncWindow() const { return m_syncWindow.get(); }

    // --- events ---
    TRxCharEvent OnRxChar;
    TRxBufEvent OnRxBuf;
    TNotifyEvent OnTxEmpty;
    TNotifyEvent OnBreak;
    TNotifyEvent OnRing;
    TComSignalEvent OnCTSChange;
    TComSignalEvent OnDSRChange;
    TComSignalEvent OnRLSDChange;
    TComErrorEvent OnError;
    TNotifyEvent OnRxFlag;
    TNotifyEvent OnAfterOpen;
    TNotifyEvent OnAfterClose;
    TNotifyEvent OnBeforeOpen;
    TNotifyEvent OnBeforeClose;
    TNotifyEvent OnRx80Full;

    // --- lifecycle ---
    void OpenPort();
    void ClosePort();
    void FinishLoading() override;

    virtual void OpenDevice();
    virtual void CloseDevice();
    virtual void ConfigureDevice();
    virtual void ApplyLineSettings();
    virtual void ApplyTimeoutSettings();
    virtual void ApplyBufferSizes();

    // --- reading and line status ---
    std::int32_t WaitingInputCount();
    std::int32_t ReadBuffer(void* Buffer, std::int32_t Count);
    std::int32_t ReadText(std::string& Str, std::int32_t Count);
    std::int32_t StartReadBuffer(void* Buffer, std::int32_t Count, PComTransfer AsyncPtr);
    std::int32_t StartReadText(std::string& Str, std::int32_t Count, PComTransfer AsyncPtr);
    std::int32_t WaitForTransfer(PComTransfer AsyncPtr);
    void AbortTransfers();
    TLineSignals ReadLineSignals();
    TComErrors ReadLineErrors();

    // --- links ---
    void AttachLink(TComLink* Link);
    void DetachLink(TComLink* Link);

    // --- event raising ---
    virtual void FireAfterClose();
    virtual void FireAfterOpen();
    virtual void FireBeforeClose();
    virtual void FireBeforeOpen();
    virtual void FireRxChar(std::int32_t Count);
    virtual void FireRxBuf(const char* Buffer, std::int32_t Count);
    virtual void FireTxEmpty();
    virtual void FireBreak();
    virtual void FireRing();
    virtual void FireRxFlag();
    virtual void FireCTSChange(bool OnOff);
    virtual void FireDSRChange(bool OnOff);
    virtual void FireError(TComErrors Errors);
    virtual void FireRLSDChange(bool OnOff);
    virtual void FireRx80Full();

    // The handler of the window-synchronised dispatch: runs the step that WParam names,
    // only while Connected; an exception goes to the central exception handling.
    virtual void HandleSyncMessage(std::uint32_t Message, std::uintptr_t WParam);

    // The dispatch steps, one per line event, and the direct dispatch of a batch in the
    // fixed order.
    void CallEvents(TComEvents Events);
    void CallEvent(TComEvent Event);

protected:
    bool applyAllowed() const;

    // Calls `slot` of every attached link that fills it, in attach order.
    template <typename Slot, typename... Args>
    void notifyLinks(Slot TComLink::*slot, Args... args) {
        const std::size_t count = m_links.size();
        for (std::size_t i = 0; i < count && i < m_links.size(); ++i) {
            const Slot& handler = m_links[i]->*slot;
            if (handler) {
                handler(this, args...);
            }
        }
    }

private:
    friend class TComThread;

    // Marks the main thread as inside this port's thread hand-over.
    class DispatchScope {
    public:
        explicit DispatchScope(TCustomComPort& port) : m_port(port) { ++m_port.m_dispatchDepth; }
        ~DispatchScope() { --m_port.m_dispatchDepth; }
        DispatchScope(const DispatchScope&) = delete;
        DispatchScope& operator=(const DispatchScope&) = delete;

    private:
        TCustomComPort& m_port;
    };

    void CallError();
    void CallRxChar();
    void CallTxEmpty();
    void CallBreak();
    void CallRing();
    void CallCTSChange();
    void CallDSRChange();
    void CallRxFlag();
    void CallRLSDChange();
    void CallRx80Full();

    // Called on the monitoring thread: window-synchronised hand-over of one batch.
    void SendSyncMessages(TComEvents Events);
    // Called on the monitoring thread when its loop ended because the device failed.
    void monitorEndedByDeviceFailure(TComThread* thread);
    // A close from inside this port's own handler cannot wait for the monitoring thread,
    // which waits for that handler: such a close runs once the handler has returned.
    bool closeMustBeDeferred() const;
    void deferOnMainThread(std::function<void()> operation);

    void startMonitoring();
    void stopMonitoring();
    void afterOpenSteps();
    void beforeCloseSteps();
    void afterCloseSteps();
    void releaseAfterFailedClose() noexcept;

    platform::SerialApi* m_api;
    std::unique_ptr<TComThread> m_monitorThread;
    bool m_threadStarted = false;
    // Counts the monitoring threads started: a device failure reported by one that has
    // ended since (the port closed and opened again) closes nothing.
    std::uint64_t m_monitorGeneration = 0;
    platform::DeviceHandle m_deviceHandle = platform::kInvalidDevice;
    std::vector<TComLink*> m_links;
    bool m_notifyCountOnly = true;
    TThreadPriority m_threadPriority = tpNormal;
    bool m_hasDataLink = false;
    bool m_connected = false;
    TBaudRate m_baudRate = br9600;
    std::int32_t m_customBaudRate = 9600;
    std::string m_port = "COM1";
    TStopBits m_stopBits = sbOneStopBit;
    TDataBits m_dataBits = dbEight;
    bool m_discardNull = false;
    char m_eventChar = 0;
    TComEvents m_events = AllComEvents;
    std::unique_ptr<TComParity> m_parity;
    std::unique_ptr<TComFlowControl> m_flowControl;
    std::unique_ptr<TComTimeouts> m_timeouts;
    std::unique_ptr<TComBuffer> m_buffer;
    TSyncMethod m_syncMethod = smThreadSync;
    std::unique_ptr<platform::MessageWindow> m_syncWindow;
    int m_dispatchDepth = 0;
    bool m_closing = false;
    // Lets calls queued for later find out whether the port still exists.
    std::shared_ptr<int> m_alive = std::make_shared<int>(0);
};

// The port with its settings published for the stored description.
class TComPort : public TCustomComPort {
public:
    using TCustomComPort::TCustomComPort;
};
