// The single-instance guard: a name held for the life of the process, per user, released by
// the kernel however the process ends.
#pragma once

#include <string>

namespace platform {

enum class InstanceName { Created, AlreadyExists, Failed };

// Creates the name, or reports that another process holds it. The name is never released
// while the process runs.
InstanceName holdInstanceName(const std::string& name);

}  // namespace platform
