#include "WaylandProbe.h"

#include <sys/socket.h>
#include <sys/un.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>

#include "UniqueFd.h"

namespace pellomar::platform {

namespace {

bool envSet(const char* name) {
    const char* value = std::getenv(name);
    return value != nullptr && *value != '\0';
}

// The variable's value, or the empty text when it is not set.
std::string env(const char* name) {
    const char* value = std::getenv(name);
    return value != nullptr ? value : "";
}

std::string quotedEnv(const char* name) {
    return "\"" + env(name) + "\"";
}

}  // namespace

// A Wayland compositor listens on a socket in XDG_RUNTIME_DIR (or at an absolute path); a
// connection that is accepted is enough to know that one runs.
std::optional<std::string> unreachableWaylandDisplay() {
    if (envSet("WAYLAND_SOCKET")) return std::nullopt;  // handed over by a launcher
    if (!envSet("WAYLAND_DISPLAY")) return "WAYLAND_DISPLAY is not set";
    const std::string display = env("WAYLAND_DISPLAY");
    std::string path = display;
    if (display.front() != '/') {
        if (!envSet("XDG_RUNTIME_DIR")) {
            return "the Wayland display " + quotedEnv("WAYLAND_DISPLAY") +
                   " cannot be reached: XDG_RUNTIME_DIR is not set";
        }
        path = env("XDG_RUNTIME_DIR") + "/" + display;
    }
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    if (path.size() >= sizeof address.sun_path) {
        return "the Wayland display " + quotedEnv("WAYLAND_DISPLAY") +
               " cannot be reached: its socket path is too long";
    }
    std::memcpy(address.sun_path, path.c_str(), path.size() + 1);
    const UniqueFd socket(::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0));
    if (socket &&
        ::connect(socket.get(), reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0) {
        return std::nullopt;
    }
    const int err = errno;
    return "the Wayland display " + quotedEnv("WAYLAND_DISPLAY") +
           " cannot be reached: no compositor answers at " + path + " (" + std::strerror(err) + ")";
}

}  // namespace pellomar::platform
