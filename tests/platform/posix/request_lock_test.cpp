#include <gtest/gtest.h>
#include <signal.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "RequestLock.h"
#include "Support.h"
#include "UniqueFd.h"

extern char** environ;

namespace pellomar {
namespace {

namespace fs = std::filesystem;
using platform::PosixLimits;
using platform::RequestLock;
using Clock = std::chrono::steady_clock;

constexpr std::chrono::milliseconds kShortWait{150};

// XDG_RUNTIME_DIR as a case sets it (nothing: unset), and as it was again afterwards.
class RuntimeDir {
  public:
    explicit RuntimeDir(const std::optional<std::string>& value) {
        if (const char* old = std::getenv("XDG_RUNTIME_DIR")) old_ = old;
        if (value) {
            ::setenv("XDG_RUNTIME_DIR", value->c_str(), 1);
        } else {
            ::unsetenv("XDG_RUNTIME_DIR");
        }
    }
    ~RuntimeDir() {
        if (old_) {
            ::setenv("XDG_RUNTIME_DIR", old_->c_str(), 1);
        } else {
            ::unsetenv("XDG_RUNTIME_DIR");
        }
    }
    RuntimeDir(const RuntimeDir&) = delete;
    RuntimeDir& operator=(const RuntimeDir&) = delete;

  private:
    std::optional<std::string> old_;
};

fs::path privateDir(const fs::path& under, const char* name) {
    fs::path dir = under / name;
    fs::create_directory(dir);
    ::chmod(dir.c_str(), 0700);
    return dir;
}

// Whether a second request on the same key has to wait while a first one holds the turn; a
// second request that does not take turns goes on at once, without the lock.
struct Turns {
    bool firstHeld = false;
    bool secondHeld = false;
    std::chrono::milliseconds secondWaited{};
};
Turns tryTwo(const std::string& key) {
    const PosixLimits limits{.requestLockWait = kShortWait};
    RequestLock first(key, limits);
    RequestLock second(key, limits);
    first.acquire();
    const auto start = Clock::now();
    second.acquire();
    return {first.held(), second.held(),
            std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start)};
}

// Requests take turns only in a directory that no other user can enter or have made: anything
// else would let another user hold the name and every press up.
TEST(request_lock_test, takes_turns_only_in_a_private_runtime_directory) {
    const testing_support::TempDir temp;
    const fs::path good = privateDir(temp.path(), "good");
    struct Case {
        const char* what;
        std::function<std::optional<std::string>()> runtimeDir;
        bool turns;
    };
    const Case cases[] = {
        {"a 0700 directory of the user's", [&] { return good.string(); }, true},
        {"the same through a trailing slash", [&] { return good.string() + "/"; }, true},
        {"readable by everyone (0755)",
         [&] {
             const fs::path dir = privateDir(temp.path(), "open");
             ::chmod(dir.c_str(), 0755);
             return dir.string();
         },
         false},
        {"enterable by the group (0710)",
         [&] {
             const fs::path dir = privateDir(temp.path(), "group");
             ::chmod(dir.c_str(), 0710);
             return dir.string();
         },
         false},
        {"world-writable with the sticky bit, as /tmp",
         [&] {
             const fs::path dir = privateDir(temp.path(), "sticky");
             ::chmod(dir.c_str(), 01777);
             return dir.string();
         },
         false},
        {"a symbolic link to a good directory",
         [&] {
             const fs::path link = temp.path() / "link";
             fs::create_directory_symlink(good, link);
             return link.string();
         },
         false},
        {"a relative path", [&] { return fs::relative(good).string(); }, false},
        {"a regular file",
         [&] {
             const fs::path file = temp.path() / "file";
             std::ofstream(file) << "x";
             ::chmod(file.c_str(), 0700);
             return file.string();
         },
         false},
        {"a directory that does not exist", [&] { return (temp.path() / "none").string(); }, false},
        {"set and empty", [] { return std::string(); }, false},
        {"not set", [] { return std::nullopt; }, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const RuntimeDir env(c.runtimeDir());
        const Turns turns = tryTwo(":0");
        EXPECT_EQ(turns.firstHeld, c.turns);
        EXPECT_FALSE(turns.secondHeld);
        if (c.turns) {
            EXPECT_GE(turns.secondWaited, kShortWait);
        } else {
            EXPECT_LT(turns.secondWaited, kShortWait);
        }
    }
}

// Another user's directory with the right mode is no better than an open one.
TEST(request_lock_test, no_turns_in_a_directory_of_another_user) {
    if (::geteuid() != 0) GTEST_SKIP() << "only root can give a directory to another user";
    const testing_support::TempDir temp;
    const fs::path dir = privateDir(temp.path(), "theirs");
    ASSERT_EQ(::chown(dir.c_str(), 65534, 65534), 0);
    const RuntimeDir env(dir.string());
    const Turns turns = tryTwo(":0");
    EXPECT_FALSE(turns.firstHeld);
    EXPECT_LT(turns.secondWaited, kShortWait);
}

// The abstract socket names that earlier versions locked with can be bound by any user; holding
// them must neither delay a request nor take its turn away.
TEST(request_lock_test, abstract_names_held_elsewhere_do_not_delay) {
    const testing_support::TempDir temp;
    const RuntimeDir env(privateDir(temp.path(), "run").string());
    const std::string name = "pellomar-clipboard-" + std::to_string(::getuid()) + "-:0";
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    std::memcpy(address.sun_path + 1, name.data(), name.size());
    const platform::UniqueFd squatter(::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0));
    ASSERT_EQ(::bind(squatter.get(), reinterpret_cast<const sockaddr*>(&address),
                     static_cast<socklen_t>(offsetof(sockaddr_un, sun_path) + 1 + name.size())),
              0);
    const Turns turns = tryTwo(":0");
    EXPECT_TRUE(turns.firstHeld);
    EXPECT_FALSE(turns.secondHeld);
}

// The lock file is never reached through a link, even in the user's own directory: the link's
// target is neither created nor locked.
TEST(request_lock_test, lock_file_is_not_followed_through_a_link) {
    const testing_support::TempDir temp;
    const fs::path dir = privateDir(temp.path(), "run");
    const RuntimeDir env(dir.string());
    {
        RequestLock lock(":0");
        lock.acquire();
        ASSERT_TRUE(lock.held());
    }
    const std::vector<fs::path> made{fs::directory_iterator(dir), fs::directory_iterator()};
    ASSERT_EQ(made.size(), 1U);
    const fs::path target = temp.path() / "target";
    fs::remove(made.front());
    fs::create_symlink(target, made.front());
    RequestLock lock(":0", PosixLimits{.requestLockWait = kShortWait});
    lock.acquire();
    EXPECT_FALSE(lock.held());
    EXPECT_FALSE(fs::exists(target));
}

// Displays do not wait for each other, also when their names differ only in what a file name
// cannot hold; the same display always does.
TEST(request_lock_test, keys_are_kept_apart) {
    const testing_support::TempDir temp;
    const RuntimeDir env(privateDir(temp.path(), "run").string());
    struct Case {
        const char* first;
        const char* second;
    };
    const Case cases[] = {
        {":0", ":1"},
        {":0", "wayland-display-:0"},
        {"/run/a/wayland-0", "_run_a_wayland-0"},
        {"/x", "%2Fx"},
        {"a b", "a_b"},
        {"", " "},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.first) + " / " + c.second);
        const PosixLimits limits{.requestLockWait = kShortWait};
        RequestLock first(c.first, limits);
        RequestLock second(c.second, limits);
        first.acquire();
        second.acquire();
        EXPECT_TRUE(first.held());
        EXPECT_TRUE(second.held());
    }
    EXPECT_FALSE(tryTwo("/run/a/wayland-0").secondHeld);
}

// The next request goes as soon as the turn is released, also while a program started during
// the turn still runs (wl-copy's serving process, say): the lock's descriptor must not be
// inherited across exec.
TEST(request_lock_test, release_lets_the_next_go_and_programs_do_not_inherit_it) {
    const testing_support::TempDir temp;
    const RuntimeDir env(privateDir(temp.path(), "run").string());
    RequestLock first(":0");
    first.acquire();
    ASSERT_TRUE(first.held());
    pid_t child = -1;
    const char* argv[] = {"sleep", "5", nullptr};
    ASSERT_EQ(::posix_spawnp(&child, "sleep", nullptr, nullptr, const_cast<char**>(argv), environ),
              0);
    first.release();
    EXPECT_FALSE(first.held());
    RequestLock second(":0", PosixLimits{.requestLockWait = kShortWait});
    const auto start = Clock::now();
    second.acquire();
    EXPECT_TRUE(second.held());
    EXPECT_LT(Clock::now() - start, kShortWait);
    ::kill(child, SIGKILL);
    ::waitpid(child, nullptr, 0);
}

}  // namespace
}  // namespace pellomar
