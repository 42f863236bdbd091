// What the serial port component needs of the platform's serial devices: exclusive open,
// queue sizes, line settings, timeouts, line-event waits, status queries, overlapped reads,
// abort and purge. Every call returns false (or the invalid handle) on failure and leaves
// the reason in lastError(). Records and bit values are the component's own vocabulary.
#pragma once

#include <cstdint>
#include <string>

#include "platform/Signal.h"

namespace platform {

using DeviceHandle = std::uintptr_t;
inline constexpr DeviceHandle kInvalidDevice = ~DeviceHandle{0};

// Line settings record, 28 bytes, laid out field by field as the component fills it.
struct Dcb {
    std::uint32_t DCBlength = sizeof(Dcb);
    std::uint32_t BaudRate = 0;
    std::uint32_t Flags = 0;
    std::uint16_t wReserved = 0;
    std::uint16_t XonLim = 0;
    std::uint16_t XoffLim = 0;
    std::uint8_t ByteSize = 0;
    std::uint8_t Parity = 0;
    std::uint8_t StopBits = 0;
    char XonChar = 0;
    char XoffChar = 0;
    char ErrorChar = 0;
    char EofChar = 0;
    char EvtChar = 0;
    std::uint16_t wReserved1 = 0;
};
static_assert(sizeof(Dcb) == 28);

namespace dcbflag {
inline constexpr std::uint32_t Binary = 0x0001;
inline constexpr std::uint32_t Parity = 0x0002;
inline constexpr std::uint32_t OutxCtsFlow = 0x0004;
inline constexpr std::uint32_t OutxDsrFlow = 0x0008;
inline constexpr std::uint32_t DtrControlMask = 0x0030;
inline constexpr std::uint32_t DtrControlEnable = 0x0010;
inline constexpr std::uint32_t DtrControlHandshake = 0x0020;
inline constexpr std::uint32_t DsrSensitivity = 0x0040;
inline constexpr std::uint32_t TxContinueOnXoff = 0x0080;
inline constexpr std::uint32_t OutX = 0x0100;
inline constexpr std::uint32_t InX = 0x0200;
inline constexpr std::uint32_t ErrorChar = 0x0400;
inline constexpr std::uint32_t Null = 0x0800;
inline constexpr std::uint32_t RtsControlMask = 0x3000;
inline constexpr std::uint32_t RtsControlEnable = 0x1000;
inline constexpr std::uint32_t RtsControlHandshake = 0x2000;
inline constexpr std::uint32_t RtsControlToggle = 0x3000;
inline constexpr std::uint32_t AbortOnError = 0x4000;
}  // namespace dcbflag

// Parity field values.
inline constexpr std::uint8_t kNoParity = 0, kOddParity = 1, kEvenParity = 2, kMarkParity = 3,
                              kSpaceParity = 4;
// StopBits field values.
inline constexpr std::uint8_t kOneStopBit = 0, kOne5StopBits = 1, kTwoStopBits = 2;

// Read and write timeouts in milliseconds; kMaxTimeout is "all bits set".
struct CommTimeouts {
    std::uint32_t ReadIntervalTimeout = 0;
    std::uint32_t ReadTotalTimeoutMultiplier = 0;
    std::uint32_t ReadTotalTimeoutConstant = 0;
    std::uint32_t WriteTotalTimeoutMultiplier = 0;
    std::uint32_t WriteTotalTimeoutConstant = 0;
};
inline constexpr std::uint32_t kMaxTimeout = 0xFFFFFFFFu;

struct ComStat {
    std::uint32_t Flags = 0;
    std::uint32_t cbInQue = 0;
    std::uint32_t cbOutQue = 0;
};

// Overlapped-transfer record: the platform keeps an operation's status in Internal and its
// byte count in InternalHigh; hEvent is set when the operation completes.
struct Overlapped {
    std::uintptr_t Internal = 0;
    std::uintptr_t InternalHigh = 0;
    std::uint32_t Offset = 0;
    std::uint32_t OffsetHigh = 0;
    SignalHandle hEvent = kNoSignal;
};

// Line-event mask bits.
namespace ev {
inline constexpr std::uint32_t RxChar = 0x0001;
inline constexpr std::uint32_t RxFlag = 0x0002;
inline constexpr std::uint32_t TxEmpty = 0x0004;
inline constexpr std::uint32_t Cts = 0x0008;
inline constexpr std::uint32_t Dsr = 0x0010;
inline constexpr std::uint32_t Rlsd = 0x0020;
inline constexpr std::uint32_t Break = 0x0040;
inline constexpr std::uint32_t Err = 0x0080;
inline constexpr std::uint32_t Ring = 0x0100;
inline constexpr std::uint32_t Perr = 0x0200;
inline constexpr std::uint32_t Rx80Full = 0x0400;
}  // namespace ev

// Pending line-error bits reported by queryStatus.
namespace ce {
inline constexpr std::uint32_t RxOver = 0x0001;
inline constexpr std::uint32_t Overrun = 0x0002;
inline constexpr std::uint32_t RxParity = 0x0004;
inline constexpr std::uint32_t Frame = 0x0008;
inline constexpr std::uint32_t Break = 0x0010;
inline constexpr std::uint32_t TxFull = 0x0100;
inline constexpr std::uint32_t IoE = 0x0400;
inline constexpr std::uint32_t Mode = 0x8000;
}  // namespace ce

// Modem-status bits.
namespace ms {
inline constexpr std::uint32_t CtsOn = 0x10;
inline constexpr std::uint32_t DsrOn = 0x20;
inline constexpr std::uint32_t RingOn = 0x40;
inline constexpr std::uint32_t RlsdOn = 0x80;
}  // namespace ms

// Purge flags.
namespace purge {
inline constexpr std::uint32_t TxAbort = 0x1;
inline constexpr std::uint32_t RxAbort = 0x2;
inline constexpr std::uint32_t TxClear = 0x4;
inline constexpr std::uint32_t RxClear = 0x8;
}  // namespace purge

class SerialApi {
public:
    virtual ~SerialApi() = default;

    // Opens the device at a "\\.\" path for exclusive, overlapped use.
    virtual DeviceHandle open(const std::string& path) = 0;
    virtual bool setupQueues(DeviceHandle device, std::uint32_t inputSize,
                             std::uint32_t outputSize) = 0;
    virtual bool setLineSettings(DeviceHandle device, const Dcb& dcb) = 0;
    virtual bool setTimeouts(DeviceHandle device, const CommTimeouts& timeouts) = 0;
    // Chooses the events a wait reports; a pending wait completes with an empty mask.
    virtual bool setEventMask(DeviceHandle device, std::uint32_t mask) = 0;
    // Arms an overlapped wait for line events. Events that occurred since the last
    // completed wait complete it at once; otherwise it goes on (kErrorIoPending) and sets
    // overlapped->hEvent when one occurs.
    virtual bool startEventWait(DeviceHandle device, std::uint32_t* mask,
                                Overlapped* overlapped) = 0;
    // Bytes queued, and the pending line errors, which the query clears.
    virtual bool queryStatus(DeviceHandle device, std::uint32_t* errors, ComStat* stat) = 0;
    virtual bool modemStatus(DeviceHandle device, std::uint32_t* status) = 0;
    // Starts an overlapped read: true when it completed at once (count in *read), false
    // with kErrorIoPending when it goes on and will set overlapped->hEvent.
    virtual bool startRead(DeviceHandle device, void* buffer, std::uint32_t count,
                           std::uint32_t* read, Overlapped* overlapped) = 0;
    virtual bool transferResult(DeviceHandle device, Overlapped* overlapped,
                                std::uint32_t* transferred, bool wait) = 0;
    virtual bool purge(DeviceHandle device, std::uint32_t flags) = 0;
    virtual bool close(DeviceHandle device) = 0;
};

// The platform's own serial devices.
SerialApi& systemSerialApi();

}  // namespace platform
