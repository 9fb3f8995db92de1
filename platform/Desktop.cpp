#include "Desktop.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>

namespace pellomar::platform {

namespace {

bool envSet(const char* name) {
    const char* value = std::getenv(name);
    return value != nullptr && *value != '\0';
}

}  // namespace

DesktopKind detectDesktop() {
    if (envSet("DISPLAY")) return DesktopKind::X11;
    if (envSet("WAYLAND_DISPLAY")) return DesktopKind::Wayland;
    return DesktopKind::None;
}

const char* qtPlatformName(DesktopKind kind) {
    return kind == DesktopKind::Wayland ? "wayland" : "xcb";
}

void keepStandardDescriptorsOpen() {
    for (int fd = 0; fd <= 2; ++fd) {
        if (::fcntl(fd, F_GETFD) >= 0 || errno != EBADF) continue;
        // open returns the lowest free descriptor, which is this one.
        const int opened = ::open("/dev/null", O_RDWR);
        if (opened >= 0 && opened != fd) {
            ::dup2(opened, fd);
            ::close(opened);
        }
    }
}

}  // namespace pellomar::platform
