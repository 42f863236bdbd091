#include "app/qt/AnaForm.h"

#include <xcb/xcb.h>

#include <QAbstractNativeEventFilter>
#include <QAbstractTextDocumentLayout>
#include <QApplication>
#include <QImageReader>
#include <QKeyEvent>
#include <QLabel>
#include <QMessageBox>
#include <QResizeEvent>
#include <QScreen>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>
#include <QTextLayout>
#include <cstdint>
#include <cstdlib>
#include <functional>

#include "app/qt/QtKeys.h"
#include "platform/TextEncoding.h"
#include "serial/qt/CPortCtl.h"
#include "ui_AnaForm.h"

namespace {

QString screenText(const std::string& text) {
    return QString::fromStdString(platform::codePage1254ToUtf8(text));
}

// Adds `text` as a new last line, leaving the insertion point on the empty line below it,
// in view.
void appendLine(QTextEdit* screen, const QString& text) {
    QTextCursor cursor(screen->document());
    cursor.movePosition(QTextCursor::End);
    cursor.insertText(text);
    cursor.insertBlock();
    screen->setTextCursor(cursor);
    screen->ensureCursorVisible();
}

// A hidden widget keeps the resize events of a new size until it is shown: delivers them
// now, parents first, so that its layouts (and a text control's wrapping) follow its size.
void deliverPendingResizes(QWidget* root) {
    QList<QWidget*> widgets = root->findChildren<QWidget*>();
    widgets.prepend(root);
    for (QWidget* w : widgets) {
        if (w->testAttribute(Qt::WA_PendingResizeEvent)) {
            w->setAttribute(Qt::WA_PendingResizeEvent, false);
            QResizeEvent event(w->size(), QSize());
            QCoreApplication::sendEvent(w, &event);
        }
    }
}

// A control's key-down handler: sees each key press the control gets, consumes none.
class KeyDownFilter : public QObject {
public:
    using Handler = std::function<void(std::uint16_t&, TShiftState)>;
    KeyDownFilter(QObject* control, Handler handler)
        : QObject(control), m_handler(std::move(handler)) {}

protected:
    bool eventFilter(QObject* /*watched*/, QEvent* event) override {
        if (event->type() == QEvent::KeyPress) {
            auto* key = static_cast<QKeyEvent*>(event);
            std::uint16_t code = VirtualKeyOf(*key);
            m_handler(code, ShiftStateOf(*key));
        }
        return false;
    }

private:
    Handler m_handler;
};

// The page's background at the size it is shown: made for that size when it is painted at a
// size it was not made for (not at each of the resizes a showing goes through), never held
// at the picture's own 1600 x 1200. A page no larger than at the window's stored size comes
// from the copy drawn at that size; a larger one is decoded from the picture itself.
class BackgroundFitter : public QObject {
public:
    explicit BackgroundFitter(QLabel* picture) : QObject(picture), m_picture(picture) {
        picture->installEventFilter(this);
    }

protected:
    bool eventFilter(QObject*, QEvent* event) override {
        if (event->type() == QEvent::Paint) {
            fit();
        }
        return false;
    }

private:
    void fit() {
        const QSize size = m_picture->size();
        if (size.isEmpty() || m_picture->pixmap().size() == size) {
            return;
        }
        QImageReader shown(QStringLiteral(":/pictures/background_shown.png"));
        const QSize drawn = shown.size();  // from the header alone
        QImage image;
        if (drawn.isValid() && size.width() <= drawn.width() && size.height() <= drawn.height()) {
            image = shown.read();
            if (image.size() != size) {
                image = image.scaled(size, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
            }
        } else {
            QImageReader full(QStringLiteral(":/pictures/background.jpg"));
            full.setScaledSize(size);
            image = full.read();
        }
        m_picture->setPixmap(QPixmap::fromImage(image));
    }

    QLabel* m_picture;
};

}  // namespace

// An X window manager tells the frame it put around the window in a property of the window,
// _NET_FRAME_EXTENTS. Qt reads it only when the manager listed it among what it supports at
// the moment the program connected: a program started with the desktop (autostart at a
// log-in) can connect before the manager has listed anything, and Qt then takes the frame
// for none, for good. The property is read here whenever it changes.
class TAnaForm::FrameWatch : public QAbstractNativeEventFilter {
public:
    FrameWatch(QWidget* window, std::function<void(QMargins)> changed)
        : m_window(window), m_changed(std::move(changed)) {
        auto* x11 = qApp->nativeInterface<QNativeInterface::QX11Application>();
        m_connection = x11 ? x11->connection() : nullptr;
        if (!m_connection) {
            return;  // not on X: the platform's own frame geometry holds
        }
        static const char kName[] = "_NET_FRAME_EXTENTS";
        xcb_intern_atom_reply_t* atom = xcb_intern_atom_reply(
            m_connection, xcb_intern_atom(m_connection, 0, sizeof kName - 1, kName), nullptr);
        if (atom) {
            m_extents = atom->atom;
            std::free(atom);
            qApp->installNativeEventFilter(this);
        }
    }
    ~FrameWatch() override { qApp->removeNativeEventFilter(this); }
    FrameWatch(const FrameWatch&) = delete;
    FrameWatch& operator=(const FrameWatch&) = delete;

    bool nativeEventFilter(const QByteArray& type, void* message, qintptr*) override {
        if (type != "xcb_generic_event_t") {
            return false;
        }
        const auto* event = static_cast<const xcb_generic_event_t*>(message);
        if ((event->response_type & 0x7F) != XCB_PROPERTY_NOTIFY) {
            return false;
        }
        const auto* change = static_cast<const xcb_property_notify_event_t*>(message);
        if (change->atom == m_extents && change->window == m_window->internalWinId()) {
            // After Qt's own handling of the event, which may move or size the window too.
            QMetaObject::invokeMethod(
                m_window, [this, window = change->window] { m_changed(read(window)); },
                Qt::QueuedConnection);
        }
        return false;
    }

private:
    // Left, right, top, bottom, as the manager puts them; none when the window has no frame.
    QMargins read(xcb_window_t window) const {
        QMargins frame;
        xcb_get_property_reply_t* reply = xcb_get_property_reply(
            m_connection,
            xcb_get_property(m_connection, 0, window, m_extents, XCB_ATOM_CARDINAL, 0, 4), nullptr);
        if (reply && reply->format == 32 && xcb_get_property_value_length(reply) == 16) {
            const auto* v = static_cast<const std::uint32_t*>(xcb_get_property_value(reply));
            frame = QMargins(static_cast<int>(v[0]), static_cast<int>(v[2]), static_cast<int>(v[1]),
                             static_cast<int>(v[3]));
        }
        std::free(reply);
        return frame;
    }

    QWidget* m_window;
    std::function<void(QMargins)> m_changed;
    xcb_connection_t* m_connection = nullptr;
    xcb_atom_t m_extents = XCB_ATOM_NONE;
};

TAnaForm::TAnaForm(QWidget* parent) : QWidget(parent), m_ui(std::make_unique<Ui::TAnaForm>()) {
    m_ui->setupUi(this);
    new BackgroundFitter(m_ui->Image1);
    applyStoredFonts();
    loadLamps();
    FinishLoading();

    // The upper pane keeps its height when the window is resized; the lower takes the rest.
    m_ui->rzspltr1->setStretchFactor(0, 0);
    m_ui->rzspltr1->setStretchFactor(1, 1);
    m_ui->rzspltr1->setSizes({255, 84});
    qApp->installEventFilter(this);
    m_ui->HostEkrani->installEventFilter(new KeyDownFilter(
        m_ui->HostEkrani,
        [this](std::uint16_t& key, TShiftState shift) { HostEkraniKeyDown(this, key, shift); }));
    connect(m_ui->RzBitBtn1, &QToolButton::clicked, this, [this] { RzBitBtn1Click(this); });
    m_frameWatch = std::make_unique<FrameWatch>(this, [this](QMargins frame) {
        m_managerFrame = frame;
        fitOuterSize();
    });
    m_reopenTimer = new QTimer(this);
    connect(m_reopenTimer, &QTimer::timeout, this, [this] { ReopenTimerTick(); });
}

TAnaForm::~TAnaForm() {
    qApp->removeEventFilter(this);
    ReleasePort();
}

QTextEdit* TAnaForm::HostEkrani() const {
    return m_ui->HostEkrani;
}
QTextEdit* TAnaForm::BilgiEkrani() const {
    return m_ui->BilgiEkrani;
}

void TAnaForm::setVisible(bool visible) {
    // The first showing runs the start-up work before the window reaches the screen, so a
    // refused copy never draws its window.
    if (visible && !BeforeShow()) {
        return;
    }
    QWidget::setVisible(visible);
}

void TAnaForm::applyStoredFonts() {
    // The layout keeps character heights in pixels, which a .ui font cannot hold.
    QList<QWidget*> widgets = findChildren<QWidget*>();
    widgets.prepend(this);
    for (QWidget* w : widgets) {
        const QVariant pixels = w->property("fontPixelSize");
        if (pixels.isValid()) {
            QFont font = w->font();
            font.setPixelSize(pixels.toInt());
            w->setFont(font);
        }
    }
}

void TAnaForm::loadLamps() {
    // The lamps' stored properties, applied in the stored order while they load: the kind
    // first, so that their own pictures are kept.
    for (QWidget* child : findChildren<QWidget*>()) {
        auto* led = dynamic_cast<TComLed*>(child);
        if (!led) {
            continue;
        }
        led->SetLoading(true);
        led->SetKind(LedKindFromName(led->property("Kind").toString().toStdString()));
        led->SetLedSignal(LedSignalFromName(led->property("LedSignal").toString().toStdString()));
        led->SetGlyphOn(LedPictureFromImage(led->property("GlyphOn").value<QPixmap>().toImage()));
        led->SetGlyphOff(LedPictureFromImage(led->property("GlyphOff").value<QPixmap>().toImage()));
        if (led->property("ComPort").toString() == QLatin1String("ComPort")) {
            led->SetComPort(ComPort());
        }
        led->SetLoading(false);
    }
}

void TAnaForm::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    if (m_shown) {
        return;
    }
    m_shown = true;
    fitOuterSize();
}

bool TAnaForm::event(QEvent* event) {
    const bool handled = QWidget::event(event);
    // The frame a window manager adds becomes known some time after the first showing,
    // without an event of its own: looked at as the window is moved, sized or painted.
    switch (event->type()) {
        case QEvent::Move:
        case QEvent::Resize:
        case QEvent::UpdateRequest:
        case QEvent::Paint:
        case QEvent::WindowActivate:
            fitOuterSize();
            break;
        default:
            break;
    }
    return handled;
}

void TAnaForm::fitOuterSize() {
    // The stored size is the outer size, centred on the screen: fitted again whenever the
    // frame becomes known or changes, never for a size the user gave it.
    if (!m_shown) {
        return;
    }
    const QSize frame = m_managerFrame ? QSize(m_managerFrame->left() + m_managerFrame->right(),
                                               m_managerFrame->top() + m_managerFrame->bottom())
                                       : frameGeometry().size() - size();
    if (m_fittedFrame == frame) {
        return;
    }
    m_fittedFrame = frame;
    const QSize inner = QSize(kOuterWidth, kOuterHeight) - frame;
    const QScreen* s = screen();
    if (!s) {
        resize(inner);
        return;
    }
    const QPoint outerTopLeft =
        s->availableGeometry().center() - QPoint(kOuterWidth / 2, kOuterHeight / 2);
    if (m_managerFrame) {
        // Placed by the client area, which does not depend on the frame Qt assumes.
        setGeometry(
            QRect(outerTopLeft + QPoint(m_managerFrame->left(), m_managerFrame->top()), inner));
    } else {
        resize(inner);
        move(outerTopLeft);
    }
}

void TAnaForm::HostAppendLine(const std::string& Text) {
    appendLine(m_ui->HostEkrani, screenText(Text));
}

int TAnaForm::HostShownLineCount() {
    // The lines as the control will show them: a page never shown, or hidden while the
    // window was resized, is first given the size it shows at.
    // Only when its size is not yet the one it shows at: not at every append.
    QWidget* page = m_ui->TabSheet2;
    QWidget* current = m_ui->RzPageControl1->currentWidget();
    if (current != page && (page->geometry() != current->geometry() ||
                            page->testAttribute(Qt::WA_PendingResizeEvent))) {
        page->setGeometry(current->geometry());
        page->layout()->activate();
        deliverPendingResizes(page);
    }
    QTextDocument* document = m_ui->HostEkrani->document();
    QAbstractTextDocumentLayout* layout = document->documentLayout();
    int lines = 0;
    for (QTextBlock block = document->begin(); block.isValid(); block = block.next()) {
        if (block == document->lastBlock()) {
            break;  // the empty line holding the insertion point
        }
        layout->blockBoundingRect(block);  // lays the block out at the screen's width
        lines += std::max(1, block.layout()->lineCount());
    }
    return lines;
}

void TAnaForm::HostClear() {
    m_ui->HostEkrani->clear();
}

void TAnaForm::InfoAppendLine(const std::string& Text) {
    appendLine(m_ui->BilgiEkrani, screenText(Text));
}

int TAnaForm::InfoLineCount() {
    return m_ui->BilgiEkrani->document()->blockCount() - 1;
}

void TAnaForm::InfoRemoveFirstLines(int Count) {
    QTextCursor cursor(m_ui->BilgiEkrani->document());
    cursor.movePosition(QTextCursor::Start);
    cursor.movePosition(QTextCursor::NextBlock, QTextCursor::KeepAnchor, Count);
    cursor.removeSelectedText();
}

void TAnaForm::InfoClear() {
    m_ui->BilgiEkrani->clear();
}

bool TAnaForm::InfoEnabled() {
    return m_ui->BilgiEkrani->isEnabled();
}

void TAnaForm::SetInfoEnabled(bool Enabled) {
    m_ui->BilgiEkrani->setEnabled(Enabled);
}

void TAnaForm::ShowFirstPage() {
    m_ui->RzPageControl1->setCurrentWidget(m_ui->TabSheet1);
}

void TAnaForm::SetPortLabel(const std::string& Text) {
    m_ui->lbl1->setText(screenText(Text));
}

void TAnaForm::StartReopenTimer(int IntervalMs) {
    m_reopenTimer->start(IntervalMs);
}

void TAnaForm::StopReopenTimer() {
    m_reopenTimer->stop();
}

std::string TAnaForm::ApplicationTitle() {
    return QCoreApplication::applicationName().toStdString();
}

void TAnaForm::ShowRefusal(const std::string& Text, const std::string& Caption) {
    QMessageBox box(QMessageBox::NoIcon, screenText(Caption), screenText(Text), QMessageBox::Ok);
    box.setWindowModality(Qt::ApplicationModal);
    box.exec();
}

bool TAnaForm::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() != QEvent::KeyPress) {
        return QWidget::eventFilter(watched, event);
    }
    auto* key = static_cast<QKeyEvent*>(event);
    // Key preview: the window sees each key once, at its first delivery (to the focused
    // control, or to the window itself), before that control does; it consumes nothing.
    auto* target = qobject_cast<QWidget*>(watched);
    QWidget* focus = focusWidget();
    const bool firstDelivery = target && (target == focus || (!focus && target == this));
    if (firstDelivery && (target == this || isAncestorOf(target))) {
        std::uint16_t code = VirtualKeyOf(*key);
        FormKeyDown(this, code, ShiftStateOf(*key));
    }
    return false;
}
