#pragma once

#include <xcb/xcb.h>

#include <chrono>
#include <optional>
#include <string>

namespace pellomar::platform {

// Why no X server can be reached at DISPLAY, or nothing when one accepts a connection. Asked
// before Qt is started on it, because Qt aborts the process when it cannot connect.
std::optional<std::string> unreachableX11Display();

// xcb_connect, given at most patience to answer: nothing (and *silent set) when the server did
// not, else the connection, which may carry an error.
xcb_connection_t* connectX11Within(std::chrono::milliseconds patience, bool* silent);

// The sentence for a failed xcb_connect, naming the display.
std::string describeX11ConnectError(int xcbError);

}  // namespace pellomar::platform
