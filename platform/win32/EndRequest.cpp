#include "platform/EndRequest.h"

#include <windows.h>

#include "platform/MainThread.h"

namespace platform {

namespace {

std::function<void()>* g_onEnd = nullptr;

BOOL WINAPI onConsoleEvent(DWORD event) {
    if ((event == CTRL_C_EVENT || event == CTRL_BREAK_EVENT) && g_onEnd) {
        mainThreadQueue().post(*g_onEnd);
        return TRUE;
    }
    return FALSE;
}

}  // namespace

void watchEndRequests(std::function<void()> onEnd) {
    g_onEnd = new std::function<void()>(std::move(onEnd));  // for the rest of the process
    ::SetConsoleCtrlHandler(onConsoleEvent, TRUE);
}

}  // namespace platform
