#pragma once

#include <chrono>

namespace pellomar::platform {

// The bounds of the Wayland clipboard, in one place. The program always uses these values;
// tests pass shorter ones.
struct WaylandLimits {
    // How long wl-paste may go without giving output, and wl-copy's foreground process without
    // taking input or ending (the process it leaves behind to serve is not waited for).
    std::chrono::milliseconds programPatience{5'000};
};

}  // namespace pellomar::platform
