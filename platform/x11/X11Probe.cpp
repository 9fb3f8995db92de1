#include "X11Probe.h"

#include <xcb/xcb.h>

#include <condition_variable>
#include <cstdlib>
#include <memory>
#include <mutex>
#include <thread>

#include "X11Limits.h"

namespace pellomar::platform {

namespace {
const char* displayOrEmpty() {
    const char* display = std::getenv("DISPLAY");
    return display != nullptr ? display : "";
}
}  // namespace

// xcb_connect waits for the server's set-up without a limit, and a grabbed or stopped server
// never sends it: the connection is made on a thread of its own, which is left to the process's
// end when the server does not answer in time.
xcb_connection_t* connectX11Within(std::chrono::milliseconds patience, bool* silent) {
    struct Attempt {
        std::mutex mutex;
        std::condition_variable done;
        xcb_connection_t* connection = nullptr;
        bool finished = false;
    };
    const auto attempt = std::make_shared<Attempt>();
    std::thread worker([attempt] {
        xcb_connection_t* c = xcb_connect(nullptr, nullptr);
        const std::lock_guard<std::mutex> lock(attempt->mutex);
        attempt->connection = c;
        attempt->finished = true;
        attempt->done.notify_one();
    });
    std::unique_lock<std::mutex> lock(attempt->mutex);
    if (!attempt->done.wait_for(lock, patience, [&] { return attempt->finished; })) {
        worker.detach();
        *silent = true;
        return nullptr;
    }
    lock.unlock();
    worker.join();
    return attempt->connection;
}

std::optional<std::string> unreachableX11Display() {
    // A grabbed or stopped server must not hang the test window or a box before either shows.
    bool silent = false;
    const std::chrono::milliseconds patience = X11Limits{}.serverPatience;
    xcb_connection_t* c = connectX11Within(patience, &silent);
    if (c == nullptr) {
        return "the X server at DISPLAY \"" + std::string(displayOrEmpty()) +
               "\" stopped answering (nothing for " + patienceText(patience) +
               "; another program may hold it grabbed)";
    }
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
    return "cannot connect to the X display \"" + std::string(displayOrEmpty()) + "\": " + why;
}

}  // namespace pellomar::platform
