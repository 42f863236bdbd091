#include "platform/EndRequest.h"

#include <fcntl.h>
#include <signal.h>
#include <unistd.h>

#include <cerrno>
#include <thread>

#include "platform/MainThread.h"

namespace platform {

namespace {

int g_wakeWrite = -1;

// Only what is safe in a signal handler: one byte down the pipe.
void onSignal(int) {
    const int saved = errno;
    const char byte = 1;
    [[maybe_unused]] const ssize_t n = ::write(g_wakeWrite, &byte, 1);
    errno = saved;
}

}  // namespace

void watchEndRequests(std::function<void()> onEnd) {
    int wake[2];
    if (::pipe2(wake, O_CLOEXEC) != 0) {
        return;  // the default then holds: the signal ends the process
    }
    ::fcntl(wake[1], F_SETFL, O_NONBLOCK);
    g_wakeWrite = wake[1];
    // A thread of its own takes the bytes and hands the request to the main thread, which
    // runs it once its current work (a block being forwarded) is done.
    std::thread([read = wake[0], onEnd = std::move(onEnd)] {
        for (;;) {
            char byte = 0;
            const ssize_t n = ::read(read, &byte, 1);
            if (n == 1) {
                mainThreadQueue().post(onEnd);
            } else if (n < 0 && errno != EINTR) {
                return;
            }
        }
    }).detach();
    struct sigaction action {};
    action.sa_handler = onSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    for (const int signal : {SIGTERM, SIGINT, SIGHUP}) {
        ::sigaction(signal, &action, nullptr);
    }
}

}  // namespace platform
