// The Win32 face's message pump: one way to take messages from the thread's queue and
// dispatch them, through the application's filter (its key preview), used by the message
// loop and wherever pending messages are to be processed at once.
#pragma once

#include <windows.h>

#include <functional>

namespace win32 {

// Sees each message before it is dispatched; returns true to keep it from dispatch.
using MessageFilter = std::function<bool(MSG&)>;
void SetMessageFilter(MessageFilter filter);

// Translates and dispatches one message through the filter.
void DispatchOne(MSG& msg);
// Dispatches every pending message; false once WM_QUIT was seen (it is posted again).
bool ProcessMessages();

}  // namespace win32
