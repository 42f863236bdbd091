// TComLed on Win32: the connection lamp as a graphic control, a place on its parent window
// with no window of its own. Its behaviour is TCustomComLed's; this face paints the chosen
// picture on the parent, runs the ring timer as a window timer and reads the built-in
// pictures from the program's bitmap resources.
#pragma once

#include <windows.h>

#include "serial/ComLed.h"

class TComLed : public TCustomComLed {
public:
    explicit TComLed(HWND parent);
    ~TComLed() override;

    HWND Parent() const { return m_parent; }
    RECT BoundsRect() const { return m_bounds; }
    void SetBounds(int left, int top, int width, int height);
    bool Enabled() const { return m_enabled; }
    // Repaints, as the framework's enabled-changed notification asks.
    void SetEnabled(bool enabled);

    // The parent calls it from its WM_PAINT.
    void Paint(HDC dc);

protected:
    void Invalidate() override;
    void ProcessMessages() override;
    void StartRingTimer(int IntervalMs) override;
    void StopRingTimer() override;
    bool RingTimerActive() const override { return m_timer != 0; }
    TLedPicture LoadResourcePicture(const char* Name) override;

private:
    static void CALLBACK ringTimerProc(HWND, UINT, UINT_PTR id, DWORD);

    HWND m_parent;
    RECT m_bounds{0, 0, kDefaultSize, kDefaultSize};
    bool m_enabled = true;
    UINT_PTR m_timer = 0;
};
