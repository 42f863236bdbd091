#include "platform/UploaderPath.h"

#include <cstdlib>

namespace platform {

std::string uploaderPath() {
    const char* chosen = std::getenv("DORVIK_SELTO_UPLOADER");
    return chosen && *chosen
               ? std::string(chosen)
               : std::string("C:\\Brelvo\\hemogram\\Brelvo.Kanto.Client\\Brelvo.Kanto.Client.exe");
}

}  // namespace platform
