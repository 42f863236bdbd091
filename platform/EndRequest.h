// The system asking the program to end (a log-out, a shutdown, a kill, Ctrl+C): the program
// is to end as closing its window ends it, not be cut off mid-block.
#pragma once

#include <functional>

namespace platform {

// From now on, such a request runs `onEnd` on the main thread, through its queue, instead
// of ending the process at once: SIGTERM, SIGINT and SIGHUP on POSIX; Ctrl+C and Ctrl+Break
// of a console on Windows (a session's end reaches the windows as messages there). Call once,
// from the main thread; `onEnd` lives for the rest of the process.
void watchEndRequests(std::function<void()> onEnd);

}  // namespace platform
