// TAnaForm, the program's one window, built from its stored layout: three pages, the port's
// name and two lamps over a background picture, the host screen (a running log) and the
// info screen (raw traffic with control characters spelled out), and the serial port.
#pragma once

#include <QWidget>
#include <cstdint>
#include <memory>
#include <string>

#include "app/KeyState.h"
#include "result/ResultInterface.h"
#include "serial/CPort.h"

namespace Ui {
class TAnaForm;
}
class QTextEdit;
class TComLed;

class TAnaForm : public QWidget, public TResultInterface {
public:
    explicit TAnaForm(QWidget* parent = nullptr);
    ~TAnaForm() override;

    // Appends one line; the append that brings the screen above 250 shown lines empties it.
    void HostEkraninaMesajYaz(const std::string& Text) override;
    // Appends one line: the text byte by byte, control characters by their names.
    void BilgiEkraninaMesajYaz(const std::string& Text) override;

    // The start-up work, run by the window's first showing: the single-instance guard, the
    // start-up settings, the port's name on the label, the opening of the port.
    void FormShow(QObject* Sender);
    // Set when start-up found another copy running: the program is to end with 0.
    bool Refused() const { return m_refused; }
    // Tools and tests that show the window without starting the program.
    void SetStartUpOnShow(bool on) { m_startUpOnShow = on; }
    void setVisible(bool visible) override;

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
    TComPort& ResultPort() override { return *m_comPort; }

private:
    void bindPortEvent(const std::string& event, const std::string& handler);
    void applyStoredFonts();
    void bindLamps();

    std::unique_ptr<Ui::TAnaForm> m_ui;
    std::unique_ptr<TComPort> m_comPort;
    bool m_shown = false;
    bool m_startUpOnShow = true;
    bool m_startedUp = false;
    bool m_refused = false;
    bool m_closing = false;
};

// Where the uploader is on Linux unless DORVIK_SELTO_UPLOADER names another program file,
// and the web system's base address.
extern const char* const kDefaultUploaderPath;
extern const char* const kWebBaseAddress;
// The application title: what the platform lists the program under, and the name of the
// single-instance guard.
extern const char* const kApplicationTitle;

// The info screen's rendering of received bytes: bytes 0 to 31 by name, the rest as they
// stand (still in code page 1254).
std::string RenderForBilgiEkrani(const std::string& Text);
