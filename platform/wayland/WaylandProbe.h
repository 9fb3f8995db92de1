#pragma once

#include <optional>
#include <string>

namespace pellomar::platform {

// Why no Wayland compositor can be reached behind WAYLAND_DISPLAY, or nothing when one accepts a
// connection. Asked before Qt is started on it, because Qt aborts the process when it cannot
// connect.
std::optional<std::string> unreachableWaylandDisplay();

}  // namespace pellomar::platform
