// One overlapped transfer in progress: the platform's record with its own completion
// signal, and what the port needs to finish it. Whoever creates it disposes of it.
#pragma once

#include <cstdint>

#include "platform/SerialApi.h"

enum class TOperationKind : std::uint8_t { okWrite, okRead };

struct TComTransfer {
    platform::Overlapped Overlapped;
    TOperationKind TransferKind = TOperationKind::okWrite;
    bool Started = false;  // a transfer was started on the record
    char* SentCopy = nullptr;
    std::int32_t SentCopySize = 0;
};
using PComTransfer = TComTransfer*;

// A new record whose completion signal is set, so waiting on it before anything was started
// returns at once with 0 bytes.
PComTransfer CreateTransfer();
// Releases the record, its signal and its data copy, and empties the caller's reference.
void DisposeTransfer(PComTransfer& AsyncPtr);
