// How a port's "\\.\NAME" path names a device on Linux: CPORT_DEVICE_<NAME> when set, a
// name holding '/' as it stands, COMn as /dev/ttyS(n-1), anything else under /dev.
#pragma once

#include <string>

namespace platform::posix {

std::string resolveDevicePath(const std::string& portPath);

}  // namespace platform::posix
