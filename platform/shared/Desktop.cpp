#include "Desktop.h"

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

}  // namespace pellomar::platform
