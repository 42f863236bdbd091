// The far side of Wine's COM3 for the Windows tests: a pseudo-terminal whose slave the link
// $WINEPREFIX/dosdevices/com3 names, scripted by the test program over a loopback TCP
// connection, one command a line, one answer a line:
//
//   RESET               a fresh pty behind the link, all modem lines off   -> OK <slave>
//   SEND <hex> [cps]    bytes to the port, at once or paced (characters/s) -> OK
//   SETTINGS            the line settings the port gave the tty            -> OK ispeed ospeed
//   cflag iflag lflag LINES <names>       modem lines on: any of CTS DSR RING RLSD, or none  -> OK
//   HANGUP              closes the far side, as an unplugged cable would   -> OK
//   REMOVE              no line and no link: COM3 is missing              -> OK
//
//   pty-helper LINK LINESFILE PORTFILE
//
// LINESFILE is where the LD_PRELOAD shim in the test program reads the modem lines; the
// helper writes the TCP port it listens on to PORTFILE once it is ready. Each pty is made
// the controlling terminal of a session of its own (a child that only waits for the
// hang-up), so that no other process (wineserver above all) can take it as its terminal
// and be hung up with it.
#define _GNU_SOURCE
#include <arpa/inet.h>
#include <asm/termbits.h>
#include <errno.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <pthread.h>
#include <signal.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <time.h>
#include <unistd.h>

#ifndef TIOCM_CTS
#define TIOCM_CAR 0x040
#define TIOCM_RNG 0x080
#define TIOCM_DSR 0x100
#define TIOCM_CTS 0x020
#endif

static const char* g_link;
static const char* g_linesFile;
static int g_master = -1;
static char g_slave[128];

static void fail(const char* what) {
    fprintf(stderr, "pty-helper: %s: %s\n", what, strerror(errno));
    exit(1);
}

// Writes `text` to `path` whole: the reader never sees a half-written file.
static int write_file(const char* path, const char* text) {
    char tmp[4096];
    snprintf(tmp, sizeof tmp, "%s.tmp", path);
    const int fd = open(tmp, O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (fd < 0) {
        return -1;
    }
    const size_t n = strlen(text);
    const int ok = write(fd, text, n) == (ssize_t)n;
    close(fd);
    return ok ? rename(tmp, path) : -1;
}

static int write_all(int fd, const char* data, size_t size) {
    while (size > 0) {
        const ssize_t n = write(fd, data, size);
        if (n < 0) {
            if (errno == EINTR) {
                continue;
            }
            return -1;
        }
        data += n;
        size -= (size_t)n;
    }
    return 0;
}

static int set_raw(int fd) {
    struct termios2 tio;
    if (ioctl(fd, TCGETS2, &tio) < 0) {
        return -1;
    }
    tio.c_iflag &= ~(tcflag_t)(IGNBRK | BRKINT | PARMRK | ISTRIP | INLCR | IGNCR | ICRNL | IXON);
    tio.c_oflag &= ~(tcflag_t)OPOST;
    tio.c_lflag &= ~(tcflag_t)(ECHO | ECHONL | ICANON | ISIG | IEXTEN);
    tio.c_cflag &= ~(tcflag_t)(CSIZE | PARENB);
    tio.c_cflag |= CS8;
    return ioctl(fd, TCSETS2, &tio);
}

static void hang_up(void) {
    if (g_master >= 0) {
        close(g_master);  // the session holding the pty gets SIGHUP and ends
        g_master = -1;
    }
}

static int new_pty(void) {
    hang_up();
    const int master = posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (master < 0 || grantpt(master) < 0 || unlockpt(master) < 0) {
        return -1;
    }
    const char* name = ptsname(master);
    if (!name || set_raw(master) < 0) {
        close(master);
        return -1;
    }
    snprintf(g_slave, sizeof g_slave, "%s", name);
    int ready[2];
    if (pipe2(ready, O_CLOEXEC) < 0) {
        close(master);
        return -1;
    }
    const pid_t child = fork();
    if (child == 0) {
        // A session of its own whose controlling terminal is this pty.
        close(master);
        close(ready[0]);
        signal(SIGHUP, SIG_DFL);
        setsid();
        const int slave = open(g_slave, O_RDWR);
        char done = slave >= 0 ? 1 : 0;
        if (slave >= 0) {
            close(slave);
        }
        (void)!write(ready[1], &done, 1);
        close(ready[1]);
        for (;;) {
            pause();
        }
    }
    close(ready[1]);
    char done = 0;
    const int handshake = child > 0 && read(ready[0], &done, 1) == 1 && done;
    close(ready[0]);
    if (!handshake) {
        close(master);
        return -1;
    }
    g_master = master;
    char tmp[4096];
    snprintf(tmp, sizeof tmp, "%s.new", g_link);
    unlink(tmp);
    if (symlink(g_slave, tmp) < 0 || rename(tmp, g_link) < 0) {
        return -1;
    }
    return write_file(g_linesFile, "0");
}

struct Paced {
    int fd;
    char* data;
    size_t size;
    long perSecond;
};

static void* send_paced(void* arg) {
    struct Paced* p = arg;
    const long long step = 1000000000LL / p->perSecond;
    struct timespec next;
    clock_gettime(CLOCK_MONOTONIC, &next);
    for (size_t i = 0; i < p->size; ++i) {
        clock_nanosleep(CLOCK_MONOTONIC, TIMER_ABSTIME, &next, NULL);
        if (write_all(p->fd, p->data + i, 1) < 0) {
            break;
        }
        next.tv_nsec += step;
        while (next.tv_nsec >= 1000000000L) {
            next.tv_nsec -= 1000000000L;
            ++next.tv_sec;
        }
    }
    close(p->fd);
    free(p->data);
    free(p);
    return NULL;
}

static int from_hex(const char* hex, char** out, size_t* size) {
    const size_t length = strlen(hex);
    if (length % 2) {
        return -1;
    }
    *out = malloc(length / 2 + 1);
    for (size_t i = 0; i < length / 2; ++i) {
        unsigned int byte = 0;
        if (sscanf(hex + 2 * i, "%2x", &byte) != 1) {
            free(*out);
            return -1;
        }
        (*out)[i] = (char)byte;
    }
    *size = length / 2;
    return 0;
}

static void command(const char* line, char* reply, size_t replySize) {
    char verb[16] = "";
    sscanf(line, "%15s", verb);
    const char* rest = line + strlen(verb);
    while (*rest == ' ') {
        ++rest;
    }
    if (strcmp(verb, "RESET") == 0) {
        if (new_pty() < 0) {
            snprintf(reply, replySize, "ERR reset: %s", strerror(errno));
        } else {
            snprintf(reply, replySize, "OK %s", g_slave);
        }
    } else if (strcmp(verb, "SEND") == 0) {
        char hex[1 << 16] = "";
        long perSecond = 0;
        char* data = NULL;
        size_t size = 0;
        if (sscanf(rest, "%65535s %ld", hex, &perSecond) < 1 || from_hex(hex, &data, &size) < 0) {
            snprintf(reply, replySize, "ERR send: bad data");
        } else if (g_master < 0) {
            free(data);
            snprintf(reply, replySize, "ERR send: no line");
        } else if (perSecond <= 0) {
            const int ok = write_all(g_master, data, size) == 0;
            free(data);
            snprintf(reply, replySize, ok ? "OK" : "ERR send: %s", strerror(errno));
        } else {
            struct Paced* p = malloc(sizeof *p);
            *p = (struct Paced){dup(g_master), data, size, perSecond};
            pthread_t thread;
            pthread_create(&thread, NULL, send_paced, p);
            pthread_detach(thread);
            snprintf(reply, replySize, "OK");
        }
    } else if (strcmp(verb, "SETTINGS") == 0) {
        struct termios2 tio;
        if (g_master < 0 || ioctl(g_master, TCGETS2, &tio) < 0) {
            snprintf(reply, replySize, "ERR settings: %s", strerror(errno));
        } else {
            snprintf(reply, replySize, "OK %u %u %u %u %u", tio.c_ispeed, tio.c_ospeed, tio.c_cflag,
                     tio.c_iflag, tio.c_lflag);
        }
    } else if (strcmp(verb, "LINES") == 0) {
        int lines = 0;
        lines |= strstr(rest, "CTS") ? TIOCM_CTS : 0;
        lines |= strstr(rest, "DSR") ? TIOCM_DSR : 0;
        lines |= strstr(rest, "RING") ? TIOCM_RNG : 0;
        lines |= strstr(rest, "RLSD") ? TIOCM_CAR : 0;
        char text[16];
        snprintf(text, sizeof text, "%d", lines);
        snprintf(reply, replySize, write_file(g_linesFile, text) == 0 ? "OK" : "ERR lines");
    } else if (strcmp(verb, "HANGUP") == 0) {
        hang_up();
        snprintf(reply, replySize, "OK");
    } else if (strcmp(verb, "REMOVE") == 0) {
        hang_up();
        if (unlink(g_link) < 0 && errno != ENOENT) {
            snprintf(reply, replySize, "ERR remove: %s", strerror(errno));
        } else {
            snprintf(reply, replySize, "OK");
        }
    } else {
        snprintf(reply, replySize, "ERR unknown command");
    }
}

static void serve(int client) {
    static char buffer[1 << 17];
    size_t used = 0;
    for (;;) {
        const ssize_t n = read(client, buffer + used, sizeof buffer - 1 - used);
        if (n <= 0) {
            return;
        }
        used += (size_t)n;
        char* newline;
        while ((newline = memchr(buffer, '\n', used)) != NULL) {
            *newline = 0;
            if (newline > buffer && newline[-1] == '\r') {
                newline[-1] = 0;
            }
            char reply[256];
            command(buffer, reply, sizeof reply);
            strcat(reply, "\n");
            if (write_all(client, reply, strlen(reply)) < 0) {
                return;
            }
            used -= (size_t)(newline + 1 - buffer);
            memmove(buffer, newline + 1, used);
        }
        if (used == sizeof buffer - 1) {
            return;  // a line longer than any command
        }
    }
}

int main(int argc, char** argv) {
    if (argc != 4) {
        fprintf(stderr, "usage: pty-helper LINK LINESFILE PORTFILE\n");
        return 2;
    }
    g_link = argv[1];
    g_linesFile = argv[2];
    signal(SIGHUP, SIG_IGN);
    signal(SIGPIPE, SIG_IGN);
    signal(SIGCHLD, SIG_IGN);  // the sessions' children are reaped by the kernel
    if (new_pty() < 0) {
        fail("first pty");
    }
    const int server = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    struct sockaddr_in address = {0};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    if (server < 0 || bind(server, (struct sockaddr*)&address, sizeof address) < 0 ||
        listen(server, 4) < 0 || getsockname(server, (struct sockaddr*)&address, &length) < 0) {
        fail("listen");
    }
    char port[16];
    snprintf(port, sizeof port, "%u\n", ntohs(address.sin_port));
    if (write_file(argv[3], port) < 0) {
        fail("port file");
    }
    for (;;) {
        const int client = accept4(server, NULL, NULL, SOCK_CLOEXEC);
        if (client < 0) {
            if (errno == EINTR) {
                continue;
            }
            fail("accept");
        }
        serve(client);
        close(client);
    }
}
