#include "serial/qt/CPortCtl.h"

#include <QCoreApplication>
#include <QEvent>
#include <QPainter>

TComLed::TComLed(QWidget* parent) : QWidget(parent) {
    resize(kDefaultSize, kDefaultSize);
    m_ringTimer.setSingleShot(false);
    connect(&m_ringTimer, &QTimer::timeout, this, [this] { RingElapsed(); });
}

TComLed::~TComLed() {
    Unbind();
}

void TComLed::ProcessMessages() {
    QCoreApplication::processEvents();
}

TLedPicture TComLed::LoadResourcePicture(const char* Name) {
    const QImage image(QStringLiteral(":/leds/%1.xpm").arg(QLatin1String(Name)));
    if (image.isNull()) {
        throw Exception(std::string("Resource ") + Name + " not found");
    }
    return LedPictureFromImage(image);
}

void TComLed::changeEvent(QEvent* event) {
    if (event->type() == QEvent::EnabledChange) {
        update();
    }
    QWidget::changeEvent(event);
}

void TComLed::paintEvent(QPaintEvent*) {
    const QRect area = contentsRect();
    const TPaintPlan plan =
        PlanPaint(area.left(), area.top(), area.width(), area.height(), isEnabled());
    if (!plan.Picture) {
        return;
    }
    QPainter painter(this);
    painter.drawImage(plan.X, plan.Y, ImageFromLedPicture(*plan.Picture));
}

TLedPicture LedPictureFromImage(const QImage& image) {
    const QImage rgb = image.convertToFormat(QImage::Format_RGB32);
    TLedPicture picture;
    picture.Width = rgb.width();
    picture.Height = rgb.height();
    picture.Pixels.reserve(static_cast<std::size_t>(picture.Width * picture.Height));
    for (int y = 0; y < rgb.height(); ++y) {
        const auto* row = reinterpret_cast<const QRgb*>(rgb.constScanLine(y));
        for (int x = 0; x < rgb.width(); ++x) {
            picture.Pixels.push_back(row[x] & 0xFFFFFFu);
        }
    }
    return picture;
}

QImage ImageFromLedPicture(const TLedPicture& picture) {
    QImage image(picture.Width, picture.Height, QImage::Format_ARGB32);
    const std::uint32_t transparent = picture.TransparentColor();
    for (int y = 0; y < picture.Height; ++y) {
        auto* row = reinterpret_cast<QRgb*>(image.scanLine(y));
        for (int x = 0; x < picture.Width; ++x) {
            const std::uint32_t colour = picture.Pixel(x, y);
            row[x] = colour == transparent ? 0u : (0xFF000000u | colour);
        }
    }
    return image;
}
