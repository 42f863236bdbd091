// TCustomComLed: what a connection lamp does, whatever draws it. It shows one state of a
// serial port (open, a modem line, a ring, receive or transmit activity), follows the port
// through a TComLink, and chooses which of its two pictures is drawn where. A face (a
// toolkit's control) supplies repainting, the ring timer, the built-in pictures and the
// drawing of the picture this class picks.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "serial/CPort.h"

enum TLedKind : std::uint8_t {
    lkRedLight,
    lkGreenLight,
    lkBlueLight,
    lkYellowLight,
    lkPurpleLight,
    lkBulb,
    lkCustom
};
enum TComLedSignal : std::uint8_t { lsConn, lsCTS, lsDSR, lsRLSD, lsRing, lsRx, lsTx };
enum TLedState : std::uint8_t { lsOff, lsOn };

// The stored description's names of the values ("lkCustom", "lsConn"); Exception on others.
TLedKind LedKindFromName(const std::string& Name);
TComLedSignal LedSignalFromName(const std::string& Name);
// The built-in picture's resource name ("LEDREDON"); null for lkCustom.
const char* BuiltInPictureName(TLedKind Kind, TLedState State);

// A lamp picture: rows from the top, each pixel 0xRRGGBB. The colour of the bottom-left
// pixel is drawn transparent.
struct TLedPicture {
    int Width = 0;
    int Height = 0;
    std::vector<std::uint32_t> Pixels;

    bool Empty() const { return Width <= 0 || Height <= 0; }
    std::uint32_t Pixel(int X, int Y) const {
        return Pixels[static_cast<std::size_t>(Y) * static_cast<std::size_t>(Width) +
                      static_cast<std::size_t>(X)];
    }
    std::uint32_t TransparentColor() const { return Empty() ? 0 : Pixel(0, Height - 1); }
    bool operator==(const TLedPicture&) const = default;
};

class TCustomComLed;
using TLedStateEvent = std::function<void(TCustomComLed* Sender, TLedState AState)>;

class TCustomComLed : public TObject, public TComponentObserver {
public:
    TCustomComLed();
    ~TCustomComLed() override;
    TCustomComLed(const TCustomComLed&) = delete;
    TCustomComLed& operator=(const TCustomComLed&) = delete;

    TComPort* ComPort() const { return m_comPort; }
    void SetComPort(TComPort* Value);
    TComLedSignal LedSignal() const { return m_ledSignal; }
    void SetLedSignal(TComLedSignal Value);
    TLedKind Kind() const { return m_kind; }
    void SetKind(TLedKind Value);
    const TLedPicture& GlyphOn() const { return m_glyphs[lsOn]; }
    void SetGlyphOn(const TLedPicture& Value);
    const TLedPicture& GlyphOff() const { return m_glyphs[lsOff]; }
    void SetGlyphOff(const TLedPicture& Value);
    TLedState State() const { return m_state; }
    // Refused with EComPort code 19 while a port is bound.
    void SetState(TLedState Value);
    int RingDuration() const { return m_ringDuration; }
    void SetRingDuration(int Value);

    // While loading, state changes raise no OnChange and binding takes no state.
    void SetLoading(bool Loading) { m_loading = Loading; }
    bool Loading() const { return m_loading; }

    TLedStateEvent OnChange;

    // The handlers the LED puts into its link's slots, and the ring timer's.
    void LineChanged(TObject* Sender, bool OnOff);
    void RingArrived(TObject* Sender);
    void RingElapsed();

    // What to draw in a client area: the picture for the shown state (the off one while
    // disabled) and its top-left corner, centred, or at the corner when it is larger. Loads
    // the kind's pictures first when either is empty. Null picture: nothing to draw.
    struct TPaintPlan {
        const TLedPicture* Picture = nullptr;
        int X = 0;
        int Y = 0;
    };
    TPaintPlan PlanPaint(int Left, int Top, int Width, int Height, bool Enabled);

    static constexpr int kDefaultSize = 25;

protected:
    virtual void FireChange(TLedState AState);
    void Notification(TComponent* AComponent, TOperation Operation) override;
    // A face's destructor calls it while the face can still repaint: unbinds from the port
    // (raising OnChange with lsOff) and stops the ring timer.
    void Unbind();

    // --- the face ---
    virtual void Invalidate() = 0;
    // Lets the application process its pending messages (paints among them).
    virtual void ProcessMessages() = 0;
    // The ring timer: (re)started with an interval in ms, stopped, asked.
    virtual void StartRingTimer(int IntervalMs) = 0;
    virtual void StopRingTimer() = 0;
    virtual bool RingTimerActive() const = 0;
    // A built-in picture by its resource name; Exception "Resource NAME not found".
    virtual TLedPicture LoadResourcePicture(const char* Name) = 0;

private:
    void detachFromPort();
    void stateChange(TLedState state);
    void loadKindPictures();
    bool signalValue();
    // True when the call came on another thread and was carried to the main thread.
    bool carriedToMainThread(std::function<void(TCustomComLed&)> call);

    TComPort* m_comPort = nullptr;
    TComLedSignal m_ledSignal = lsConn;
    TLedKind m_kind = lkRedLight;
    TLedState m_state = lsOff;
    bool m_loading = false;
    int m_ringDuration = 1000;
    TLedPicture m_glyphs[2];
    std::unique_ptr<TComLink> m_portLink;
    // Lets calls carried to the main thread find out whether the LED still exists.
    std::shared_ptr<int> m_alive = std::make_shared<int>(0);
};
