#pragma once

#include <functional>

namespace pellomar::platform {

// On X11 the clipboard's content lives in the process that set it, so a result must outlive the
// program that the hotkey started. serveDetached forks a child that runs serve and ends; the
// parent returns true at once. The child starts a new session, changes to / (so that no file
// system is kept busy), points descriptors 0-2 at /dev/null whatever the program was started
// with (a caller reading dovlek's output through a pipe sees its end when dovlek returns), and
// closes every other inherited descriptor but keepFd. Returns false, with no child, when the
// process cannot be forked.
bool serveDetached(int keepFd, const std::function<void()>& serve);

}  // namespace pellomar::platform
