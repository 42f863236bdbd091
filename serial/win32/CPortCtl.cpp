#include "serial/win32/CPortCtl.h"

#include <map>

#include "serial/Component.h"
#include "serial/win32/DibPicture.h"
#include "serial/win32/MessagePump.h"

namespace {

// A thread timer's callback gets only its id: the lamp it belongs to is looked up.
std::map<UINT_PTR, TComLed*>& timers() {
    static std::map<UINT_PTR, TComLed*> map;
    return map;
}

}  // namespace

TComLed::TComLed(HWND parent) : m_parent(parent) {}

TComLed::~TComLed() {
    Unbind();
}

void TComLed::SetBounds(int left, int top, int width, int height) {
    Invalidate();
    m_bounds = RECT{left, top, left + width, top + height};
    Invalidate();
}

void TComLed::SetEnabled(bool enabled) {
    m_enabled = enabled;
    Invalidate();
}

void TComLed::Invalidate() {
    if (m_parent) {
        ::InvalidateRect(m_parent, &m_bounds, FALSE);
    }
}

void TComLed::ProcessMessages() {
    win32::ProcessMessages();
}

void TComLed::StartRingTimer(int IntervalMs) {
    StopRingTimer();
    m_timer = ::SetTimer(nullptr, 0, static_cast<UINT>(IntervalMs), &TComLed::ringTimerProc);
    if (m_timer) {
        timers()[m_timer] = this;
    }
}

void TComLed::StopRingTimer() {
    if (m_timer) {
        ::KillTimer(nullptr, m_timer);
        timers().erase(m_timer);
        m_timer = 0;
    }
}

void CALLBACK TComLed::ringTimerProc(HWND, UINT, UINT_PTR id, DWORD) {
    const auto it = timers().find(id);
    if (it == timers().end()) {
        return;
    }
    try {
        it->second->RingElapsed();
    } catch (...) {
        ApplicationHandleException(std::current_exception());
    }
}

TLedPicture TComLed::LoadResourcePicture(const char* Name) {
    return win32::PictureFromResource(Name);
}

void TComLed::Paint(HDC dc) {
    const TPaintPlan plan = PlanPaint(m_bounds.left, m_bounds.top, m_bounds.right - m_bounds.left,
                                      m_bounds.bottom - m_bounds.top, m_enabled);
    if (!plan.Picture) {
        return;
    }
    // Nothing is drawn outside the control's place on the parent.
    const int saved = ::SaveDC(dc);
    ::IntersectClipRect(dc, m_bounds.left, m_bounds.top, m_bounds.right, m_bounds.bottom);
    win32::DrawTransparent(dc, plan.X, plan.Y, *plan.Picture);
    ::RestoreDC(dc, saved);
}
