#pragma once

#include <string>
#include <vector>

#include "Clipboard.h"
#include "ExitStatus.h"

// What every host's basMain shares: the mode choice's test and the clipboard request.
namespace pellomar::basMain {

// The argument text: the arguments after the program's name, joined by single spaces.
std::string ArgumentText(const std::vector<std::string>& args);

// "DEBUG", exact case, anywhere in the argument text (also inside a longer word).
bool WantsTestWindow(const std::string& argumentText);

// One clipboard request: read, lay out on a fresh clsMorvant, clear, write. A failed request
// and a clipboard without text both leave the clipboard as it was, so nothing the user copied
// is lost. Returns the exit status; errors nothing inside catches pass to the caller.
int ArrangeClipboard(platform::Clipboard& clipboard);

// Main, the mode choice itself, is each host's own: app/linux/basMainLinux.h and
// app/windows/WinMain.cpp.

}  // namespace pellomar::basMain
