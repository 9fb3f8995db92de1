#pragma once

#include <chrono>

namespace pellomar::platform {

// The bounds of the POSIX services, in one place. The program always uses these values; tests
// pass shorter ones.
struct PosixLimits {
    // How long a clipboard request waits for the one before it on the same display
    // (RequestLock.h); a request holds the turn for seconds at the very most.
    std::chrono::milliseconds requestLockWait{10'000};
};

}  // namespace pellomar::platform
