#pragma once

#include <optional>
#include <string>

#include "Desktop.h"

namespace pellomar::platform {

// Why the desktop cannot be reached (no X server at DISPLAY, no compositor behind
// WAYLAND_DISPLAY), or nothing when it answers. Asked before Qt is started on it, because Qt
// aborts the process when it cannot connect.
std::optional<std::string> unreachableDesktop(DesktopKind kind);

// The sentence for a failed xcb_connect, naming the display.
std::string describeX11ConnectError(int xcbError);

}  // namespace pellomar::platform
