#include "platform/UploaderPath.h"

namespace platform {

const char* defaultUploaderPath() {
    return "/opt/brelvo/hemogram/Brelvo.Kanto.Client/Brelvo.Kanto.Client";
}

}  // namespace platform
