// TAnaForm, the program's one window, built from its stored layout: three pages, the port's
// name and two lamps over a background picture, the host screen (a running log) and the
// info screen (raw traffic with control characters spelled out), and the serial port.
#pragma once

#include <QWidget>
#include <cstdint>
#include <memory>
#include <string>

#include "app/KeyState.h"
#include "serial/CPort.h"

namespace Ui {
class TAnaForm;
}
class QTextEdit;
class TComLed;

class TAnaForm : public QWidget {
public:
    explicit TAnaForm(QWidget* parent = nullptr);
    ~TAnaForm() override;

    // Appends one line; the append that brings the screen above 250 shown lines empties it.
    void HostEkraninaMesajYaz(const std::string& Text);
    // Appends one line: the text byte by byte, control characters by their names.
    void BilgiEkraninaMesajYaz(const std::string& Text);

    void FormKeyDown(QObject* Sender, std::uint16_t& Key, TShiftState Shift);
    void HostEkraniKeyDown(QObject* Sender, std::uint16_t& Key, TShiftState Shift);
    void RzBitBtn1Click(QObject* Sender);

    TComPort* ComPort() const { return m_comPort.get(); }
    Ui::TAnaForm& Controls() const { return *m_ui; }
    QTextEdit* HostEkrani() const;
    QTextEdit* BilgiEkrani() const;

    // Shown lines of the host screen, as its 250-line rule counts them.
    int HostEkraniLineCount() const;
    // The info screen keeps its newest lines only (a workstation runs for weeks).
    static constexpr int kBilgiEkraniMaxLines = 500;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void showEvent(QShowEvent* event) override;

private:
    void bindPortEvent(const std::string& event, const std::string& handler);
    void applyStoredFonts();
    void bindLamps();

    std::unique_ptr<Ui::TAnaForm> m_ui;
    std::unique_ptr<TComPort> m_comPort;
    bool m_shown = false;
};

// The info screen's rendering of received bytes: bytes 0 to 31 by name, the rest as they
// stand (still in code page 1254).
std::string RenderForBilgiEkrani(const std::string& Text);
