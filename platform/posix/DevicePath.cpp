#include "platform/posix/DevicePath.h"

#include <cstdlib>
#include <string_view>

namespace platform::posix {

namespace {

constexpr std::string_view kDevicePrefix = "\\\\.\\";

// "COM" followed by a decimal number from 1 on, as the Windows port names are.
bool comNumber(std::string_view name, unsigned long& number) {
    if (name.size() < 4 || name.substr(0, 3) != "COM") {
        return false;
    }
    number = 0;
    for (char c : name.substr(3)) {
        if (c < '0' || c > '9' || number > 100000) {
            return false;
        }
        number = number * 10 + static_cast<unsigned long>(c - '0');
    }
    return number >= 1;
}

}  // namespace

std::string resolveDevicePath(const std::string& portPath) {
    std::string_view name = portPath;
    if (name.substr(0, kDevicePrefix.size()) == kDevicePrefix) {
        name.remove_prefix(kDevicePrefix.size());
    }
    if (name.find('/') != std::string_view::npos) {
        return std::string(name);
    }
    if (!name.empty()) {
        const std::string variable = "CPORT_DEVICE_" + std::string(name);
        if (const char* mapped = std::getenv(variable.c_str()); mapped && *mapped) {
            return mapped;
        }
    }
    if (unsigned long number = 0; comNumber(name, number)) {
        return "/dev/ttyS" + std::to_string(number - 1);
    }
    return "/dev/" + std::string(name);
}

}  // namespace platform::posix
