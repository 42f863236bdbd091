// Where the uploader program is installed on this platform.
#pragma once

namespace platform {

const char* defaultUploaderPath();

}  // namespace platform
