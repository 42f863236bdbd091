// TComLed: a lamp that shows one state of a serial port (open, a modem line, a ring, receive
// or transmit activity). Bound to a port through ComPort, it follows the port through a
// TComLink; it draws one of two pictures, built-in or the window's own, transparently by
// each picture's bottom-left pixel.
#pragma once

#include <QPixmap>
#include <QTimer>
#include <QWidget>
#include <functional>
#include <memory>

#include "serial/CPort.h"

namespace CPortCtl {
Q_NAMESPACE
enum TLedKind : std::uint8_t {
    lkRedLight,
    lkGreenLight,
    lkBlueLight,
    lkYellowLight,
    lkPurpleLight,
    lkBulb,
    lkCustom
};
Q_ENUM_NS(TLedKind)
enum TComLedSignal : std::uint8_t { lsConn, lsCTS, lsDSR, lsRLSD, lsRing, lsRx, lsTx };
Q_ENUM_NS(TComLedSignal)
enum TLedState : std::uint8_t { lsOff, lsOn };
Q_ENUM_NS(TLedState)
}  // namespace CPortCtl

using CPortCtl::TComLedSignal;
using CPortCtl::TLedKind;
using CPortCtl::TLedState;
using enum CPortCtl::TLedKind;
using enum CPortCtl::TComLedSignal;
using enum CPortCtl::TLedState;

class TComLed;
using TLedStateEvent = std::function<void(TComLed* Sender, TLedState AState)>;

class TComLed : public QWidget, public TComponentObserver {
    Q_OBJECT
    Q_PROPERTY(CPortCtl::TComLedSignal LedSignal READ LedSignal WRITE SetLedSignal)
    Q_PROPERTY(CPortCtl::TLedKind Kind READ Kind WRITE SetKind)
    Q_PROPERTY(QPixmap GlyphOn READ GlyphOn WRITE SetGlyphOn)
    Q_PROPERTY(QPixmap GlyphOff READ GlyphOff WRITE SetGlyphOff)
    Q_PROPERTY(int RingDuration READ RingDuration WRITE SetRingDuration)

public:
    explicit TComLed(QWidget* parent = nullptr);
    ~TComLed() override;

    TComPort* ComPort() const { return m_comPort; }
    void SetComPort(TComPort* Value);
    TComLedSignal LedSignal() const { return m_ledSignal; }
    void SetLedSignal(TComLedSignal Value);
    TLedKind Kind() const { return m_kind; }
    void SetKind(TLedKind Value);
    QPixmap GlyphOn() const { return m_glyphs[lsOn]; }
    void SetGlyphOn(const QPixmap& Value);
    QPixmap GlyphOff() const { return m_glyphs[lsOff]; }
    void SetGlyphOff(const QPixmap& Value);
    TLedState State() const { return m_state; }
    // Refused with EComPort code 19 while a port is bound.
    void SetState(TLedState Value);
    int RingDuration() const { return m_ringTimer.interval(); }
    void SetRingDuration(int Value);

    // While loading, state changes raise no OnChange.
    void SetLoading(bool Loading) { m_loading = Loading; }

    TLedStateEvent OnChange;

    // The handlers the LED puts into its link's slots.
    void LineChanged(TObject* Sender, bool OnOff);
    void RingArrived(TObject* Sender);
    void RingElapsed();

    QSize sizeHint() const override { return QSize(25, 25); }

protected:
    virtual void FireChange(TLedState AState);
    void Notification(TComponent* AComponent, TOperation Operation) override;
    void paintEvent(QPaintEvent* event) override;
    void changeEvent(QEvent* event) override;

private:
    void stateChange(TLedState state);
    void setGlyph(TLedState which, const QPixmap& picture);
    void loadKindPictures();
    bool signalValue();

    TComPort* m_comPort = nullptr;
    TComLedSignal m_ledSignal = lsConn;
    TLedKind m_kind = lkRedLight;
    TLedState m_state = lsOff;
    bool m_loading = false;
    QPixmap m_glyphs[2];
    QPixmap m_masked[2];  // the pictures as drawn: transparent where the bottom-left colour is
    std::unique_ptr<TComLink> m_portLink;
    QTimer m_ringTimer;
};
