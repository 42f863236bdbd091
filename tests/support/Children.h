// This process's children as the process table lists them, for the tests of the reaper.
#pragma once

#include <dirent.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <string>

struct Children {
    int all = 0;      // running, or ended and not reaped
    int zombies = 0;  // ended and not reaped
};

inline Children childrenOfThisProcess() {
    Children found;
    DIR* proc = ::opendir("/proc");
    while (dirent* entry = ::readdir(proc)) {
        std::ifstream stat(std::string("/proc/") + entry->d_name + "/stat");
        std::string line;
        if (!std::getline(stat, line)) {
            continue;
        }
        // pid (comm) state ppid ...
        const auto close = line.rfind(')');
        if (close == std::string::npos || close + 4 > line.size()) {
            continue;
        }
        if (std::atoi(line.c_str() + close + 4) == ::getpid()) {
            ++found.all;
            found.zombies += line[close + 2] == 'Z';
        }
    }
    ::closedir(proc);
    return found;
}
