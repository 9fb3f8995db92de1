#pragma once

#include <string>
#include <vector>

namespace pellomar::basMain {

// Chooses the mode and the desktop (X11, Wayland, or standard input and output where there is
// none), runs it, and returns the exit status.
int Main(const std::vector<std::string>& args);

}  // namespace pellomar::basMain
