#include "serial/CPortCtl.h"

#include <QBitmap>
#include <QCoreApplication>
#include <QEvent>
#include <QPainter>
#include <QPointer>
#include <QThread>

#include "platform/MainThread.h"

namespace {

// Resource names of the built-in pictures, [kind][state].
const char* const kPictures[6][2] = {
    {"LEDREDOFF", "LEDREDON"},       {"LEDGREENOFF", "LEDGREENON"},   {"LEDBLUEOFF", "LEDBLUEON"},
    {"LEDYELLOWOFF", "LEDYELLOWON"}, {"LEDPURPLEOFF", "LEDPURPLEON"}, {"LEDBULBOFF", "LEDBULBON"},
};

QPixmap loadPicture(const char* name) {
    QPixmap picture(QStringLiteral(":/leds/%1.xpm").arg(QLatin1String(name)));
    if (picture.isNull()) {
        throw Exception(std::string("Resource ") + name + " not found");
    }
    return picture;
}

}  // namespace

TComLed::TComLed(QWidget* parent) : QWidget(parent), m_portLink(std::make_unique<TComLink>()) {
    resize(25, 25);
    m_portLink->ConnectionChanged = [this](TObject* s, bool on) { LineChanged(s, on); };
    m_ringTimer.setInterval(1000);
    m_ringTimer.setSingleShot(false);
    connect(&m_ringTimer, &QTimer::timeout, this, [this] { RingElapsed(); });
}

TComLed::~TComLed() {
    m_ringTimer.stop();
    SetComPort(nullptr);
}

void TComLed::SetComPort(TComPort* Value) {
    if (Value == m_comPort) {
        return;
    }
    if (m_comPort) {
        m_comPort->RemoveFreeNotification(this);
        m_comPort->DetachLink(m_portLink.get());
    }
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

bool TComLed::signalValue() {
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

void TComLed::SetLedSignal(TComLedSignal Value) {
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

void TComLed::SetKind(TLedKind Value) {
    if (Value == m_kind) {
        return;
    }
    m_kind = Value;
    loadKindPictures();
    update();
}

void TComLed::loadKindPictures() {
    if (m_kind == lkCustom) {
        return;
    }
    setGlyph(lsOn, loadPicture(kPictures[m_kind][lsOn]));
    setGlyph(lsOff, loadPicture(kPictures[m_kind][lsOff]));
}

void TComLed::setGlyph(TLedState which, const QPixmap& picture) {
    m_glyphs[which] = picture;
    QPixmap masked = picture;
    if (!picture.isNull()) {
        const QImage image = picture.toImage();
        const QColor transparent = image.pixelColor(0, image.height() - 1);
        masked.setMask(picture.createMaskFromColor(transparent, Qt::MaskInColor));
    }
    m_masked[which] = masked;
}

void TComLed::SetGlyphOn(const QPixmap& Value) {
    if (m_kind != lkCustom) {
        return;
    }
    setGlyph(lsOn, Value);
    update();
}

void TComLed::SetGlyphOff(const QPixmap& Value) {
    if (m_kind != lkCustom) {
        return;
    }
    setGlyph(lsOff, Value);
    update();
}

void TComLed::SetState(TLedState Value) {
    if (m_comPort) {
        throw EComPort(CError_LedStateFailed);
    }
    stateChange(Value);
}

void TComLed::SetRingDuration(int Value) {
    // A running timer starts its count again with the new interval.
    m_ringTimer.setInterval(Value);
    if (Value <= 0) {
        m_ringTimer.stop();
    }
}

void TComLed::stateChange(TLedState state) {
    m_state = state;
    if (!m_loading) {
        FireChange(state);
    }
    update();
}

void TComLed::FireChange(TLedState AState) {
    if (OnChange) {
        OnChange(this, AState);
    }
}

void TComLed::LineChanged(TObject* Sender, bool OnOff) {
    if (QThread::currentThread() != thread()) {
        // Under smNone the port notifies from its monitoring thread; a widget lives on
        // the main thread, so the change is carried there.
        QPointer<TComLed> self(this);
        platform::mainThreadQueue().post([self, Sender, OnOff] {
            if (self) {
                self->LineChanged(Sender, OnOff);
            }
        });
        return;
    }
    stateChange(OnOff ? lsOn : lsOff);
    QCoreApplication::processEvents();
}

void TComLed::RingArrived(TObject* Sender) {
    if (QThread::currentThread() != thread()) {
        QPointer<TComLed> self(this);
        platform::mainThreadQueue().post([self, Sender] {
            if (self) {
                self->RingArrived(Sender);
            }
        });
        return;
    }
    if (m_ringTimer.interval() > 0 && !m_ringTimer.isActive()) {
        m_ringTimer.start();
    }
    stateChange(lsOn);
}

void TComLed::RingElapsed() {
    m_ringTimer.stop();
    stateChange(lsOff);
}

void TComLed::Notification(TComponent* AComponent, TOperation Operation) {
    if (Operation == TOperation::opRemove && AComponent == m_comPort) {
        SetComPort(nullptr);
    }
}

void TComLed::changeEvent(QEvent* event) {
    if (event->type() == QEvent::EnabledChange) {
        update();
    }
    QWidget::changeEvent(event);
}

void TComLed::paintEvent(QPaintEvent*) {
    if (m_glyphs[lsOn].isNull() || m_glyphs[lsOff].isNull()) {
        loadKindPictures();
    }
    const TLedState shown = isEnabled() && m_state == lsOn ? lsOn : lsOff;
    const QPixmap& picture = m_masked[shown];
    if (picture.isNull()) {
        return;
    }
    const QRect area = contentsRect();
    const int x = area.left() + std::max(0, (area.width() - picture.width()) / 2);
    const int y = area.top() + std::max(0, (area.height() - picture.height()) / 2);
    QPainter painter(this);
    painter.drawPixmap(x, y, picture);
}
