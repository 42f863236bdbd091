#include "serial/ComLed.h"

#include <algorithm>

#include "platform/MainThread.h"

namespace {

// Resource names of the built-in pictures, [kind][state].
const char* const kPictures[6][2] = {
    {"LEDREDOFF", "LEDREDON"},       {"LEDGREENOFF", "LEDGREENON"},   {"LEDBLUEOFF", "LEDBLUEON"},
    {"LEDYELLOWOFF", "LEDYELLOWON"}, {"LEDPURPLEOFF", "LEDPURPLEON"}, {"LEDBULBOFF", "LEDBULBON"},
};

const char* const kKindNames[] = {"lkRedLight",    "lkGreenLight", "lkBlueLight", "lkYellowLight",
                                  "lkPurpleLight", "lkBulb",       "lkCustom"};
const char* const kSignalNames[] = {"lsConn", "lsCTS", "lsDSR", "lsRLSD", "lsRing", "lsRx", "lsTx"};

template <typename Enum, std::size_t N>
Enum fromName(const char* const (&names)[N], const std::string& name, const char* type) {
    for (std::size_t i = 0; i < N; ++i) {
        if (name == names[i]) {
            return static_cast<Enum>(i);
        }
    }
    throw Exception("Invalid " + std::string(type) + " value " + name);
}

}  // namespace

TLedKind LedKindFromName(const std::string& Name) {
    return fromName<TLedKind>(kKindNames, Name, "TLedKind");
}

TComLedSignal LedSignalFromName(const std::string& Name) {
    return fromName<TComLedSignal>(kSignalNames, Name, "TComLedSignal");
}

const char* BuiltInPictureName(TLedKind Kind, TLedState State) {
    return Kind == lkCustom ? nullptr : kPictures[Kind][State];
}

TCustomComLed::TCustomComLed() : m_portLink(std::make_unique<TComLink>()) {
    m_portLink->ConnectionChanged = [this](TObject* s, bool on) { LineChanged(s, on); };
}

TCustomComLed::~TCustomComLed() {
    // The face has gone already: leave the port without telling anyone.
    detachFromPort();
}

void TCustomComLed::detachFromPort() {
    if (m_comPort) {
        m_comPort->RemoveFreeNotification(this);
        m_comPort->DetachLink(m_portLink.get());
    }
}

void TCustomComLed::Unbind() {
    StopRingTimer();
    SetComPort(nullptr);
}

void TCustomComLed::SetComPort(TComPort* Value) {
    if (Value == m_comPort) {
        return;
    }
    detachFromPort();
    m_comPort = Value;
    if (m_comPort) {
        m_comPort->FreeNotification(this);
        m_comPort->AttachLink(m_portLink.get());
        if (!m_comPort->Connected() || m_loading) {
            return;
        }
        stateChange(signalValue() ? lsOn : lsOff);
    } else {
        stateChange(lsOff);
    }
}

bool TCustomComLed::signalValue() {
    switch (m_ledSignal) {
        case lsConn:
            return m_comPort->Connected();
        case lsCTS:
            return m_comPort->ReadLineSignals().Contains(CTS);
        case lsDSR:
            return m_comPort->ReadLineSignals().Contains(DSR);
        case lsRLSD:
            return m_comPort->ReadLineSignals().Contains(RLSD);
        default:
            return false;
    }
}

void TCustomComLed::SetLedSignal(TComLedSignal Value) {
    if (Value == m_ledSignal) {
        return;
    }
    m_ledSignal = Value;
    TComLink& link = *m_portLink;
    link.ConnectionChanged = nullptr;
    link.CtsChanged = nullptr;
    link.DsrChanged = nullptr;
    link.RlsdChanged = nullptr;
    link.RingDetected = nullptr;
    link.TransmitActivity = nullptr;
    link.ReceiveActivity = nullptr;
    auto line = [this](TObject* s, bool on) { LineChanged(s, on); };
    switch (Value) {
        case lsConn:
            link.ConnectionChanged = line;
            break;
        case lsCTS:
            link.CtsChanged = line;
            break;
        case lsDSR:
            link.DsrChanged = line;
            break;
        case lsRLSD:
            link.RlsdChanged = line;
            break;
        case lsRing:
            link.RingDetected = [this](TObject* s) { RingArrived(s); };
            break;
        case lsRx:
            link.ReceiveActivity = line;
            break;
        case lsTx:
            link.TransmitActivity = line;
            break;
    }
}

void TCustomComLed::SetKind(TLedKind Value) {
    if (Value == m_kind) {
        return;
    }
    m_kind = Value;
    loadKindPictures();
    Invalidate();
}

void TCustomComLed::loadKindPictures() {
    if (m_kind == lkCustom) {
        return;
    }
    m_glyphs[lsOn] = LoadResourcePicture(kPictures[m_kind][lsOn]);
    m_glyphs[lsOff] = LoadResourcePicture(kPictures[m_kind][lsOff]);
}

void TCustomComLed::SetGlyphOn(const TLedPicture& Value) {
    if (m_kind != lkCustom) {
        return;
    }
    m_glyphs[lsOn] = Value;
    Invalidate();
}

void TCustomComLed::SetGlyphOff(const TLedPicture& Value) {
    if (m_kind != lkCustom) {
        return;
    }
    m_glyphs[lsOff] = Value;
    Invalidate();
}

void TCustomComLed::SetState(TLedState Value) {
    if (m_comPort) {
        throw EComPort(CError_LedStateFailed);
    }
    stateChange(Value);
}

void TCustomComLed::SetRingDuration(int Value) {
    m_ringDuration = Value;
    // A running timer starts its count again with the new interval.
    if (RingTimerActive()) {
        if (Value > 0) {
            StartRingTimer(Value);
        } else {
            StopRingTimer();
        }
    }
}

void TCustomComLed::stateChange(TLedState state) {
    m_state = state;
    if (!m_loading) {
        FireChange(state);
    }
    Invalidate();
}

void TCustomComLed::FireChange(TLedState AState) {
    if (OnChange) {
        OnChange(this, AState);
    }
}

bool TCustomComLed::carriedToMainThread(std::function<void(TCustomComLed&)> call) {
    platform::MainThreadQueue& queue = platform::mainThreadQueue();
    if (queue.isMainThread()) {
        return false;
    }
    // Under smNone the port notifies from its monitoring thread; controls live on the main
    // thread, so the change is carried there.
    std::weak_ptr<int> alive = m_alive;
    queue.post([this, alive, call = std::move(call)] {
        if (!alive.expired()) {
            call(*this);
        }
    });
    return true;
}

void TCustomComLed::LineChanged(TObject* Sender, bool OnOff) {
    if (carriedToMainThread(
            [Sender, OnOff](TCustomComLed& led) { led.LineChanged(Sender, OnOff); })) {
        return;
    }
    stateChange(OnOff ? lsOn : lsOff);
    ProcessMessages();
}

void TCustomComLed::RingArrived(TObject* Sender) {
    if (carriedToMainThread([Sender](TCustomComLed& led) { led.RingArrived(Sender); })) {
        return;
    }
    if (m_ringDuration > 0 && !RingTimerActive()) {
        StartRingTimer(m_ringDuration);
    }
    stateChange(lsOn);
}

void TCustomComLed::RingElapsed() {
    StopRingTimer();
    stateChange(lsOff);
}

void TCustomComLed::Notification(TComponent* AComponent, TOperation Operation) {
    if (Operation == TOperation::opRemove && AComponent == m_comPort) {
        SetComPort(nullptr);
    }
}

TCustomComLed::TPaintPlan TCustomComLed::PlanPaint(int Left, int Top, int Width, int Height,
                                                   bool Enabled) {
    if (m_glyphs[lsOn].Empty() || m_glyphs[lsOff].Empty()) {
        loadKindPictures();
    }
    const TLedPicture& picture = m_glyphs[Enabled && m_state == lsOn ? lsOn : lsOff];
    if (picture.Empty()) {
        return {};
    }
    return {&picture, Left + std::max(0, (Width - picture.Width) / 2),
            Top + std::max(0, (Height - picture.Height) / 2)};
}
