#pragma once

#include <chrono>

namespace pellomar::platform {

// The bounds of the Win32 services, in one place. The program always uses these values; tests
// pass shorter ones.
struct Win32Limits {
    // How long a clipboard that another program holds open is waited for before the request
    // fails; other programs hold it for moments.
    std::chrono::milliseconds clipboardPatience{1'000};
};

}  // namespace pellomar::platform
