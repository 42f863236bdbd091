// The platform error of the calling thread's last failed platform call, and the few
// error values the serial component must recognise.
#pragma once

namespace platform {

int lastError();
void setLastError(int error);

// A started operation goes on in the background.
extern const int kErrorIoPending;
// A handle that names nothing (closed port, never opened).
extern const int kErrorInvalidHandle;
// A pending transfer ended by an abort or a close.
extern const int kErrorOperationAborted;
// The result of an operation that has not finished was asked for without waiting.
extern const int kErrorIoIncomplete;
// The device is held by another open.
extern const int kErrorInUse;

}  // namespace platform
