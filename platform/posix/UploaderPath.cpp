#include "platform/UploaderPath.h"

#include <cstdlib>

namespace platform {

std::string uploaderPath() {
    const char* chosen = std::getenv("DORVIK_SELTO_UPLOADER");
    return chosen && *chosen ? std::string(chosen)
                             : std::string(
                                   "/opt/brelvo/hemogram/Brelvo.Kanto.Client/"
                                   "Brelvo.Kanto.Client");
}

}  // namespace platform
