#include "serial/ComPort.h"

#include <algorithm>

#include "platform/LastError.h"
#include "serial/ComThread.h"

namespace {

constexpr std::uint32_t kBaudRates[] = {0,     110,   300,   600,   1200,  2400,   4800,   9600,
                                        14400, 19200, 38400, 56000, 57600, 115200, 128000, 256000};

std::uint32_t timeoutValue(std::int32_t value) {
    return value == -1 ? platform::kMaxTimeout : static_cast<std::uint32_t>(value);
}

}  // namespace

TCustomComPort::TCustomComPort(TComponent* AOwner, platform::SerialApi* Api)
    : TComponent(AOwner), m_api(Api ? Api : &platform::systemSerialApi()) {
    m_parity = std::make_unique<TComParity>();
    m_parity->m_comPort = this;
    m_flowControl = std::make_unique<TComFlowControl>();
    m_flowControl->m_comPort = this;
    m_timeouts = std::make_unique<TComTimeouts>();
    m_timeouts->m_comPort = this;
    m_buffer = std::make_unique<TComBuffer>();
    m_buffer->m_comPort = this;
}

TCustomComPort::~TCustomComPort() {
    try {
        ClosePort();
    } catch (...) {
        // A destructor cannot report; the device and the thread must still be released.
        releaseAfterFailedClose();
    }
    m_buffer.reset();
    m_flowControl.reset();
    m_timeouts.reset();
    m_parity.reset();
    m_alive.reset();
    Destroying();
    // m_links goes last, after the observers have detached their links.
}

// --- setters ---

void TCustomComPort::SetConnected(bool Value) {
    if (ComponentState().Contains(csLoading)) {
        m_connected = Value;
        return;
    }
    if (Value == m_connected) {
        return;
    }
    if (Value) {
        OpenPort();
    } else {
        ClosePort();
    }
}

void TCustomComPort::SetBaudRate(TBaudRate Value) {
    if (Value != m_baudRate) {
        m_baudRate = Value;
        ApplyLineSettings();
    }
}

void TCustomComPort::SetCustomBaudRate(std::int32_t Value) {
    if (Value != m_customBaudRate) {
        m_customBaudRate = Value;
        ApplyLineSettings();
    }
}

void TCustomComPort::SetPort(const std::string& Value) {
    if (Value == m_port) {
        return;
    }
    m_port = Value;
    if (m_connected && !ComponentState().Contains(csLoading)) {
        if (closeMustBeDeferred()) {
            deferOnMainThread([this] {
                ClosePort();
                OpenPort();
            });
            return;
        }
        ClosePort();
        OpenPort();
    }
}

void TCustomComPort::SetStopBits(TStopBits Value) {
    if (Value != m_stopBits) {
        m_stopBits = Value;
        ApplyLineSettings();
    }
}

void TCustomComPort::SetDataBits(TDataBits Value) {
    if (Value != m_dataBits) {
        m_dataBits = Value;
        ApplyLineSettings();
    }
}

void TCustomComPort::SetDiscardNull(bool Value) {
    if (Value != m_discardNull) {
        m_discardNull = Value;
        ApplyLineSettings();
    }
}

void TCustomComPort::SetEventChar(char Value) {
    if (Value != m_eventChar) {
        m_eventChar = Value;
        ApplyLineSettings();
    }
}

void TCustomComPort::SetSyncMethod(TSyncMethod Value) {
    if (Value == m_syncMethod) {
        return;
    }
    if (m_connected && !ComponentState().Contains(csLoading)) {
        throw EComPort(CError_ConnChangeProp);
    }
    m_syncMethod = Value;
}

void TCustomComPort::SetBuffer(const TComBuffer& Value) {
    m_buffer->Assign(Value);
    ApplyBufferSizes();
}

void TCustomComPort::SetParity(const TComParity& Value) {
    m_parity->Assign(Value);
    ApplyLineSettings();
}

void TCustomComPort::SetTimeouts(const TComTimeouts& Value) {
    m_timeouts->Assign(Value);
    ApplyTimeoutSettings();
}

void TCustomComPort::SetFlowControl(const TComFlowControl& Value) {
    m_flowControl->Assign(Value);
    ApplyLineSettings();
}

// --- applying settings ---

bool TCustomComPort::applyAllowed() const {
    return m_connected && !ComponentState().Contains(csLoading);
}

void TCustomComPort::ApplyBufferSizes() {
    if (!applyAllowed()) {
        return;
    }
    if (!m_api->setupQueues(m_deviceHandle, static_cast<std::uint32_t>(m_buffer->InputSize()),
                            static_cast<std::uint32_t>(m_buffer->OutputSize()))) {
        throw EComPort(CError_SetupComFailed, platform::lastError());
    }
}

void TCustomComPort::ApplyTimeoutSettings() {
    if (!applyAllowed()) {
        return;
    }
    platform::CommTimeouts t;
    t.ReadIntervalTimeout = timeoutValue(m_timeouts->ReadInterval());
    t.ReadTotalTimeoutMultiplier = timeoutValue(m_timeouts->ReadTotalMultiplier());
    t.ReadTotalTimeoutConstant = timeoutValue(m_timeouts->ReadTotalConstant());
    t.WriteTotalTimeoutMultiplier = timeoutValue(m_timeouts->WriteTotalMultiplier());
    t.WriteTotalTimeoutConstant = timeoutValue(m_timeouts->WriteTotalConstant());
    if (!m_api->setTimeouts(m_deviceHandle, t)) {
        throw EComPort(CError_TimeoutsFailed, platform::lastError());
    }
}

void TCustomComPort::ApplyLineSettings() {
    if (!applyAllowed()) {
        return;
    }
    namespace f = platform::dcbflag;
    const TComFlowControl& flow = *m_flowControl;
    const TComParity& parity = *m_parity;

    platform::Dcb dcb;
    dcb.BaudRate = m_baudRate == brCustom ? static_cast<std::uint32_t>(m_customBaudRate)
                                          : kBaudRates[m_baudRate];
    std::uint32_t flags = f::Binary;
    if (parity.Check()) {
        flags |= f::Parity;
    }
    if (flow.OutCTSFlow()) {
        flags |= f::OutxCtsFlow;
    }
    if (flow.OutDSRFlow()) {
        flags |= f::OutxDsrFlow;
    }
    constexpr std::uint32_t dtrBits[] = {0, f::DtrControlEnable, f::DtrControlHandshake};
    flags |= dtrBits[flow.ControlDTR()];
    if (flow.DSRSensitivity()) {
        flags |= f::DsrSensitivity;
    }
    if (flow.TxContinueOnXoff()) {
        flags |= f::TxContinueOnXoff;
    }
    if (flow.XonXoffOut()) {
        flags |= f::OutX;
    }
    if (flow.XonXoffIn()) {
        flags |= f::InX;
    }
    const bool errorChar = parity.Check() && parity.Replace();
    if (errorChar) {
        flags |= f::ErrorChar;
    }
    if (m_discardNull) {
        flags |= f::Null;
    }
    constexpr std::uint32_t rtsBits[] = {0, f::RtsControlEnable, f::RtsControlHandshake,
                                         f::RtsControlToggle};
    flags |= rtsBits[flow.ControlRTS()];
    dcb.Flags = flags;
    const auto limit = static_cast<std::uint16_t>(m_buffer->InputSize() / 4);
    dcb.XonLim = limit;
    dcb.XoffLim = limit;
    dcb.ByteSize = static_cast<std::uint8_t>(5 + m_dataBits);
    dcb.Parity = static_cast<std::uint8_t>(parity.Bits());
    dcb.StopBits = static_cast<std::uint8_t>(m_stopBits);
    dcb.XonChar = flow.XonChar();
    dcb.XoffChar = flow.XoffChar();
    dcb.ErrorChar = errorChar ? parity.ReplaceChar() : 0;
    dcb.EofChar = 0;
    dcb.EvtChar = m_eventChar;
    if (!m_api->setLineSettings(m_deviceHandle, dcb)) {
        throw EComPort(CError_SetStateFailed, platform::lastError());
    }
}

// --- opening and closing ---

void TCustomComPort::ConfigureDevice() {
    ApplyBufferSizes();
    ApplyLineSettings();
    ApplyTimeoutSettings();
}

void TCustomComPort::OpenDevice() {
    m_deviceHandle = m_api->open("\\\\.\\" + m_port);
    if (m_deviceHandle == platform::kInvalidDevice) {
        throw EComPort(CError_OpenFailed, platform::lastError());
    }
}

void TCustomComPort::CloseDevice() {
    if (m_deviceHandle != platform::kInvalidDevice) {
        m_api->close(m_deviceHandle);
        m_deviceHandle = platform::kInvalidDevice;
    }
}

void TCustomComPort::OpenPort() {
    if (m_connected) {
        return;
    }
    FireBeforeOpen();
    OpenDevice();
    m_connected = true;
    try {
        ConfigureDevice();
    } catch (...) {
        CloseDevice();
        m_connected = false;
        throw;
    }
    startMonitoring();
    afterOpenSteps();
}

void TCustomComPort::ClosePort() {
    // A close already under way finishes the job; one from inside this port's own
    // handler runs when the handler has returned.
    if (!m_connected || m_closing) {
        return;
    }
    if (closeMustBeDeferred()) {
        deferOnMainThread([this] { ClosePort(); });
        return;
    }
    struct Closing {
        bool& flag;
        explicit Closing(bool& f) : flag(f) { flag = true; }
        ~Closing() { flag = false; }
    } closing(m_closing);
    beforeCloseSteps();
    AbortTransfers();
    stopMonitoring();
    CloseDevice();
    m_connected = false;
    afterCloseSteps();
}

void TCustomComPort::FinishLoading() {
    TComponent::FinishLoading();
    if (m_connected) {
        m_connected = false;
        try {
            OpenPort();
        } catch (...) {
            ApplicationHandleException(std::current_exception());
        }
    }
}

void TCustomComPort::releaseAfterFailedClose() noexcept {
    try {
        stopMonitoring();
    } catch (...) {
    }
    CloseDevice();
    m_connected = false;
}

void TCustomComPort::afterOpenSteps() {
    notifyLinks(&TComLink::ConnectionChanged, true);
    FireAfterOpen();
    const bool cts = ReadLineSignals().Contains(CTS);
    notifyLinks(&TComLink::CtsChanged, cts);
    FireCTSChange(cts);
    const bool dsr = ReadLineSignals().Contains(DSR);
    notifyLinks(&TComLink::DsrChanged, dsr);
    FireDSRChange(dsr);
    const bool rlsd = ReadLineSignals().Contains(RLSD);
    notifyLinks(&TComLink::RlsdChanged, rlsd);
    FireRLSDChange(rlsd);
}

void TCustomComPort::beforeCloseSteps() {
    notifyLinks(&TComLink::CtsChanged, false);
    notifyLinks(&TComLink::DsrChanged, false);
    notifyLinks(&TComLink::RlsdChanged, false);
    FireCTSChange(false);
    FireDSRChange(false);
    FireRLSDChange(false);
    FireBeforeClose();
}

void TCustomComPort::afterCloseSteps() {
    notifyLinks(&TComLink::ConnectionChanged, false);
    FireAfterClose();
}

// --- links ---

void TCustomComPort::AttachLink(TComLink* Link) {
    if (!Link || std::find(m_links.begin(), m_links.end(), Link) != m_links.end()) {
        throw EComPort(CError_RegFailed);
    }
    m_links.push_back(Link);
    m_hasDataLink = std::any_of(m_links.begin(), m_links.end(),
                                [](const TComLink* l) { return bool(l->DataReceived); });
}

void TCustomComPort::DetachLink(TComLink* Link) {
    auto it = std::find(m_links.begin(), m_links.end(), Link);
    if (it == m_links.end()) {
        throw EComPort(CError_RegFailed);
    }
    m_links.erase(it);
    m_hasDataLink = std::any_of(m_links.begin(), m_links.end(),
                                [](const TComLink* l) { return bool(l->DataReceived); });
}

// --- event raising ---

void TCustomComPort::FireAfterClose() {
    if (OnAfterClose) {
        OnAfterClose(this);
    }
}
void TCustomComPort::FireAfterOpen() {
    if (OnAfterOpen) {
        OnAfterOpen(this);
    }
}
void TCustomComPort::FireBeforeClose() {
    if (OnBeforeClose) {
        OnBeforeClose(this);
    }
}
void TCustomComPort::FireBeforeOpen() {
    if (OnBeforeOpen) {
        OnBeforeOpen(this);
    }
}
void TCustomComPort::FireRxChar(std::int32_t Count) {
    if (OnRxChar) {
        OnRxChar(this, Count);
    }
}
void TCustomComPort::FireRxBuf(const char* Buffer, std::int32_t Count) {
    if (OnRxBuf) {
        OnRxBuf(this, Buffer, Count);
    }
}
void TCustomComPort::FireTxEmpty() {
    if (OnTxEmpty) {
        OnTxEmpty(this);
    }
}
void TCustomComPort::FireBreak() {
    if (OnBreak) {
        OnBreak(this);
    }
}
void TCustomComPort::FireRing() {
    if (OnRing) {
        OnRing(this);
    }
}
void TCustomComPort::FireRxFlag() {
    if (OnRxFlag) {
        OnRxFlag(this);
    }
}
void TCustomComPort::FireCTSChange(bool OnOff) {
    if (OnCTSChange) {
        OnCTSChange(this, OnOff);
    }
}
void TCustomComPort::FireDSRChange(bool OnOff) {
    if (OnDSRChange) {
        OnDSRChange(this, OnOff);
    }
}
void TCustomComPort::FireError(TComErrors Errors) {
    if (OnError) {
        OnError(this, Errors);
    }
}
void TCustomComPort::FireRLSDChange(bool OnOff) {
    if (OnRLSDChange) {
        OnRLSDChange(this, OnOff);
    }
}
void TCustomComPort::FireRx80Full() {
    if (OnRx80Full) {
        OnRx80Full(this);
    }
}
