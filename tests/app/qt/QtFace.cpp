// The Qt face for the shared window and lamp tests: widgets on the offscreen platform,
// keys and clicks through QTest, pixels through grab().
#include <QTest>
#include <QTextEdit>
#include <QToolButton>

#include "app/qt/AnaForm.h"
#include "serial/qt/CPortCtl.h"
#include "tests/app/Face.h"
#include "ui_AnaForm.h"

namespace face {

void ProcessEvents(int ms) {
    QCoreApplication::processEvents();
    if (ms > 0) {
        QTest::qWait(ms);
    }
}

struct Window::Impl {
    TAnaForm form;

    QWidget* widget(Control c) {
        QWidget* controls[] = {form.HostEkrani(), form.BilgiEkrani(), form.Controls().RzBitBtn1,
                               form.Controls().RzPageControl1};
        return controls[static_cast<int>(c)];
    }
};

Window::Window(int page) : m(std::make_unique<Impl>()) {
    m->form.SetStartUpOnShow(false);
    m->form.Controls().RzPageControl1->setCurrentIndex(page);
    m->form.show();
    QCoreApplication::processEvents();
}

Window::~Window() = default;

TCustomAnaForm& Window::Form() {
    return m->form;
}

std::vector<std::string> Window::Lines(Control screen) {
    auto* edit = screen == Control::HostEkrani ? m->form.HostEkrani() : m->form.BilgiEkrani();
    QStringList lines = edit->toPlainText().split(QLatin1Char('\n'));
    if (!lines.isEmpty() && lines.back().isEmpty()) {
        lines.pop_back();
    }
    std::vector<std::string> out;
    for (const QString& line : lines) {
        out.push_back(line.toStdString());
    }
    return out;
}

bool Window::Enabled(Control control) {
    return m->widget(control)->isEnabled();
}

void Window::Focus(Control control) {
    m->widget(control)->setFocus(Qt::MouseFocusReason);
    QCoreApplication::processEvents();
}

bool Window::HasFocus(Control control) {
    return m->widget(control)->hasFocus();
}

void Window::PressKey(std::uint16_t key, TShiftState shift) {
    Qt::KeyboardModifiers modifiers;
    if (shift.Contains(ssShift)) {
        modifiers |= Qt::ShiftModifier;
    }
    if (shift.Contains(ssCtrl)) {
        modifiers |= Qt::ControlModifier;
    }
    if (shift.Contains(ssAlt)) {
        modifiers |= Qt::AltModifier;
    }
    const Qt::Key qtKey = key >= 112 && key <= 135 ? static_cast<Qt::Key>(Qt::Key_F1 + (key - 112))
                                                   : static_cast<Qt::Key>(key);
    // Keys go to the control that really has the focus (a tab widget's tab bar).
    QWidget* target = m->form.focusWidget() ? m->form.focusWidget() : &m->form;
    QTest::keyClick(target, qtKey, modifiers);
}

void Window::Type(const std::string& letters) {
    QWidget* target = m->form.focusWidget() ? m->form.focusWidget() : &m->form;
    QTest::keyClicks(target, QString::fromStdString(letters));
}

void Window::Click(Control control) {
    QTest::mouseClick(m->widget(control), Qt::LeftButton);
}

bool Window::InfoPaintedAsButtonFace() {
    const QPalette palette = m->form.BilgiEkrani()->palette();
    return palette.color(QPalette::Disabled, QPalette::Base) ==
           palette.color(QPalette::Disabled, QPalette::Button);
}

void Window::ShowPage(int index) {
    m->form.Controls().RzPageControl1->setCurrentIndex(index);
    QCoreApplication::processEvents();
}

void Window::Resize(int width, int height) {
    const QSize frame = m->form.frameGeometry().size() - m->form.size();
    m->form.resize(width - frame.width(), height - frame.height());
    QCoreApplication::processEvents();
}

bool Window::InsertionPointInView(Control screen) {
    auto* edit = screen == Control::HostEkrani ? m->form.HostEkrani() : m->form.BilgiEkrani();
    return edit->viewport()->rect().contains(edit->cursorRect());
}

struct Lamp::Impl {
    QWidget parent;
    WatchedLed<TComLed> led{&parent};
};

Lamp::Lamp(std::uint32_t parentColour) : m(std::make_unique<Impl>()) {
    m->parent.resize(60, 60);
    m->parent.setAutoFillBackground(true);
    QPalette palette = m->parent.palette();
    palette.setColor(QPalette::Window, QColor::fromRgb(parentColour));
    m->parent.setPalette(palette);
    m->parent.show();
    QCoreApplication::processEvents();
}

Lamp::~Lamp() = default;

TCustomComLed& Lamp::Led() {
    return m->led;
}

std::vector<int> Lamp::RingTimerStarts() const {
    return m->led.starts;
}

void Lamp::SetBounds(int left, int top, int width, int height) {
    m->led.setGeometry(left, top, width, height);
}

int Lamp::Width() {
    return m->led.width();
}

int Lamp::Height() {
    return m->led.height();
}

void Lamp::SetEnabled(bool enabled) {
    m->led.setEnabled(enabled);
}

std::uint32_t Lamp::ParentPixel(int x, int y) {
    QCoreApplication::processEvents();
    return m->parent.grab().toImage().pixel(x, y) & 0xFFFFFFu;
}

TLedPicture Lamp::BuiltIn(const char* name) {
    return LedPictureFromImage(QImage(QStringLiteral(":/leds/%1.xpm").arg(QLatin1String(name))));
}

}  // namespace face
