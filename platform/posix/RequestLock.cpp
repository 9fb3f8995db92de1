#include "RequestLock.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <thread>

namespace pellomar::platform {

namespace {

// The key as a file name: bytes that a name cannot hold, or that would make two keys alike
// ('/' in an absolute WAYLAND_DISPLAY, '%' itself), become %XX.
std::string lockFileName(const std::string& key) {
    static constexpr char kHex[] = "0123456789ABCDEF";
    std::string name = "pellomar-clipboard-";
    for (const char c : key.substr(0, 64)) {
        const auto byte = static_cast<unsigned char>(c);
        const bool plain = (byte >= '0' && byte <= '9') || (byte >= 'A' && byte <= 'Z') ||
                           (byte >= 'a' && byte <= 'z') || c == '.' || c == '-' || c == '_' ||
                           c == ':';
        if (plain) {
            name += c;
        } else {
            name += '%';
            name += kHex[byte >> 4];
            name += kHex[byte & 0xF];
        }
    }
    return name + ".lock";
}

// The lock file, created if need be, never through a link; an empty descriptor when it cannot
// be opened or is not a regular file of the user's.
UniqueFd openLockFile(const std::string& key) {
    const UniqueFd directory = openPrivateRuntimeDirectory();
    if (!directory) return {};
    UniqueFd file(::openat(directory.get(), lockFileName(key).c_str(),
                           O_RDWR | O_CREAT | O_NOFOLLOW | O_CLOEXEC, 0600));
    struct stat info {};
    if (!file || ::fstat(file.get(), &info) != 0 || !S_ISREG(info.st_mode) ||
        info.st_uid != ::geteuid()) {
        return {};
    }
    return file;
}

}  // namespace

UniqueFd openPrivateRuntimeDirectory() {
    const char* path = std::getenv("XDG_RUNTIME_DIR");
    if (path == nullptr || path[0] != '/') return {};
    // O_NOFOLLOW refuses a link as the last component; the checks run on what was opened, so
    // nothing can be swapped in between.
    UniqueFd directory(::open(path, O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
    struct stat info {};
    if (!directory || ::fstat(directory.get(), &info) != 0 || !S_ISDIR(info.st_mode) ||
        info.st_uid != ::geteuid() || (info.st_mode & 077) != 0) {
        return {};
    }
    return directory;
}

void RequestLock::acquire() {
    if (file_) return;
    UniqueFd file = openLockFile(key_);
    if (!file) return;
    const auto deadline = std::chrono::steady_clock::now() + wait_;
    for (;;) {
        if (::flock(file.get(), LOCK_EX | LOCK_NB) == 0) {
            file_ = std::move(file);
            return;
        }
        if ((errno != EWOULDBLOCK && errno != EINTR) ||
            std::chrono::steady_clock::now() >= deadline) {
            return;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
}

}  // namespace pellomar::platform
