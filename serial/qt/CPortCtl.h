// TComLed on Qt: the connection lamp as a widget. Its behaviour is TCustomComLed's; this
// face paints the chosen picture, runs the ring timer and reads the built-in pictures.
#pragma once

#include <QImage>
#include <QTimer>
#include <QWidget>

#include "serial/ComLed.h"

class TComLed : public QWidget, public TCustomComLed {
public:
    explicit TComLed(QWidget* parent = nullptr);
    ~TComLed() override;

    QSize sizeHint() const override { return QSize(kDefaultSize, kDefaultSize); }

protected:
    void paintEvent(QPaintEvent* event) override;
    void changeEvent(QEvent* event) override;

    void Invalidate() override { update(); }
    void ProcessMessages() override;
    void StartRingTimer(int IntervalMs) override { m_ringTimer.start(IntervalMs); }
    void StopRingTimer() override { m_ringTimer.stop(); }
    bool RingTimerActive() const override { return m_ringTimer.isActive(); }
    TLedPicture LoadResourcePicture(const char* Name) override;

private:
    QTimer m_ringTimer;
};

// Between Qt's images and lamp pictures.
TLedPicture LedPictureFromImage(const QImage& image);
// The picture as drawn: transparent where it has its bottom-left pixel's colour.
QImage ImageFromLedPicture(const TLedPicture& picture);
