// Starts a program detached: it runs on its own, in a session of its own; nothing waits for
// it, and it never stays behind as a zombie of ours.
#pragma once

#include <string>
#include <vector>

namespace platform {

// True when the program started; false with lastError() when it could not be (no such
// file, no rights, not a program). Arguments reach it exactly as given, one each.
bool startDetached(const std::string& program, const std::vector<std::string>& arguments);

}  // namespace platform
