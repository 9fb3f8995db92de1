#include "FdIo.h"

#include <unistd.h>

#include <array>
#include <cerrno>

namespace pellomar::platform {

int writeAll(int fd, std::string_view bytes) {
    while (!bytes.empty()) {
        const ssize_t put = ::write(fd, bytes.data(), bytes.size());
        if (put < 0) {
            if (errno == EINTR) continue;
            return errno;
        }
        bytes.remove_prefix(static_cast<std::size_t>(put));
    }
    return 0;
}

int readToEnd(int fd, std::string& out) {
    std::array<char, 65536> buffer{};
    for (;;) {
        const ssize_t got = ::read(fd, buffer.data(), buffer.size());
        if (got < 0) {
            if (errno == EINTR) continue;
            return errno;
        }
        if (got == 0) return 0;
        out.append(buffer.data(), static_cast<std::size_t>(got));
    }
}

}  // namespace pellomar::platform
