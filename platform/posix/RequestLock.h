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
// serve wrongly to two readers at once.
//
// The lock is a file lock (flock) on a file in the user's XDG_RUNTIME_DIR, taken only when that
// is a directory of the user's own that nobody else may enter (mode 0700, not a symbolic link).
// Any name that another user can create first (an abstract socket, a file in /tmp) would let
// that user hold every press up; so without such a directory requests do not take turns. The
// lock goes away with the descriptor, whatever way the process ends.
class RequestLock {
  public:
    // key tells displays apart (the value of DISPLAY, say); it becomes part of the file's name.
    explicit RequestLock(std::string key, const PosixLimits& limits = {})
        : key_(std::move(key)), wait_(limits.requestLockWait) {}

    // Waits for the lock, at most limits.requestLockWait (10 seconds); after that, or without a
    // private runtime directory, the request goes on without it.
    void acquire();
    // Closes the descriptor, which is what lets the next request go: call it before forking, or
    // the child would hold the lock on with its copy.
    void release() { file_.reset(); }
    bool held() const { return static_cast<bool>(file_); }

  private:
    std::string key_;
    std::chrono::milliseconds wait_;
    UniqueFd file_;
};

// XDG_RUNTIME_DIR opened as a directory, when it is an absolute path to a directory (not a
// link) owned by the effective user with no access for group or others; an empty descriptor
// otherwise.
UniqueFd openPrivateRuntimeDirectory();

}  // namespace pellomar::platform
