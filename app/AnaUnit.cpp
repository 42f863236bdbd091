#include "app/AnaUnit.h"

#include <QAbstractTextDocumentLayout>
#include <QApplication>
#include <QFile>
#include <QKeyEvent>
#include <QMessageBox>
#include <QScreen>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>
#include <QTextLayout>

#include "platform/InstanceGuard.h"
#include "platform/TextEncoding.h"
#include "serial/CPortCtl.h"
#include "serial/ComPortStream.h"
#include "ui_AnaForm.h"

namespace {

constexpr const char* kControlNames[32] = {
    "<NUL>", "<SOH>", "<STX>", "<ETX>", "<EOT>", "<ENQ>", "<ACK>", "<BEL>",
    "<BS>",  "<TAB>", "<LF>",  "<VT>",  "<NP>",  "<CR>",  "<SO>",  "<SI>",
    "<DLE>", "<DC1>", "<DC2>", "<DC3>", "<DC4>", "<NAK>", "<SYN>", "<ETB>",
    "<CAN>", "<EM>",  "<EOF>", "<ESC>", "<FS>",  "<GS>",  "<RS>",  "<US>",
};

QString screenText(const std::string& text) {
    return QString::fromStdString(platform::codePage1254ToUtf8(text));
}

// Adds `text` as a new last line, leaving the insertion point on the empty line below.
void appendLine(QTextEdit* screen, const QString& text) {
    QTextCursor cursor(screen->document());
    cursor.movePosition(QTextCursor::End);
    cursor.insertText(text);
    cursor.insertBlock();
}

// A control's key-down handler: sees each key press the control gets, consumes none.
class KeyDownFilter : public QObject {
public:
    using Handler = std::function<void(QObject*, std::uint16_t&, TShiftState)>;
    KeyDownFilter(QObject* control, Handler handler)
        : QObject(control), m_handler(std::move(handler)) {}

protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() == QEvent::KeyPress) {
            auto* key = static_cast<QKeyEvent*>(event);
            std::uint16_t code = VirtualKeyOf(*key);
            m_handler(watched, code, ShiftStateOf(*key));
        }
        return false;
    }

private:
    Handler m_handler;
};

QByteArray resourceText(const QString& path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        throw Exception("Resource " + path.toStdString() + " not found");
    }
    return file.readAll();
}

}  // namespace

const char* const kDefaultUploaderPath =
    "/opt/brelvo/hemogram/Brelvo.Kanto.Client/Brelvo.Kanto.Client";
const char* const kWebBaseAddress = "https://isg.brelvo.com.tr/";
const char* const kApplicationTitle = "DORVIK SELTO";

std::string RenderForBilgiEkrani(const std::string& Text) {
    std::string out;
    out.reserve(Text.size() + Text.size() / 2);
    for (unsigned char c : Text) {
        if (c < 32) {
            out += kControlNames[c];
        } else {
            out += static_cast<char>(c);
        }
    }
    return out;
}

TAnaForm::TAnaForm(QWidget* parent) : QWidget(parent), m_ui(std::make_unique<Ui::TAnaForm>()) {
    m_comPort = std::make_unique<TComPort>(nullptr);
    m_comPort->BeginLoading();
    LoadComPortDescription(
        *m_comPort, resourceText(QStringLiteral(":/AnaForm.port")).toStdString(),
        [this](const std::string& e, const std::string& h) { bindPortEvent(e, h); });
    m_ui->setupUi(this);
    applyStoredFonts();
    bindLamps();
    m_comPort->FinishLoading();

    // The upper pane keeps its height when the window is resized; the lower takes the rest.
    m_ui->rzspltr1->setStretchFactor(0, 0);
    m_ui->rzspltr1->setStretchFactor(1, 1);
    m_ui->rzspltr1->setSizes({255, 84});
    qApp->installEventFilter(this);
    m_ui->HostEkrani->installEventFilter(new KeyDownFilter(
        m_ui->HostEkrani, [this](QObject* sender, std::uint16_t& key, TShiftState shift) {
            HostEkraniKeyDown(sender, key, shift);
        }));
    connect(m_ui->RzBitBtn1, &QToolButton::clicked, this,
            [this] { RzBitBtn1Click(m_ui->RzBitBtn1); });
}

TAnaForm::~TAnaForm() {
    m_closing = true;
    qApp->removeEventFilter(this);
    // The port goes first: it closes, then the lamps are told it is gone and unbind.
    m_comPort.reset();
}

QTextEdit* TAnaForm::HostEkrani() const {
    return m_ui->HostEkrani;
}
QTextEdit* TAnaForm::BilgiEkrani() const {
    return m_ui->BilgiEkrani;
}

void TAnaForm::bindPortEvent(const std::string& event, const std::string& handler) {
    if (event == "OnRxChar" && handler == "ComPortRxChar") {
        m_comPort->OnRxChar = [this](TObject* sender, std::int32_t count) {
            ComPortRxChar(sender, count);
        };
        return;
    }
    throw Exception("Event " + event + " bound to unknown method " + handler);
}

void TAnaForm::setVisible(bool visible) {
    if (visible && m_startUpOnShow && !m_startedUp) {
        // The first showing runs the start-up work before the window reaches the screen,
        // so a refused copy never draws its window.
        m_startedUp = true;
        FormShow(this);
        if (m_refused) {
            return;
        }
    }
    QWidget::setVisible(visible);
}

void TAnaForm::FormShow(QObject* /*Sender*/) {
    try {
        const std::string title = QCoreApplication::applicationName().toStdString();
        if (platform::holdInstanceName(title) == platform::InstanceName::AlreadyExists) {
            QMessageBox box(QMessageBox::NoIcon, QStringLiteral("Brelvo Teknoloji"),
                            QString::fromUtf8("Program zaten \xC3\xA7"
                                              "al\xC4\xB1\xC5\x9F\xC4\xB1yor..!"),
                            QMessageBox::Ok);
            box.setWindowModality(Qt::ApplicationModal);
            box.exec();
            m_refused = true;
            return;
        }
        m_ui->RzPageControl1->setCurrentWidget(m_ui->TabSheet1);
        const QByteArray uploader = qgetenv("DORVIK_SELTO_UPLOADER");
        UploaderPath =
            uploader.isEmpty() ? std::string(kDefaultUploaderPath) : uploader.toStdString();
        WebBaseAddress = kWebBaseAddress;
        m_ui->lbl1->setText(screenText(m_comPort->Port()));
        // Nothing else closes the port while the window lives: a close now means the
        // device went away, which the host screen tells.
        m_comPort->OnAfterClose = [this](TObject*) {
            if (!m_closing) {
                HostEkraninaMesajYaz("Port kapand\xFD: cihaz ba\xF0lant\xFDs\xFD kesildi.");
            }
        };
        m_comPort->SetConnected(true);
        HostEkraninaMesajYaz(m_comPort->Port());
    } catch (...) {
    }
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

void TAnaForm::bindLamps() {
    for (TComLed* led : findChildren<TComLed*>()) {
        if (led->property("ComPort").toString() == QLatin1String("ComPort")) {
            led->SetLoading(true);
            led->SetComPort(m_comPort.get());
            led->SetLoading(false);
        }
    }
}

void TAnaForm::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    if (m_shown) {
        return;
    }
    m_shown = true;
    // The stored size is the outer size; centred on the screen at the first showing.
    const QSize frame = frameGeometry().size() - size();
    resize(QSize(453, 408) - frame);
    if (const QScreen* s = screen()) {
        const QRect area = s->availableGeometry();
        move(area.center() - QPoint(453 / 2, 408 / 2));
    }
}

int TAnaForm::HostEkraniLineCount() const {
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

void TAnaForm::HostEkraninaMesajYaz(const std::string& Text) {
    appendLine(m_ui->HostEkrani, screenText(Text));
    if (HostEkraniLineCount() > 250) {
        m_ui->HostEkrani->clear();
    }
}

void TAnaForm::BilgiEkraninaMesajYaz(const std::string& Text) {
    QTextEdit* screen = m_ui->BilgiEkrani;
    appendLine(screen, screenText(RenderForBilgiEkrani(Text)));
    QTextDocument* document = screen->document();
    const int excess = document->blockCount() - 1 - kBilgiEkraniMaxLines;
    if (excess > 0) {
        QTextCursor cursor(document);
        cursor.movePosition(QTextCursor::Start);
        cursor.movePosition(QTextCursor::NextBlock, QTextCursor::KeepAnchor, excess);
        cursor.removeSelectedText();
    }
}

void TAnaForm::FormKeyDown(QObject* /*Sender*/, std::uint16_t& Key, TShiftState /*Shift*/) {
    if (Key == VK_F5) {
        m_ui->BilgiEkrani->setEnabled(!m_ui->BilgiEkrani->isEnabled());
    }
}

void TAnaForm::HostEkraniKeyDown(QObject* /*Sender*/, std::uint16_t& Key, TShiftState Shift) {
    if (Shift == TShiftState{ssCtrl} && Key == VK_F5) {
        m_ui->BilgiEkrani->setEnabled(true);
    }
}

void TAnaForm::RzBitBtn1Click(QObject* /*Sender*/) {
    m_ui->HostEkrani->clear();
    m_ui->BilgiEkrani->clear();
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
