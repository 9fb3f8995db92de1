#pragma once

// One connection to the X server for clipboard mode, on libxcb: the window that a request reads
// into and serves from, the atoms of the selection protocol, server timestamps and waiting for
// events with a deadline. Nothing here knows about the clipboard's rules. The reader reaches it
// only through X11SelectionConnection; the serving of a result uses libxcb directly.

#include <xcb/xcb.h>

#include <cstdint>
#include <cstdlib>
#include <memory>
#include <string>
#include <type_traits>

#include "X11Limits.h"
#include "X11SelectionConnection.h"

namespace pellomar::platform {

// The reader's types and constants are the protocol's, as libxcb spells them.
static_assert(std::is_same_v<xcb_atom_t, X11Atom>);
static_assert(std::is_same_v<xcb_window_t, X11Window>);
static_assert(std::is_same_v<xcb_timestamp_t, X11Time>);
static_assert(kX11None == XCB_NONE);
static_assert(kX11CurrentTime == XCB_CURRENT_TIME);
static_assert(kX11AtomString == XCB_ATOM_STRING);

struct FreeDeleter {
    void operator()(void* p) const { std::free(p); }
};
// libxcb hands out replies and events allocated with malloc.
template <typename T>
using XcbPtr = std::unique_ptr<T, FreeDeleter>;
using XcbEvent = XcbPtr<xcb_generic_event_t>;

class X11Connection final : public X11SelectionConnection {
  public:
    // Connects to the display that DISPLAY names and creates the window. Fails (75) with a
    // sentence that names the display when no server accepts the connection.
    explicit X11Connection(const X11Limits& limits = {});
    // Shuts the connection down, unless it was left to a forked child.
    ~X11Connection() override;
    X11Connection(const X11Connection&) = delete;
    X11Connection& operator=(const X11Connection&) = delete;

    xcb_connection_t* get() const { return c_; }
    xcb_window_t window() const override { return window_; }
    const X11Atoms& atoms() const override { return atoms_; }
    // XFixes tells every change of the clipboard's owner; servers without it leave us only
    // SelectionClear and deadlines.
    bool hasXfixes() const { return xfixesFirstEvent_ != 0; }
    std::uint8_t xfixesFirstEvent() const { return xfixesFirstEvent_; }
    // The largest request the server takes, in bytes (BIG-REQUESTS included).
    std::size_t maxRequestBytes() const { return maxRequestBytes_; }

    // A real server timestamp, taken from the change of an empty property of our window.
    xcb_timestamp_t serverTime() override;

    // The next event, or nullptr once the deadline has passed. A broken connection is a
    // MorvantError (75).
    XcbEvent waitForEvent(Clock::time_point deadline);
    // The same without throwing: also nullptr when the connection is broken (see broken()).
    XcbEvent waitForEventNoThrow(Clock::time_point deadline);
    bool broken() const override;
    bool silent() const override { return silent_; }

    // The reader's view (X11SelectionConnection.h).
    Clock::time_point now() const override { return Clock::now(); }
    std::optional<X11Window> clipboardOwner() override;
    void requestConversion(X11Atom target, X11Time time) override;
    std::optional<X11PropertyReply> readTransferProperty(std::uint32_t offset,
                                                         std::uint32_t length) override;
    std::optional<X11Event> nextEvent(Clock::time_point deadline) override;
    std::optional<X11Event> queuedEvent() override;
    std::optional<std::string> atomName(X11Atom atom) override;

    // After fork the child goes on with this connection: the parent must only let go of its
    // descriptor at exit, never shut the shared socket down.
    void leaveToChild() { leftToChild_ = true; }
    int fd() const;

  private:
    // The reply to a request, awaited for limits_.serverPatience at most: nullptr after an
    // error, a lost connection, or a server that did not answer in time (then silent()).
    template <typename Reply, typename Cookie>
    Reply* awaitReply(Cookie cookie) {
        return static_cast<Reply*>(awaitReplyBytes(cookie.sequence));
    }
    void* awaitReplyBytes(unsigned int sequence);
    X11Event translate(const xcb_generic_event_t& event) const;
    [[noreturn]] void throwLostOrSilent() const;

    X11Limits limits_;
    xcb_connection_t* c_ = nullptr;
    xcb_window_t window_ = XCB_NONE;
    X11Atoms atoms_;
    std::uint8_t xfixesFirstEvent_ = 0;
    std::size_t maxRequestBytes_ = 0;
    bool leftToChild_ = false;
    bool silent_ = false;
};

// The type of an event without the bit that marks events sent by other clients.
inline std::uint8_t eventType(const xcb_generic_event_t& event) {
    return event.response_type & 0x7f;
}

}  // namespace pellomar::platform
