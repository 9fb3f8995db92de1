#pragma once

// One connection to the X server for clipboard mode, on libxcb: the window that a request reads
// into and serves from, the atoms of the selection protocol, server timestamps and waiting for
// events with a deadline. Nothing here knows about the clipboard's rules.

#include <xcb/xcb.h>

#include <chrono>
#include <cstdint>
#include <cstdlib>
#include <memory>

namespace pellomar::platform {

using Clock = std::chrono::steady_clock;

// How long the clipboard's owner may take to answer, and how long an incremental transfer may
// go without progress, in either direction.
inline constexpr std::chrono::seconds kOwnerPatience{5};

struct FreeDeleter {
    void operator()(void* p) const { std::free(p); }
};
// libxcb hands out replies and events allocated with malloc.
template <typename T>
using XcbPtr = std::unique_ptr<T, FreeDeleter>;
using XcbEvent = XcbPtr<xcb_generic_event_t>;

struct X11Atoms {
    xcb_atom_t clipboard = XCB_NONE;
    xcb_atom_t targets = XCB_NONE;
    xcb_atom_t multiple = XCB_NONE;
    xcb_atom_t timestamp = XCB_NONE;
    xcb_atom_t incr = XCB_NONE;
    xcb_atom_t utf8String = XCB_NONE;
    xcb_atom_t textPlainUtf8 = XCB_NONE;  // text/plain;charset=utf-8
    xcb_atom_t atomPair = XCB_NONE;
    xcb_atom_t transfer = XCB_NONE;  // our window's property that conversions are put into
    xcb_atom_t clock = XCB_NONE;     // our window's property touched to learn the server time
};

class X11Connection {
  public:
    // Connects to the display that DISPLAY names and creates the window. Fails (75) with a
    // sentence that names the display when no server accepts the connection.
    X11Connection();
    // Shuts the connection down, unless it was left to a forked child.
    ~X11Connection();
    X11Connection(const X11Connection&) = delete;
    X11Connection& operator=(const X11Connection&) = delete;

    xcb_connection_t* get() const { return c_; }
    xcb_window_t window() const { return window_; }
    const X11Atoms& atoms() const { return atoms_; }
    // XFixes tells every change of the clipboard's owner; servers without it leave us only
    // SelectionClear and deadlines.
    bool hasXfixes() const { return xfixesFirstEvent_ != 0; }
    std::uint8_t xfixesFirstEvent() const { return xfixesFirstEvent_; }
    // The largest request the server takes, in bytes (BIG-REQUESTS included).
    std::size_t maxRequestBytes() const { return maxRequestBytes_; }

    // A real server timestamp, taken from the change of an empty property of our window.
    xcb_timestamp_t serverTime();

    // The next event, or nullptr once the deadline has passed. A broken connection is a
    // MorvantError (75).
    XcbEvent waitForEvent(Clock::time_point deadline);
    // The same without throwing: also nullptr when the connection is broken (see broken()).
    XcbEvent waitForEventNoThrow(Clock::time_point deadline);
    bool broken() const;

    // After fork the child goes on with this connection: the parent must only let go of its
    // descriptor at exit, never shut the shared socket down.
    void leaveToChild() { leftToChild_ = true; }
    int fd() const;

  private:
    xcb_connection_t* c_ = nullptr;
    xcb_window_t window_ = XCB_NONE;
    X11Atoms atoms_;
    std::uint8_t xfixesFirstEvent_ = 0;
    std::size_t maxRequestBytes_ = 0;
    bool leftToChild_ = false;
};

// The type of an event without the bit that marks events sent by other clients.
inline std::uint8_t eventType(const xcb_generic_event_t& event) {
    return event.response_type & 0x7f;
}

}  // namespace pellomar::platform
