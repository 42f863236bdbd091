#include "serial/ComPortStream.h"

#include <algorithm>
#include <array>
#include <string_view>

#include "serial/ComPort.h"

namespace {

std::string trimmed(std::string_view text) {
    const auto first = text.find_first_not_of(" \t\r");
    if (first == std::string_view::npos) {
        return {};
    }
    const auto last = text.find_last_not_of(" \t\r");
    return std::string(text.substr(first, last - first + 1));
}

[[noreturn]] void invalid(const std::string& name, const std::string& value) {
    throw Exception("Invalid property value " + value + " for " + name);
}

template <std::size_t N>
int ordinal(const std::array<std::string_view, N>& names, const std::string& name,
            const std::string& value) {
    const auto it = std::find(names.begin(), names.end(), value);
    if (it == names.end()) {
        invalid(name, value);
    }
    return static_cast<int>(it - names.begin());
}

bool boolean(const std::string& name, const std::string& value) {
    if (value == "True") {
        return true;
    }
    if (value == "False") {
        return false;
    }
    invalid(name, value);
}

std::int32_t number(const std::string& name, const std::string& value) {
    try {
        std::size_t used = 0;
        const long parsed = std::stol(value, &used);
        if (used != value.size()) {
            invalid(name, value);
        }
        return static_cast<std::int32_t>(parsed);
    } catch (const std::logic_error&) {
        invalid(name, value);
    }
}

char character(const std::string& name, const std::string& value) {
    // #13 or a number
    return static_cast<char>(
        number(name, value.size() > 1 && value[0] == '#' ? value.substr(1) : value));
}

std::string quoted(const std::string& name, const std::string& value) {
    if (value.size() < 2 || value.front() != '\'' || value.back() != '\'') {
        invalid(name, value);
    }
    std::string text;
    for (std::size_t i = 1; i + 1 < value.size(); ++i) {
        text += value[i];
        if (value[i] == '\'' && i + 2 < value.size() && value[i + 1] == '\'') {
            ++i;  // '' stands for one quote
        }
    }
    return text;
}

constexpr std::array<std::string_view, 16> kBaudRates = {
    "brCustom", "br110",   "br300",   "br600",   "br1200",  "br2400",   "br4800",   "br9600",
    "br14400",  "br19200", "br38400", "br56000", "br57600", "br115200", "br128000", "br256000"};
constexpr std::array<std::string_view, 3> kStopBits = {"sbOneStopBit", "sbOne5StopBits",
                                                       "sbTwoStopBits"};
constexpr std::array<std::string_view, 4> kDataBits = {"dbFive", "dbSix", "dbSeven", "dbEight"};
constexpr std::array<std::string_view, 5> kParity = {"prNone", "prOdd", "prEven", "prMark",
                                                     "prSpace"};
constexpr std::array<std::string_view, 3> kDtr = {"dtrDisable", "dtrEnable", "dtrHandshake"};
constexpr std::array<std::string_view, 4> kRts = {"rtsDisable", "rtsEnable", "rtsHandshake",
                                                  "rtsToggle"};
constexpr std::array<std::string_view, 3> kSync = {"smThreadSync", "smWindowSync", "smNone"};
constexpr std::array<std::string_view, 10> kEvents = {
    "evRxChar", "evTxEmpty", "evRxFlag", "evRing", "evBreak",
    "evCTS",    "evDSR",     "evError",  "evRLSD", "evRx80Full"};

// Calls `part` with each piece of `text` between separators (streams would do, but cost a
// program that uses them nowhere else their start-up).
template <typename Part>
void forEachPart(std::string_view text, char separator, Part&& part) {
    for (std::size_t from = 0; from <= text.size();) {
        const std::size_t to = std::min(text.find(separator, from), text.size());
        part(text.substr(from, to - from));
        from = to + 1;
    }
}

TComEvents events(const std::string& name, const std::string& value) {
    if (value.size() < 2 || value.front() != '[' || value.back() != ']') {
        invalid(name, value);
    }
    TComEvents set;
    forEachPart(std::string_view(value).substr(1, value.size() - 2), ',',
                [&](std::string_view part) {
                    const std::string member = trimmed(part);
                    if (!member.empty()) {
                        set.Include(static_cast<TComEvent>(ordinal(kEvents, name, member)));
                    }
                });
    return set;
}

void setProperty(TCustomComPort& port, const std::string& name, const std::string& value,
                 const TEventBinder& bindEvent) {
    if (name.rfind("On", 0) == 0) {
        if (!bindEvent) {
            invalid(name, value);
        }
        bindEvent(name, value);
    } else if (name == "Connected") {
        port.SetConnected(boolean(name, value));
    } else if (name == "BaudRate") {
        port.SetBaudRate(static_cast<TBaudRate>(ordinal(kBaudRates, name, value)));
    } else if (name == "CustomBaudRate") {
        port.SetCustomBaudRate(number(name, value));
    } else if (name == "Port") {
        port.SetPort(quoted(name, value));
    } else if (name == "StopBits") {
        port.SetStopBits(static_cast<TStopBits>(ordinal(kStopBits, name, value)));
    } else if (name == "DataBits") {
        port.SetDataBits(static_cast<TDataBits>(ordinal(kDataBits, name, value)));
    } else if (name == "DiscardNull") {
        port.SetDiscardNull(boolean(name, value));
    } else if (name == "EventChar") {
        port.SetEventChar(character(name, value));
    } else if (name == "Events") {
        port.SetEvents(events(name, value));
    } else if (name == "SyncMethod") {
        port.SetSyncMethod(static_cast<TSyncMethod>(ordinal(kSync, name, value)));
    } else if (name == "Parity.Bits") {
        port.Parity().SetBits(static_cast<TParityBits>(ordinal(kParity, name, value)));
    } else if (name == "Parity.Check") {
        port.Parity().SetCheck(boolean(name, value));
    } else if (name == "Parity.Replace") {
        port.Parity().SetReplace(boolean(name, value));
    } else if (name == "Parity.ReplaceChar") {
        port.Parity().SetReplaceChar(character(name, value));
    } else if (name == "Buffer.InputSize") {
        port.Buffer().SetInputSize(number(name, value));
    } else if (name == "Buffer.OutputSize") {
        port.Buffer().SetOutputSize(number(name, value));
    } else if (name == "Timeouts.ReadInterval") {
        port.Timeouts().SetReadInterval(number(name, value));
    } else if (name == "Timeouts.ReadTotalMultiplier") {
        port.Timeouts().SetReadTotalMultiplier(number(name, value));
    } else if (name == "Timeouts.ReadTotalConstant") {
        port.Timeouts().SetReadTotalConstant(number(name, value));
    } else if (name == "Timeouts.WriteTotalMultiplier") {
        port.Timeouts().SetWriteTotalMultiplier(number(name, value));
    } else if (name == "Timeouts.WriteTotalConstant") {
        port.Timeouts().SetWriteTotalConstant(number(name, value));
    } else if (name == "FlowControl.OutCTSFlow") {
        port.FlowControl().SetOutCTSFlow(boolean(name, value));
    } else if (name == "FlowControl.OutDSRFlow") {
        port.FlowControl().SetOutDSRFlow(boolean(name, value));
    } else if (name == "FlowControl.ControlDTR") {
        port.FlowControl().SetControlDTR(static_cast<TDTRFlowControl>(ordinal(kDtr, name, value)));
    } else if (name == "FlowControl.ControlRTS") {
        port.FlowControl().SetControlRTS(static_cast<TRTSFlowControl>(ordinal(kRts, name, value)));
    } else if (name == "FlowControl.XonXoffOut") {
        port.FlowControl().SetXonXoffOut(boolean(name, value));
    } else if (name == "FlowControl.XonXoffIn") {
        port.FlowControl().SetXonXoffIn(boolean(name, value));
    } else if (name == "FlowControl.DSRSensitivity") {
        port.FlowControl().SetDSRSensitivity(boolean(name, value));
    } else if (name == "FlowControl.TxContinueOnXoff") {
        port.FlowControl().SetTxContinueOnXoff(boolean(name, value));
    } else if (name == "FlowControl.XonChar") {
        port.FlowControl().SetXonChar(character(name, value));
    } else if (name == "FlowControl.XoffChar") {
        port.FlowControl().SetXoffChar(character(name, value));
    } else {
        throw Exception("Property " + name + " does not exist");
    }
}

}  // namespace

void LoadComPortDescription(TCustomComPort& Port, const std::string& Description,
                            const TEventBinder& bindEvent) {
    bool inObject = false;
    bool ended = false;
    forEachPart(Description, '\n', [&](std::string_view part) {
        const std::string line = trimmed(part);
        if (ended || line.empty()) {
            return;
        }
        if (!inObject) {
            if (line.rfind("object ", 0) != 0) {
                throw Exception("Stored description does not begin with an object");
            }
            inObject = true;
            return;
        }
        if (line == "end") {
            ended = true;
            return;
        }
        const auto equals = line.find('=');
        if (equals == std::string::npos) {
            throw Exception("Invalid line in stored description: " + line);
        }
        setProperty(Port, trimmed(std::string_view(line).substr(0, equals)),
                    trimmed(std::string_view(line).substr(equals + 1)), bindEvent);
    });
    if (!ended) {
        throw Exception("Stored description ends without end");
    }
}
