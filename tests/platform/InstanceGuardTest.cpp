// The single-instance guard on Linux: held until the process ends however it ends, per
// user, and out of reach of other users.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <string>

#include "platform/InstanceGuard.h"

namespace {

using platform::holdInstanceName;
using platform::InstanceName;

constexpr uid_t kOtherUser = 65534;  // nobody

std::string uniqueName(const char* tag) {
    return std::string("guard test ") + tag + " " + std::to_string(::getpid());
}

// Runs `body` in a child process, as `uid` when given; its exit code, or -1.
template <typename Body>
int inChild(Body body, uid_t uid = static_cast<uid_t>(-1)) {
    const pid_t child = ::fork();
    if (child == 0) {
        if (uid != static_cast<uid_t>(-1) && (::setgid(uid) != 0 || ::setuid(uid) != 0)) {
            ::_exit(99);
        }
        ::_exit(body());
    }
    int status = 0;
    ::waitpid(child, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

int code(InstanceName result) {
    return static_cast<int>(result);
}

// Each test gets a temporary folder of its own and no runtime folder.
class Guard : public ::testing::Test {
protected:
    void SetUp() override {
        char pattern[] = "/tmp/guard-test.XXXXXX";
        ASSERT_NE(::mkdtemp(pattern), nullptr);
        tmp = pattern;
        ::chmod(tmp.c_str(), 01777);  // as /tmp is: every user may create in it
        ::setenv("TMPDIR", tmp.c_str(), 1);
        const char* runtime = std::getenv("XDG_RUNTIME_DIR");
        savedRuntime = runtime ? runtime : "";
        ::unsetenv("XDG_RUNTIME_DIR");
    }
    void TearDown() override {
        if (!savedRuntime.empty()) {
            ::setenv("XDG_RUNTIME_DIR", savedRuntime.c_str(), 1);
        }
        ::unsetenv("TMPDIR");
        std::system(("rm -rf " + tmp).c_str());
    }

    std::string tmp;
    std::string savedRuntime;
};

TEST_F(Guard, HeldUntilTheHolderEndsHoweverItEnds) {
    const std::string name = uniqueName("held");
    int ready[2];
    ASSERT_EQ(::pipe(ready), 0);
    const pid_t holder = ::fork();
    if (holder == 0) {
        const char held = holdInstanceName(name) == InstanceName::Created ? 1 : 0;
        [[maybe_unused]] const ssize_t n = ::write(ready[1], &held, 1);
        ::pause();
        ::_exit(0);
    }
    char held = 0;
    ASSERT_EQ(::read(ready[0], &held, 1), 1);
    ASSERT_EQ(held, 1);
    EXPECT_EQ(inChild([&] { return code(holdInstanceName(name)); }),
              code(InstanceName::AlreadyExists));
    // Killed outright: the kernel lets go of it.
    ::kill(holder, SIGKILL);
    ::waitpid(holder, nullptr, 0);
    EXPECT_EQ(inChild([&] { return code(holdInstanceName(name)); }), code(InstanceName::Created));
    // Another name is another guard.
    EXPECT_EQ(inChild([&] { return code(holdInstanceName(name + "/other")); }),
              code(InstanceName::Created));
    ::close(ready[0]);
    ::close(ready[1]);
}

TEST_F(Guard, TheRuntimeFolderHoldsItWhenItIsTheUsersOwn) {
    const std::string runtime = tmp + "/runtime";
    ASSERT_EQ(::mkdir(runtime.c_str(), 0700), 0);
    ::setenv("XDG_RUNTIME_DIR", runtime.c_str(), 1);
    const std::string name = uniqueName("runtime");
    EXPECT_EQ(inChild([&] { return code(holdInstanceName(name)); }), code(InstanceName::Created));
    struct stat info {};
    EXPECT_EQ(
        ::stat(
            (runtime + "/guard%20test%20runtime%20" + std::to_string(::getpid()) + ".lock").c_str(),
            &info),
        0);
    // A runtime folder others can enter is not used.
    ::chmod(runtime.c_str(), 0755);
    EXPECT_EQ(inChild([&] { return code(holdInstanceName(name + "-b")); }),
              code(InstanceName::Created));
    EXPECT_NE(
        ::access((runtime + "/guard%20test%20runtime%20" + std::to_string(::getpid()) + "-b.lock")
                     .c_str(),
                 F_OK),
        0);
}

// Another user can neither block this user's guard nor be blocked by it.
TEST_F(Guard, OtherUsersCannotReachIt) {
    if (::getuid() != 0) {
        GTEST_SKIP() << "needs root to act as another user";
    }
    const std::string name = uniqueName("users");
    // The other user holds the name first, and tries to squat this user's folder.
    int ready[2];
    ASSERT_EQ(::pipe(ready), 0);
    const pid_t other = ::fork();
    if (other == 0) {
        if (::setgid(kOtherUser) != 0 || ::setuid(kOtherUser) != 0) {
            ::_exit(99);
        }
        char held = holdInstanceName(name) == InstanceName::Created ? 1 : 0;
        // A folder where this user's guard would go, made by the other user.
        const std::string squat = tmp + "/.instance-0";
        held = held && ::mkdir(squat.c_str(), 0700) == 0 ? 1 : 0;
        [[maybe_unused]] const ssize_t n = ::write(ready[1], &held, 1);
        ::pause();
        ::_exit(0);
    }
    char held = 0;
    ASSERT_EQ(::read(ready[0], &held, 1), 1);
    ASSERT_EQ(held, 1);
    // Its folder is not ours: the guard cannot be held there, and nothing is refused.
    EXPECT_EQ(inChild([&] { return code(holdInstanceName(name)); }), code(InstanceName::Failed));
    ::kill(other, SIGKILL);
    ::waitpid(other, nullptr, 0);

    // With a folder of our own, the other user's holding changes nothing for us.
    std::system(("rm -rf " + tmp + "/.instance-0").c_str());
    EXPECT_EQ(inChild([&] { return code(holdInstanceName(name)); }), code(InstanceName::Created));
    struct stat info {};
    ASSERT_EQ(::lstat((tmp + "/.instance-0").c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0700u);
    EXPECT_EQ(info.st_uid, 0u);
    ::close(ready[0]);
    ::close(ready[1]);
}

}  // namespace
