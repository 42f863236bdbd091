// The process's resident memory, for the benchmarks' figures.
#pragma once

#include <fstream>
#include <string>

// VmRSS of this process in KiB, or -1 where /proc does not tell.
inline long residentKiB() {
    std::ifstream status("/proc/self/status");
    std::string key;
    long value = -1;
    while (status >> key) {
        if (key == "VmRSS:") {
            status >> value;
            return value;
        }
        status.ignore(1 << 16, '\n');
    }
    return -1;
}
