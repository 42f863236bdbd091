// Where the uploader program is installed on this platform, unless the environment
// variable DORVIK_SELTO_UPLOADER names another program file.
#pragma once

#include <string>

namespace platform {

std::string uploaderPath();

}  // namespace platform
