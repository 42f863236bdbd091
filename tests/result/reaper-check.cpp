// Starts many short programs through the launcher, in a process of its own whose kernel is
// made to lack a facility the reaper uses (a seccomp filter answers the call with an
// error), and reports how many of them are left as zombies.
//
//   reaper-check MODE COUNT     MODE: all | no-pidfd | no-pidfd-wait
//
// Prints "zombies N" and exits 0 when every one has ended and been reaped within ten
// seconds, 1 otherwise.
#include <linux/filter.h>
#include <linux/seccomp.h>
#include <sys/prctl.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <chrono>
#include <cstddef>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "platform/ProcessLauncher.h"
#include "support/Children.h"

namespace {

constexpr unsigned kPidfdType = 3;  // waitid's P_PIDFD

// The filter: `nr` answered with `error`; for waitid only when its first argument is
// P_PIDFD. Everything else is allowed.
bool refuse(long nr, int error, bool onlyPidfdType) {
    std::vector<sock_filter> filter = {
        BPF_STMT(BPF_LD | BPF_W | BPF_ABS, offsetof(seccomp_data, nr)),
        BPF_JUMP(BPF_JMP | BPF_JEQ | BPF_K, static_cast<unsigned>(nr), 0,
                 static_cast<unsigned char>(onlyPidfdType ? 3 : 1)),
    };
    if (onlyPidfdType) {
        filter.push_back(BPF_STMT(BPF_LD | BPF_W | BPF_ABS, offsetof(seccomp_data, args[0])));
        filter.push_back(BPF_JUMP(BPF_JMP | BPF_JEQ | BPF_K, kPidfdType, 0, 1));
    }
    filter.push_back(
        BPF_STMT(BPF_RET | BPF_K, SECCOMP_RET_ERRNO | (static_cast<unsigned>(error) & 0xFFFF)));
    filter.push_back(BPF_STMT(BPF_RET | BPF_K, SECCOMP_RET_ALLOW));
    sock_fprog program{static_cast<unsigned short>(filter.size()), filter.data()};
    return ::prctl(PR_SET_NO_NEW_PRIVS, 1, 0, 0, 0) == 0 &&
           ::prctl(PR_SET_SECCOMP, SECCOMP_MODE_FILTER, &program) == 0;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 3) {
        std::fprintf(stderr, "usage: reaper-check all|no-pidfd|no-pidfd-wait COUNT\n");
        return 2;
    }
    const std::string mode = argv[1];
    const int count = std::atoi(argv[2]);
    bool filtered = true;
    if (mode == "no-pidfd") {
        filtered = refuse(SYS_pidfd_open, ENOSYS, false);
    } else if (mode == "no-pidfd-wait") {
        filtered = refuse(SYS_waitid, EINVAL, true);  // a kernel with pidfds but no P_PIDFD
    }
    if (!filtered) {
        std::perror("seccomp");
        return 2;
    }
    for (int i = 0; i < count; ++i) {
        if (!platform::startDetached("/bin/true", {})) {
            std::fprintf(stderr, "launch %d failed\n", i);
            return 2;
        }
    }
    const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    // Every one ends at once; each must then be reaped.
    Children left = childrenOfThisProcess();
    while (left.all > 0 && std::chrono::steady_clock::now() < until) {
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
        left = childrenOfThisProcess();
    }
    std::printf("zombies %d\n", left.zombies);
    return left.all == 0 ? 0 : 1;
}
