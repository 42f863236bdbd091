#include "serial/ComError.h"

#include <cstdio>
#include <mutex>
#include <string_view>

#include "platform/Translation.h"

namespace {

constexpr std::array<std::string_view, 23> kMessages = {
    "Unable to open com port",
    "WriteFile function failed",
    "ReadFile function failed",
    "Invalid Async parameter",
    "PurgeComm function failed",
    "Unable to get async status",
    "SetCommState function failed",
    "SetCommTimeouts failed",
    "SetupComm function failed",
    "ClearCommError function failed",
    "GetCommModemStatus function failed",
    "EscapeCommFunction function failed",
    "TransmitCommChar function failed",
    "Cannot set property while connected",
    "EnumPorts function failed",
    "Failed to store settings",
    "Failed to load settings",
    "Link (un)registration failed",
    "Cannot change led state if ComPort is selected",
    "Cannot wait for event if event thread is created",
    "WaitForEvent method failed",
    "A component is linked to OnRxBuf event",
    "Registry error",
};

constexpr std::string_view kDomain = "cport";
constexpr std::string_view kWinErrorSuffix = " (win error code: %d)";

std::once_flag g_initialised;
std::array<std::string, 23> g_table;

const std::string& message(int code) {
    InitializeCPortModule();
    static const std::string unknown;
    return code >= 1 && code <= 23 ? g_table[static_cast<std::size_t>(code - 1)] : unknown;
}

std::string withSystemError(int code, int systemError) {
    const std::string suffix = platform::i18n::translate(std::string(kDomain), kWinErrorSuffix);
    std::string text = message(code);
    // The suffix is a translatable format with one %d; a catalogue that drops it still
    // gives a sane message.
    const std::size_t at = suffix.find("%d");
    if (at == std::string::npos) {
        return text + suffix;
    }
    return text + suffix.substr(0, at) + std::to_string(systemError) + suffix.substr(at + 2);
}

}  // namespace

void InitializeCPortModule() {
    std::call_once(g_initialised, [] {
        platform::i18n::registerDomain(std::string(kDomain));
        for (std::size_t i = 0; i < kMessages.size(); ++i) {
            g_table[i] = platform::i18n::translate(std::string(kDomain), kMessages[i]);
        }
    });
}

const std::array<std::string, 23>& ComErrorMessages() {
    InitializeCPortModule();
    return g_table;
}

EComPort::EComPort(int ACode)
    : Exception(message(ACode)), m_systemError(-1), m_errorNumber(ACode) {}

EComPort::EComPort(int ACode, int AWinCode)
    : Exception(withSystemError(ACode, AWinCode)), m_systemError(AWinCode), m_errorNumber(ACode) {}
