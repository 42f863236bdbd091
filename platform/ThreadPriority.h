// Scheduling priority of the calling thread, in the port's seven steps from idle to
// time-critical (3 is normal).
#pragma once

namespace platform {

bool setCurrentThreadPriority(int step);

}  // namespace platform
