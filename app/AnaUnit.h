// TCustomAnaForm: what the program's one window does, whatever draws it. It owns the serial
// port, writes the host screen (a running log) and the info screen (raw traffic with
// control characters spelled out), runs the start-up work, handles F5, Ctrl+F5 and the
// clear button, and carries reception and forwarding. A face (Qt, Win32) derives from it
// as TAnaForm and supplies the controls these rules act on.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "app/KeyState.h"
#include "result/ResultInterface.h"
#include "serial/CPort.h"

class TCustomAnaForm : public TObject, public TResultInterface {
public:
    // The port from its stored description, still loading: the face binds its lamps, then
    // calls FinishLoading().
    TCustomAnaForm();
    ~TCustomAnaForm() override;
    TCustomAnaForm(const TCustomAnaForm&) = delete;
    TCustomAnaForm& operator=(const TCustomAnaForm&) = delete;

    // Appends one line; the append that brings the screen above 250 shown lines empties it.
    void HostEkraninaMesajYaz(const std::string& Text) override;
    // Appends one line: the text byte by byte, control characters by their names.
    void BilgiEkraninaMesajYaz(const std::string& Text) override;

    // The start-up work: the single-instance guard, the start-up settings, the port's name
    // on the label, the opening of the port. Lets no failure out.
    void FormShow(TObject* Sender);
    // Set when start-up found another copy running: the program is to end with 0.
    bool Refused() const { return m_refused; }
    // Tools and tests that show the window without starting the program.
    void SetStartUpOnShow(bool on) { m_startUpOnShow = on; }
    // The face calls it when the window is about to be shown, before anything is drawn: the
    // first time, the start-up work runs. False: the window must not be shown (refused).
    bool BeforeShow();

    void FormKeyDown(TObject* Sender, std::uint16_t& Key, TShiftState Shift);
    void HostEkraniKeyDown(TObject* Sender, std::uint16_t& Key, TShiftState Shift);
    void RzBitBtn1Click(TObject* Sender);

    TComPort* ComPort() const { return m_comPort.get(); }

    // The info screen keeps its newest lines only (a workstation runs for weeks).
    static constexpr int kBilgiEkraniMaxLines = 500;
    static constexpr int kHostEkraniMaxLines = 250;

    // --- the face: the controls the rules above act on; texts in code page 1254 ---
    // Adds a new last line, leaving the insertion point on the empty line below it.
    virtual void HostAppendLine(const std::string& Text) = 0;
    // The host screen's lines as the control shows them (a wrapped message counts once per
    // shown line), without the empty line of the insertion point.
    virtual int HostShownLineCount() = 0;
    virtual void HostClear() = 0;
    virtual void InfoAppendLine(const std::string& Text) = 0;
    virtual int InfoLineCount() = 0;
    virtual void InfoRemoveFirstLines(int Count) = 0;
    virtual void InfoClear() = 0;
    virtual bool InfoEnabled() = 0;
    virtual void SetInfoEnabled(bool Enabled) = 0;
    virtual void ShowFirstPage() = 0;
    virtual void SetPortLabel(const std::string& Text) = 0;
    // The application's title, which names the single-instance guard.
    virtual std::string ApplicationTitle() = 0;
    // The system's modal box with one OK button and no icon; returns when dismissed.
    virtual void ShowRefusal(const std::string& Text, const std::string& Caption) = 0;
    // A repeating timer of the window's event loop that calls ReopenTimerTick(); starting
    // it while it runs restarts it.
    virtual void StartReopenTimer(int IntervalMs) = 0;
    virtual void StopReopenTimer() = 0;

    // After the device went away: one attempt to open the port again with its settings.
    // Says "Port yeniden açıldı." on the host screen when it opens, and stops the timer.
    void ReopenTimerTick();
    // How often a lost device is looked for: one attempt a second, none while open.
    static constexpr int kReopenIntervalMs = 1000;

protected:
    // Ends the port's loading; the face calls it once its lamps are bound.
    void FinishLoading() { m_comPort->FinishLoading(); }
    // The face's destructor calls it while its controls still exist: the port closes (a
    // batch still pending runs against live screens) and the lamps unbind.
    void ReleasePort();
    TComPort& ResultPort() override { return *m_comPort; }

private:
    void bindPortEvent(const std::string& event, const std::string& handler);

    std::unique_ptr<TComPort> m_comPort;
    bool m_startUpOnShow = true;
    bool m_startedUp = false;
    bool m_refused = false;
    bool m_closing = false;
    bool m_reopenAfterLoss = false;  // the port opened at start-up: reopened after a loss
};

// The web system's base address.
extern const char* const kWebBaseAddress;
// The application title: what the platform lists the program under, and the name of the
// single-instance guard.
extern const char* const kApplicationTitle;
// The port's stored description, from the window's stored layout.
extern const char* const kAnaFormPortDescription;

// The info screen's rendering of received bytes: bytes 0 to 31 by name, the rest as they
// stand (still in code page 1254).
std::string RenderForBilgiEkrani(const std::string& Text);
