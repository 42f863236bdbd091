// Starts a program detached: it runs on its own, in a session of its own; nothing waits for
// it, and it never stays behind as a zombie of ours.
#pragma once

#include <string>
#include <vector>

namespace platform {

// True when the program started; false with lastError() when it could not be (no such
// file, no rights, not a program). Arguments reach it exactly as given, one each.
bool startDetached(const std::string& program, const std::vector<std::string>& arguments);

// The kinds of failed start a user is told apart, from startDetached's lastError() (the
// values differ by platform: errno here, GetLastError there).
enum class LaunchError { NotFound, NoPermission, NotAProgram, Other };
LaunchError launchErrorKind(int error);

}  // namespace platform
