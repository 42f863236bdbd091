// Test-only LD_PRELOAD library for the Windows tests under Wine (and for QEMU in the UART
// rig, whose serial back end asks a host tty the same). Wine's serial driver asks a
// tty for its modem lines (TIOCMGET), its interrupt counters (TIOCGICOUNT) and its line
// status (TIOCSERGETLSR), and gives up on WaitCommEvent and GetCommModemStatus when they
// fail. A pseudo-terminal has none of them, so for a pty slave whose real call failed with
// ENOTTY or EINVAL this answers instead: the lines are read from the file named by
// PTY_SHIM_LINES (a decimal TIOCM_* mask, written by the test's far side), and the counters
// count the changes of those lines. Modem-control writes (TIOCMSET/BIS/BIC) are accepted
// and kept, in the file named by PTY_SHIM_CONTROL when it is set.
// Every other call, and every call that the kernel answers, is left as it is.
#define _GNU_SOURCE
#include <dlfcn.h>
#include <errno.h>
#include <fcntl.h>
#include <linux/serial.h>
#include <pthread.h>
#include <stdarg.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

typedef int (*ioctl_fn)(int, unsigned long, ...);

static pthread_mutex_t g_mutex = PTHREAD_MUTEX_INITIALIZER;
static int g_lastLines = 0;
static struct serial_icounter_struct g_counters;

static ioctl_fn real_ioctl(void) {
    static ioctl_fn fn = NULL;
    if (!fn) {
        fn = (ioctl_fn)dlsym(RTLD_NEXT, "ioctl");
    }
    return fn;
}

// Unix98 pty slaves have majors 136 to 143.
static int is_pty_slave(int fd) {
    struct stat st;
    if (fstat(fd, &st) != 0 || !S_ISCHR(st.st_mode)) {
        return 0;
    }
    const unsigned int m = major(st.st_rdev);
    return m >= 136 && m <= 143;
}

static int read_lines_file(void) {
    const char* path = getenv("PTY_SHIM_LINES");
    if (!path || !*path) {
        return 0;
    }
    const int fd = open(path, O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        return 0;
    }
    char text[32];
    const ssize_t n = read(fd, text, sizeof text - 1);
    close(fd);
    if (n <= 0) {
        return 0;
    }
    text[n] = 0;
    return (int)strtol(text, NULL, 10);
}

// The current lines; a change since the last look counts in the counters, as a UART's
// interrupt counters would.
static int current_lines(void) {
    const int lines = read_lines_file();
    pthread_mutex_lock(&g_mutex);
    const int changed = lines ^ g_lastLines;
    if (changed & TIOCM_CTS) {
        ++g_counters.cts;
    }
    if (changed & TIOCM_DSR) {
        ++g_counters.dsr;
    }
    if (changed & TIOCM_RNG) {
        ++g_counters.rng;
    }
    if (changed & TIOCM_CAR) {
        ++g_counters.dcd;
    }
    g_lastLines = lines;
    pthread_mutex_unlock(&g_mutex);
    return lines;
}

// The control lines (DTR, RTS) the caller set, written as a decimal TIOCM_* mask to the
// file named by PTY_SHIM_CONTROL, where the far side reads them back.
static int g_control = 0;

static void set_control(unsigned long request, int bits) {
    bits &= TIOCM_DTR | TIOCM_RTS;
    pthread_mutex_lock(&g_mutex);
    if (request == TIOCMSET) {
        g_control = bits;
    } else if (request == TIOCMBIS) {
        g_control |= bits;
    } else {
        g_control &= ~bits;
    }
    const int control = g_control;
    pthread_mutex_unlock(&g_mutex);
    const char* path = getenv("PTY_SHIM_CONTROL");
    if (!path || !*path) {
        return;
    }
    char tmp[4096];
    snprintf(tmp, sizeof tmp, "%s.tmp", path);
    const int fd = open(tmp, O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (fd < 0) {
        return;
    }
    char text[32];
    const int n = snprintf(text, sizeof text, "%d\n", control);
    const ssize_t written = write(fd, text, (size_t)n);
    close(fd);
    if (written == n) {
        rename(tmp, path);
    }
}

static int answer(unsigned long request, void* arg) {
    switch (request) {
        case TIOCMGET: {
            const int lines = current_lines();
            pthread_mutex_lock(&g_mutex);
            *(int*)arg = lines | g_control;
            pthread_mutex_unlock(&g_mutex);
            return 0;
        }
        case TIOCGICOUNT:
            current_lines();
            pthread_mutex_lock(&g_mutex);
            memcpy(arg, &g_counters, sizeof g_counters);
            pthread_mutex_unlock(&g_mutex);
            return 0;
        case TIOCSERGETLSR:
            *(unsigned int*)arg = TIOCSER_TEMT;
            return 0;
        case TIOCMSET:
        case TIOCMBIS:
        case TIOCMBIC:
            set_control(request, *(int*)arg);
            return 0;
        default:
            return -1;
    }
}

int ioctl(int fd, unsigned long request, ...) {
    va_list args;
    va_start(args, request);
    void* arg = va_arg(args, void*);
    va_end(args);
    const int result = real_ioctl()(fd, request, arg);
    if (result == 0 || (errno != ENOTTY && errno != EINVAL) || !arg) {
        return result;
    }
    const int error = errno;
    if (!is_pty_slave(fd) || answer(request, arg) != 0) {
        errno = error;
        return result;
    }
    return 0;
}
