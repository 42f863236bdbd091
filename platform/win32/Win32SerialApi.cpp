// The serial device on the Win32 communications calls. The component's records are laid out
// as the system's own (DCB, COMMTIMEOUTS, COMSTAT, OVERLAPPED), so they pass through as they
// are; the asserts below hold that layout to the SDK's.
#include <windows.h>

#include <cstddef>
#include <cstring>
#include <map>
#include <mutex>

#include "platform/LastError.h"
#include "platform/SerialApi.h"

namespace platform {

static_assert(sizeof(Dcb) == sizeof(DCB));
static_assert(offsetof(Dcb, DCBlength) == offsetof(DCB, DCBlength));
static_assert(offsetof(Dcb, BaudRate) == offsetof(DCB, BaudRate));
static_assert(offsetof(Dcb, wReserved) == offsetof(DCB, wReserved));
static_assert(offsetof(Dcb, XonLim) == offsetof(DCB, XonLim));
static_assert(offsetof(Dcb, XoffLim) == offsetof(DCB, XoffLim));
static_assert(offsetof(Dcb, ByteSize) == offsetof(DCB, ByteSize));
static_assert(offsetof(Dcb, Parity) == offsetof(DCB, Parity));
static_assert(offsetof(Dcb, StopBits) == offsetof(DCB, StopBits));
static_assert(offsetof(Dcb, XonChar) == offsetof(DCB, XonChar));
static_assert(offsetof(Dcb, XoffChar) == offsetof(DCB, XoffChar));
static_assert(offsetof(Dcb, ErrorChar) == offsetof(DCB, ErrorChar));
static_assert(offsetof(Dcb, EofChar) == offsetof(DCB, EofChar));
static_assert(offsetof(Dcb, EvtChar) == offsetof(DCB, EvtChar));
static_assert(offsetof(Dcb, wReserved1) == offsetof(DCB, wReserved1));
// The flag bits between BaudRate and wReserved are DCB's bit fields, fBinary first.
static_assert(offsetof(Dcb, Flags) == offsetof(DCB, BaudRate) + sizeof(DWORD));

static_assert(sizeof(CommTimeouts) == sizeof(COMMTIMEOUTS));
static_assert(offsetof(CommTimeouts, ReadIntervalTimeout) ==
              offsetof(COMMTIMEOUTS, ReadIntervalTimeout));
static_assert(offsetof(CommTimeouts, ReadTotalTimeoutMultiplier) ==
              offsetof(COMMTIMEOUTS, ReadTotalTimeoutMultiplier));
static_assert(offsetof(CommTimeouts, ReadTotalTimeoutConstant) ==
              offsetof(COMMTIMEOUTS, ReadTotalTimeoutConstant));
static_assert(offsetof(CommTimeouts, WriteTotalTimeoutMultiplier) ==
              offsetof(COMMTIMEOUTS, WriteTotalTimeoutMultiplier));
static_assert(offsetof(CommTimeouts, WriteTotalTimeoutConstant) ==
              offsetof(COMMTIMEOUTS, WriteTotalTimeoutConstant));

static_assert(sizeof(ComStat) == sizeof(COMSTAT));
static_assert(offsetof(ComStat, cbInQue) == offsetof(COMSTAT, cbInQue));
static_assert(offsetof(ComStat, cbOutQue) == offsetof(COMSTAT, cbOutQue));

static_assert(sizeof(Overlapped) == sizeof(OVERLAPPED));
static_assert(offsetof(Overlapped, Internal) == offsetof(OVERLAPPED, Internal));
static_assert(offsetof(Overlapped, InternalHigh) == offsetof(OVERLAPPED, InternalHigh));
static_assert(offsetof(Overlapped, Offset) == offsetof(OVERLAPPED, Offset));
static_assert(offsetof(Overlapped, OffsetHigh) == offsetof(OVERLAPPED, OffsetHigh));
static_assert(offsetof(Overlapped, hEvent) == offsetof(OVERLAPPED, hEvent));

static_assert(sizeof(DeviceHandle) == sizeof(HANDLE));
// INVALID_HANDLE_VALUE is the handle -1.
static_assert(kInvalidDevice == static_cast<DeviceHandle>(-1));

static_assert(ev::RxChar == EV_RXCHAR && ev::RxFlag == EV_RXFLAG && ev::TxEmpty == EV_TXEMPTY &&
              ev::Cts == EV_CTS && ev::Dsr == EV_DSR && ev::Rlsd == EV_RLSD &&
              ev::Break == EV_BREAK && ev::Err == EV_ERR && ev::Ring == EV_RING &&
              ev::Perr == EV_PERR && ev::Rx80Full == EV_RX80FULL);
static_assert(ce::RxOver == CE_RXOVER && ce::Overrun == CE_OVERRUN && ce::RxParity == CE_RXPARITY &&
              ce::Frame == CE_FRAME && ce::Break == CE_BREAK && ce::TxFull == CE_TXFULL &&
              ce::IoE == CE_IOE && ce::Mode == CE_MODE);
static_assert(ms::CtsOn == MS_CTS_ON && ms::DsrOn == MS_DSR_ON && ms::RingOn == MS_RING_ON &&
              ms::RlsdOn == MS_RLSD_ON);
static_assert(purge::TxAbort == PURGE_TXABORT && purge::RxAbort == PURGE_RXABORT &&
              purge::TxClear == PURGE_TXCLEAR && purge::RxClear == PURGE_RXCLEAR);
static_assert(kNoParity == NOPARITY && kOddParity == ODDPARITY && kEvenParity == EVENPARITY &&
              kMarkParity == MARKPARITY && kSpaceParity == SPACEPARITY);
static_assert(kOneStopBit == ONESTOPBIT && kOne5StopBits == ONE5STOPBITS &&
              kTwoStopBits == TWOSTOPBITS);

namespace {

HANDLE toHandle(DeviceHandle device) {
    return reinterpret_cast<HANDLE>(device);
}

OVERLAPPED* toOverlapped(Overlapped* overlapped) {
    return reinterpret_cast<OVERLAPPED*>(overlapped);
}

// A failed call leaves its reason in GetLastError, which is lastError().
bool result(BOOL ok) {
    return ok != FALSE;
}

class Win32SerialApi final : public SerialApi {
public:
    DeviceHandle open(const std::string& path) override {
        HANDLE device = ::CreateFileA(path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                                      OPEN_EXISTING, FILE_FLAG_OVERLAPPED, nullptr);
        // INVALID_HANDLE_VALUE is kInvalidDevice; GetLastError tells why.
        return reinterpret_cast<DeviceHandle>(device);
    }

    bool setupQueues(DeviceHandle device, std::uint32_t inputSize,
                     std::uint32_t outputSize) override {
        return valid(device) && result(::SetupComm(toHandle(device), inputSize, outputSize));
    }

    bool setLineSettings(DeviceHandle device, const Dcb& dcb) override {
        if (!valid(device)) {
            return false;
        }
        DCB record;
        std::memcpy(&record, &dcb, sizeof record);
        return result(::SetCommState(toHandle(device), &record));
    }

    bool setTimeouts(DeviceHandle device, const CommTimeouts& timeouts) override {
        if (!valid(device)) {
            return false;
        }
        COMMTIMEOUTS record;
        std::memcpy(&record, &timeouts, sizeof record);
        return result(::SetCommTimeouts(toHandle(device), &record));
    }

    bool setEventMask(DeviceHandle device, std::uint32_t mask) override {
        if (!valid(device)) {
            return false;
        }
        if (!::SetCommMask(toHandle(device), mask)) {
            return result(FALSE);
        }
        // The pending wait completes with an empty mask, but the system writes the mask
        // and the record when it gets to it: collect it here, so that its owner may drop
        // them as soon as this returns.
        if (Overlapped* pending = takePendingWait(device)) {
            finishWait(device, pending);
        }
        return true;
    }

    bool startEventWait(DeviceHandle device, std::uint32_t* mask, Overlapped* overlapped) override {
        if (!valid(device)) {
            return false;
        }
        static_assert(sizeof(std::uint32_t) == sizeof(DWORD));
        DWORD* events = reinterpret_cast<DWORD*>(mask);
        // Registered before the call: a mask change from another thread must see it. A
        // wait that does not go on leaves whatever was registered before.
        Overlapped* before = notePendingWait(device, overlapped);
        if (::WaitCommEvent(toHandle(device), events, toOverlapped(overlapped))) {
            restorePendingWait(device, overlapped, before);
            // Completed at once: the completion signal is set as for a pending wait's end,
            // so that the caller waits on it the same way.
            ::SetEvent(toHandle(overlapped->hEvent));
            return true;
        }
        const DWORD error = ::GetLastError();
        if (error != ERROR_IO_PENDING) {
            restorePendingWait(device, overlapped, before);
        }
        ::SetLastError(error);
        return false;
    }

    bool queryStatus(DeviceHandle device, std::uint32_t* errors, ComStat* stat) override {
        if (!valid(device)) {
            return false;
        }
        DWORD pending = 0;
        COMSTAT record{};
        if (!::ClearCommError(toHandle(device), &pending, &record)) {
            return result(FALSE);
        }
        if (errors) {
            *errors = pending;
        }
        if (stat) {
            std::memcpy(&stat->Flags, &record, sizeof stat->Flags);  // the bit fields' word
            stat->cbInQue = record.cbInQue;
            stat->cbOutQue = record.cbOutQue;
        }
        return true;
    }

    bool modemStatus(DeviceHandle device, std::uint32_t* status) override {
        if (!valid(device)) {
            return false;
        }
        DWORD lines = 0;
        if (!::GetCommModemStatus(toHandle(device), &lines)) {
            return result(FALSE);
        }
        if (status) {
            *status = lines;
        }
        return true;
    }

    bool startRead(DeviceHandle device, void* buffer, std::uint32_t count, std::uint32_t* read,
                   Overlapped* overlapped) override {
        if (!valid(device)) {
            return false;
        }
        DWORD done = 0;
        if (::ReadFile(toHandle(device), buffer, count, &done, toOverlapped(overlapped))) {
            if (read) {
                *read = done;
            }
            ::SetEvent(toHandle(overlapped->hEvent));
            return true;
        }
        return result(FALSE);  // ERROR_IO_PENDING when it goes on
    }

    bool transferResult(DeviceHandle device, Overlapped* overlapped, std::uint32_t* transferred,
                        bool wait) override {
        if (!valid(device)) {
            return false;
        }
        DWORD count = 0;
        const BOOL ok =
            ::GetOverlappedResult(toHandle(device), toOverlapped(overlapped), &count, wait);
        const DWORD error = ok ? ERROR_SUCCESS : ::GetLastError();
        if (ok || error != ERROR_IO_INCOMPLETE) {
            dropPendingWait(device, overlapped);
        }
        if (!ok) {
            ::SetLastError(error);
            return false;
        }
        if (transferred) {
            *transferred = count;
        }
        return true;
    }

    bool purge(DeviceHandle device, std::uint32_t flags) override {
        return valid(device) && result(::PurgeComm(toHandle(device), flags));
    }

    bool close(DeviceHandle device) override {
        if (!valid(device)) {
            return false;
        }
        {
            std::lock_guard lock(m_mutex);
            m_pendingWaits.erase(device);
        }
        return result(::CloseHandle(toHandle(device)));
    }

private:
    // The closed port's handle is INVALID_HANDLE_VALUE, which Win32 also takes for the
    // process itself: refuse it before it reaches a call.
    static bool valid(DeviceHandle device) {
        if (device == kInvalidDevice || device == 0) {
            ::SetLastError(ERROR_INVALID_HANDLE);
            return false;
        }
        return true;
    }

    Overlapped* notePendingWait(DeviceHandle device, Overlapped* overlapped) {
        std::lock_guard lock(m_mutex);
        Overlapped*& entry = m_pendingWaits[device];
        Overlapped* before = entry;
        entry = overlapped;
        return before;
    }

    void restorePendingWait(DeviceHandle device, Overlapped* overlapped, Overlapped* before) {
        std::lock_guard lock(m_mutex);
        auto it = m_pendingWaits.find(device);
        if (it == m_pendingWaits.end() || it->second != overlapped) {
            return;
        }
        if (before) {
            it->second = before;
        } else {
            m_pendingWaits.erase(it);
        }
    }

    void dropPendingWait(DeviceHandle device, Overlapped* overlapped) {
        std::lock_guard lock(m_mutex);
        auto it = m_pendingWaits.find(device);
        if (it != m_pendingWaits.end() && it->second == overlapped) {
            m_pendingWaits.erase(it);
        }
    }

    Overlapped* takePendingWait(DeviceHandle device) {
        std::lock_guard lock(m_mutex);
        auto it = m_pendingWaits.find(device);
        if (it == m_pendingWaits.end()) {
            return nullptr;
        }
        Overlapped* overlapped = it->second;
        m_pendingWaits.erase(it);
        return overlapped;
    }

    // Waits for a wait that the mask change ended. A driver that does not end it at once
    // gets a second chance through cancellation, so that this never blocks for good.
    static void finishWait(DeviceHandle device, Overlapped* overlapped) {
        OVERLAPPED* record = toOverlapped(overlapped);
        if (::WaitForSingleObject(record->hEvent, kCancelAfterMs) != WAIT_OBJECT_0 &&
            !HasOverlappedIoCompleted(record)) {
            ::CancelIoEx(toHandle(device), record);
        }
        DWORD unused = 0;
        ::GetOverlappedResult(toHandle(device), record, &unused, TRUE);
    }

    static constexpr DWORD kCancelAfterMs = 1000;

    std::mutex m_mutex;
    // The event wait each device has outstanding, if any.
    std::map<DeviceHandle, Overlapped*> m_pendingWaits;
};

}  // namespace

SerialApi& systemSerialApi() {
    static Win32SerialApi api;
    return api;
}

}  // namespace platform
