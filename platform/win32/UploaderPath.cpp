#include "platform/UploaderPath.h"

namespace platform {

const char* defaultUploaderPath() {
    return "C:\\Brelvo\\hemogram\\Brelvo.Kanto.Client\\Brelvo.Kanto.Client.exe";
}

}  // namespace platform
