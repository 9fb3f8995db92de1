#include "RequestLock.h"

#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <thread>

namespace pellomar::platform {

void RequestLock::acquire() {
    if (socket_) return;
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    // An abstract name starts with a NUL byte; the user's id keeps users apart.
    const std::string name = "pellomar-clipboard-" + std::to_string(::getuid()) + "-" + key_;
    const std::size_t length = std::min(name.size(), sizeof address.sun_path - 1);
    std::memcpy(address.sun_path + 1, name.data(), length);
    const auto size = static_cast<socklen_t>(offsetof(sockaddr_un, sun_path) + 1 + length);

    const auto deadline = std::chrono::steady_clock::now() + wait_;
    for (;;) {
        UniqueFd candidate(::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0));
        if (!candidate) return;
        if (::bind(candidate.get(), reinterpret_cast<const sockaddr*>(&address), size) == 0) {
            socket_ = std::move(candidate);
            return;
        }
        if (errno != EADDRINUSE || std::chrono::steady_clock::now() >= deadline) return;
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
}

}  // namespace pellomar::platform
