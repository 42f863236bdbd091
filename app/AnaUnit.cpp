#include "app/AnaUnit.h"

#include <cstdlib>

#include "platform/InstanceGuard.h"
#include "platform/UploaderPath.h"
#include "serial/ComPortStream.h"

namespace {

constexpr const char* kControlNames[32] = {
    "<NUL>", "<SOH>", "<STX>", "<ETX>", "<EOT>", "<ENQ>", "<ACK>", "<BEL>",
    "<BS>",  "<TAB>", "<LF>",  "<VT>",  "<NP>",  "<CR>",  "<SO>",  "<SI>",
    "<DLE>", "<DC1>", "<DC2>", "<DC3>", "<DC4>", "<NAK>", "<SYN>", "<ETB>",
    "<CAN>", "<EM>",  "<EOF>", "<ESC>", "<FS>",  "<GS>",  "<RS>",  "<US>",
};

}  // namespace

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

TCustomAnaForm::TCustomAnaForm() : m_comPort(std::make_unique<TComPort>(nullptr)) {
    m_comPort->BeginLoading();
    LoadComPortDescription(
        *m_comPort, kAnaFormPortDescription,
        [this](const std::string& e, const std::string& h) { bindPortEvent(e, h); });
}

TCustomAnaForm::~TCustomAnaForm() {
    ReleasePort();
}

void TCustomAnaForm::ReleasePort() {
    m_closing = true;
    if (!m_comPort) {
        return;
    }
    StopReopenTimer();
    // Closed while it is still ours: a batch still queued is served by the close, and the
    // block handler reads from this port. Then it goes, and the lamps unbind.
    try {
        m_comPort->SetConnected(false);
    } catch (...) {
    }
    m_comPort.reset();
}

void TCustomAnaForm::bindPortEvent(const std::string& event, const std::string& handler) {
    if (event == "OnRxChar" && handler == "ComPortRxChar") {
        m_comPort->OnRxChar = [this](TObject* sender, std::int32_t count) {
            ComPortRxChar(sender, count);
        };
        return;
    }
    throw Exception("Event " + event + " bound to unknown method " + handler);
}

bool TCustomAnaForm::BeforeShow() {
    if (m_startUpOnShow && !m_startedUp) {
        m_startedUp = true;
        FormShow(this);
    }
    return !m_refused;
}

void TCustomAnaForm::FormShow(TObject* /*Sender*/) {
    try {
        if (platform::holdInstanceName(ApplicationTitle()) ==
            platform::InstanceName::AlreadyExists) {
            ShowRefusal(
                "Program zaten \xE7"
                "al\xFD\xFEyor..!",
                "Brelvo Teknoloji");
            m_refused = true;
            return;
        }
        ShowFirstPage();
        // The environment can name another uploader program file.
        const char* uploader = std::getenv("DORVIK_SELTO_UPLOADER");
        UploaderPath = uploader && *uploader ? uploader : platform::defaultUploaderPath();
        WebBaseAddress = kWebBaseAddress;
        SetPortLabel(m_comPort->Port());
        // Nothing else closes the port while the window lives: a close now means the
        // device went away, which the host screen tells. Once the port has been open, it
        // is opened again when the device comes back.
        m_comPort->OnAfterClose = [this](TObject*) {
            if (!m_closing) {
                HostEkraninaMesajYaz("Port kapand\xFD: cihaz ba\xF0lant\xFDs\xFD kesildi.");
                if (m_reopenAfterLoss) {
                    StartReopenTimer(kReopenIntervalMs);
                }
            }
        };
        m_comPort->SetConnected(true);
        m_reopenAfterLoss = true;
        HostEkraninaMesajYaz(m_comPort->Port());
    } catch (...) {
    }
}

void TCustomAnaForm::ReopenTimerTick() {
    if (m_closing || m_comPort->Connected()) {
        StopReopenTimer();
        return;
    }
    // One attempt with the same settings; the device may not be back yet.
    try {
        m_comPort->SetConnected(true);
    } catch (...) {
        return;
    }
    StopReopenTimer();
    HostEkraninaMesajYaz("Port yeniden a\xE7\xFDld\xFD.");
}

void TCustomAnaForm::HostEkraninaMesajYaz(const std::string& Text) {
    HostAppendLine(Text);
    if (HostShownLineCount() > kHostEkraniMaxLines) {
        HostClear();
    }
}

void TCustomAnaForm::BilgiEkraninaMesajYaz(const std::string& Text) {
    InfoAppendLine(RenderForBilgiEkrani(Text));
    const int excess = InfoLineCount() - kBilgiEkraniMaxLines;
    if (excess > 0) {
        InfoRemoveFirstLines(excess);
    }
}

void TCustomAnaForm::FormKeyDown(TObject* /*Sender*/, std::uint16_t& Key, TShiftState /*Shift*/) {
    if (Key == kKeyF5) {
        SetInfoEnabled(!InfoEnabled());
    }
}

void TCustomAnaForm::HostEkraniKeyDown(TObject* /*Sender*/, std::uint16_t& Key, TShiftState Shift) {
    if (Shift == TShiftState{ssCtrl} && Key == kKeyF5) {
        SetInfoEnabled(true);
    }
}

void TCustomAnaForm::RzBitBtn1Click(TObject* /*Sender*/) {
    HostClear();
    InfoClear();
}
