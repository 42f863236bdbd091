// The lock file terminal programs (minicom, cu, screen) use to announce a serial device they
// hold: LCK..<device> in /run/lock, holding the holder's process id as ten digits and a
// newline. Honoured and held while a port is open, so that neither side takes a device the
// other holds, root included.
#pragma once

#include <memory>
#include <string>

namespace platform::posix {

class UucpLock {
public:
    // Takes the lock of `devicePath`: nullptr with `error` EBUSY while a living process holds
    // it. A lock whose process no longer lives is stale and taken over. Where the lock folder
    // cannot be written (it is missing, or this user may not), no lock is taken and the
    // device opens without one (error 0, an empty lock).
    static std::unique_ptr<UucpLock> acquire(const std::string& devicePath, int& error,
                                             const std::string& folder = "/run/lock");
    ~UucpLock();
    UucpLock(const UucpLock&) = delete;
    UucpLock& operator=(const UucpLock&) = delete;

    // The lock file's path; empty when none could be taken.
    const std::string& path() const { return m_path; }
    // LCK..ttyS2 for /dev/ttyS2, LCK..pts_3 for /dev/pts/3 (links resolved first).
    static std::string fileName(const std::string& devicePath);

private:
    explicit UucpLock(std::string path) : m_path(std::move(path)) {}
    std::string m_path;
};

}  // namespace platform::posix
