#include "serial/ComTransfer.h"

#include <new>

#include "platform/Signal.h"

PComTransfer CreateTransfer() {
    auto* transfer = new TComTransfer();
    transfer->Overlapped.hEvent = platform::createSignal(true);
    if (transfer->Overlapped.hEvent == platform::kNoSignal) {
        delete transfer;
        throw std::bad_alloc();
    }
    return transfer;
}

void DisposeTransfer(PComTransfer& AsyncPtr) {
    if (!AsyncPtr) {
        return;
    }
    platform::releaseSignal(AsyncPtr->Overlapped.hEvent);
    delete[] AsyncPtr->SentCopy;
    delete AsyncPtr;
    AsyncPtr = nullptr;
}
