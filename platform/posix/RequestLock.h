#pragma once

#include <chrono>
#include <string>
#include <utility>

#include "PosixLimits.h"
#include "UniqueFd.h"

namespace pellomar::platform {

// Lets one clipboard request at a time read and write the clipboard of a display, so that two
// presses of the hotkey at the same moment take turns: the second reads the first one's result
// instead of reading at the same time from the same owner, which some owners (xclip among them)
// serve wrongly to two readers at once. The lock is an abstract socket name that one process at
// a time can bind: nothing is written to disk, and it goes away with the process.
class RequestLock {
  public:
    // key tells displays apart (the value of DISPLAY, say).
    explicit RequestLock(std::string key, const PosixLimits& limits = {})
        : key_(std::move(key)), wait_(limits.requestLockWait) {}

    // Waits for the lock, at most limits.requestLockWait (10 seconds); after that, or where no
    // socket can be made, the request goes on without it.
    void acquire();
    void release() { socket_.reset(); }

  private:
    std::string key_;
    std::chrono::milliseconds wait_;
    UniqueFd socket_;
};

}  // namespace pellomar::platform
