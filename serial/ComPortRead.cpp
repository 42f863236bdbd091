#include "platform/LastError.h"
#include "serial/ComPort.h"

std::int32_t TCustomComPort::WaitingInputCount() {
    platform::ComStat stat;
    std::uint32_t errors = 0;
    if (!m_api->queryStatus(m_deviceHandle, &errors, &stat)) {
        throw EComPort(CError_ClearComFailed, platform::lastError());
    }
    return static_cast<std::int32_t>(stat.cbInQue);
}

TComErrors TCustomComPort::ReadLineErrors() {
    platform::ComStat stat;
    std::uint32_t errors = 0;
    if (!m_api->queryStatus(m_deviceHandle, &errors, &stat)) {
        throw EComPort(CError_ClearComFailed, platform::lastError());
    }
    namespace ce = platform::ce;
    TComErrors result;
    if (errors & ce::Frame) {
        result.Include(ceFrame);
    }
    if ((errors & ce::RxParity) && m_parity->Check()) {
        result.Include(ceRxParity);
    }
    if (errors & ce::Overrun) {
        result.Include(ceOverrun);
    }
    if (errors & ce::Break) {
        result.Include(ceBreak);
    }
    if (errors & ce::IoE) {
        result.Include(ceIO);
    }
    if (errors & ce::Mode) {
        result.Include(ceMode);
    }
    if (errors & ce::RxOver) {
        result.Include(ceRxOver);
    }
    if (errors & ce::TxFull) {
        result.Include(ceTxFull);
    }
    return result;
}

TLineSignals TCustomComPort::ReadLineSignals() {
    std::uint32_t status = 0;
    if (!m_api->modemStatus(m_deviceHandle, &status)) {
        throw EComPort(CError_ModemStatFailed, platform::lastError());
    }
    namespace ms = platform::ms;
    TLineSignals result;
    if (status & ms::CtsOn) {
        result.Include(CTS);
    }
    if (status & ms::DsrOn) {
        result.Include(DSR);
    }
    if (status & ms::RingOn) {
        result.Include(Ring);
    }
    if (status & ms::RlsdOn) {
        result.Include(RLSD);
    }
    return result;
}

std::int32_t TCustomComPort::StartReadBuffer(void* Buffer, std::int32_t Count,
                                             PComTransfer AsyncPtr) {
    if (!AsyncPtr) {
        throw EComPort(CError_InvalidAsync);
    }
    AsyncPtr->TransferKind = TOperationKind::okRead;
    // A negative count would reach the device as a huge length for a small buffer.
    if (Count < 0) {
        return 0;
    }
    std::uint32_t read = 0;
    AsyncPtr->Started = true;
    if (!m_api->startRead(m_deviceHandle, Buffer, static_cast<std::uint32_t>(Count), &read,
                          &AsyncPtr->Overlapped)) {
        const int error = platform::lastError();
        if (error != platform::kErrorIoPending) {
            throw EComPort(CError_ReadFailed, error);
        }
        return 0;
    }
    return static_cast<std::int32_t>(read);
}

std::int32_t TCustomComPort::StartReadText(std::string& Str, std::int32_t Count,
                                           PComTransfer AsyncPtr) {
    Str.resize(Count > 0 ? static_cast<std::size_t>(Count) : 0);
    if (Count <= 0) {
        return 0;
    }
    return StartReadBuffer(Str.data(), Count, AsyncPtr);
}

std::int32_t TCustomComPort::WaitForTransfer(PComTransfer AsyncPtr) {
    if (!AsyncPtr) {
        throw EComPort(CError_InvalidAsync);
    }
    // Nothing was started on it: nothing to wait for, whatever state the port is in.
    if (!AsyncPtr->Started) {
        return 0;
    }
    const int failCode =
        AsyncPtr->TransferKind == TOperationKind::okRead ? CError_ReadFailed : CError_WriteFailed;
    if (platform::waitForSignal(AsyncPtr->Overlapped.hEvent, platform::kInfinite) !=
        platform::kWaitObject0) {
        throw EComPort(failCode, platform::lastError());
    }
    std::uint32_t transferred = 0;
    if (!m_api->transferResult(m_deviceHandle, &AsyncPtr->Overlapped, &transferred, false)) {
        throw EComPort(failCode, platform::lastError());
    }
    if (AsyncPtr->TransferKind == TOperationKind::okRead) {
        // Only a link cares whether the read left the queue empty.
        if (!m_links.empty() && WaitingInputCount() == 0) {
            notifyLinks(&TComLink::ReceiveActivity, false);
        }
    } else if (AsyncPtr->SentCopy) {
        notifyLinks(&TComLink::DataSent, static_cast<const char*>(AsyncPtr->SentCopy),
                    AsyncPtr->SentCopySize);
    }
    return static_cast<std::int32_t>(transferred);
}

std::int32_t TCustomComPort::ReadBuffer(void* Buffer, std::int32_t Count) {
    PComTransfer transfer = CreateTransfer();
    try {
        StartReadBuffer(Buffer, Count, transfer);
        const std::int32_t count = WaitForTransfer(transfer);
        DisposeTransfer(transfer);
        return count;
    } catch (...) {
        DisposeTransfer(transfer);
        throw;
    }
}

std::int32_t TCustomComPort::ReadText(std::string& Str, std::int32_t Count) {
    PComTransfer transfer = CreateTransfer();
    try {
        StartReadText(Str, Count, transfer);
        const std::int32_t count = WaitForTransfer(transfer);
        Str.resize(static_cast<std::size_t>(count));
        DisposeTransfer(transfer);
        return count;
    } catch (...) {
        DisposeTransfer(transfer);
        throw;
    }
}

void TCustomComPort::AbortTransfers() {
    if (!m_api->purge(m_deviceHandle, platform::purge::TxAbort | platform::purge::RxAbort)) {
        throw EComPort(CError_PurgeFailed, platform::lastError());
    }
}
