#include "X11Probe.h"

#include <xcb/xcb.h>

#include <cstdlib>

namespace pellomar::platform {

std::optional<std::string> unreachableX11Display() {
    xcb_connection_t* c = xcb_connect(nullptr, nullptr);
    const int error = xcb_connection_has_error(c);
    xcb_disconnect(c);
    if (error == 0) return std::nullopt;
    return describeX11ConnectError(error);
}

std::string describeX11ConnectError(int xcbError) {
    std::string why;
    switch (xcbError) {
        case XCB_CONN_CLOSED_PARSE_ERR:
            why = "it is not a display name";
            break;
        case XCB_CONN_CLOSED_INVALID_SCREEN:
            why = "the server has no such screen";
            break;
        case XCB_CONN_CLOSED_MEM_INSUFFICIENT:
            why = "out of memory";
            break;
        default:
            why = "no X server accepted the connection (none runs there, or it refused this user)";
            break;
    }
    const char* display = std::getenv("DISPLAY");
    return "cannot connect to the X display \"" + std::string(display != nullptr ? display : "") +
           "\": " + why;
}

}  // namespace pellomar::platform
