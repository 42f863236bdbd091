// Stands in for the maker's uploader: each start appends one line to the file named by
// UPLOADER_STUB_LOG, a JSON array of its arguments (without the program name).
#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <string>

namespace {

std::string jsonString(const char* text) {
    std::string out = "\"";
    for (const char* p = text; *p; ++p) {
        const auto c = static_cast<unsigned char>(*p);
        if (c == '"' || c == '\\') {
            out += '\\';
            out += static_cast<char>(c);
        } else if (c < 0x20) {
            char escaped[8];
            std::snprintf(escaped, sizeof escaped, "\\u%04x", c);
            out += escaped;
        } else {
            out += static_cast<char>(c);  // UTF-8 passes through as it came
        }
    }
    return out + "\"";
}

}  // namespace

int main(int argc, char** argv) {
    const char* log = std::getenv("UPLOADER_STUB_LOG");
    if (!log || !*log) {
        std::fprintf(stderr, "uploader-stub: UPLOADER_STUB_LOG is not set\n");
        return 2;
    }
    std::string line = "[";
    for (int i = 1; i < argc; ++i) {
        line += (i > 1 ? "," : "") + jsonString(argv[i]);
    }
    line += "]\n";
    const int fd = ::open(log, O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0644);
    if (fd < 0) {
        std::perror("uploader-stub");
        return 1;
    }
    // Many copies run at once: one locked write per start keeps lines whole.
    ::flock(fd, LOCK_EX);
    const bool written = ::write(fd, line.data(), line.size()) == static_cast<ssize_t>(line.size());
    ::flock(fd, LOCK_UN);
    ::close(fd);
    return written ? 0 : 1;
}
