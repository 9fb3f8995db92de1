#include "X11Connection.h"

#include <poll.h>
#include <sys/socket.h>
#include <xcb/xfixes.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstring>
#include <string>
#include <string_view>

#include "ErrorRecord.h"
#include "X11Probe.h"

namespace pellomar::platform {

namespace {

[[noreturn]] void throwLost() {
    throw MorvantError(ErrorNumber::PathFileAccessError,
                       "the connection to the X server was lost; the clipboard was left as it was");
}

}  // namespace

X11Connection::X11Connection(const X11Limits& limits) : limits_(limits) {
    c_ = xcb_connect(nullptr, nullptr);
    if (const int error = xcb_connection_has_error(c_)) {
        xcb_disconnect(c_);
        c_ = nullptr;
        throw MorvantError(ErrorNumber::PathFileAccessError,
                           describeX11ConnectError(error) + "; the clipboard was left as it was");
    }

    // Everything the set-up needs goes out at once and is answered in one round trip.
    constexpr std::array<std::string_view, 9> kNames = {
        "CLIPBOARD",   "TARGETS",   "MULTIPLE",           "TIMESTAMP",      "INCR",
        "UTF8_STRING", "ATOM_PAIR", "PELLOMAR_SELECTION", "PELLOMAR_CLOCK",
    };
    constexpr std::string_view kTextPlainUtf8 = "text/plain;charset=utf-8";
    std::array<xcb_intern_atom_cookie_t, kNames.size() + 1> cookies{};
    for (std::size_t i = 0; i < kNames.size(); ++i) {
        cookies[i] =
            xcb_intern_atom(c_, 0, static_cast<std::uint16_t>(kNames[i].size()), kNames[i].data());
    }
    cookies[kNames.size()] = xcb_intern_atom(
        c_, 0, static_cast<std::uint16_t>(kTextPlainUtf8.size()), kTextPlainUtf8.data());
    xcb_prefetch_extension_data(c_, &xcb_xfixes_id);
    xcb_prefetch_maximum_request_length(c_);

    const xcb_setup_t* setup = xcb_get_setup(c_);
    const xcb_screen_t* screen = xcb_setup_roots_iterator(setup).data;
    window_ = xcb_generate_id(c_);
    const std::uint32_t mask = XCB_EVENT_MASK_PROPERTY_CHANGE;
    xcb_create_window(c_, XCB_COPY_FROM_PARENT, window_, screen->root, 0, 0, 1, 1, 0,
                      XCB_WINDOW_CLASS_INPUT_ONLY, XCB_COPY_FROM_PARENT, XCB_CW_EVENT_MASK, &mask);

    std::array<xcb_atom_t, kNames.size() + 1> atoms{};
    for (std::size_t i = 0; i < cookies.size(); ++i) {
        XcbPtr<xcb_intern_atom_reply_t> reply(xcb_intern_atom_reply(c_, cookies[i], nullptr));
        if (!reply) throwLost();
        atoms[i] = reply->atom;
    }
    atoms_ = X11Atoms{.clipboard = atoms[0],
                      .targets = atoms[1],
                      .multiple = atoms[2],
                      .timestamp = atoms[3],
                      .incr = atoms[4],
                      .utf8String = atoms[5],
                      .textPlainUtf8 = atoms[kNames.size()],
                      .atomPair = atoms[6],
                      .transfer = atoms[7],
                      .clock = atoms[8]};

    maxRequestBytes_ = static_cast<std::size_t>(xcb_get_maximum_request_length(c_)) * 4;

    const xcb_query_extension_reply_t* xfixes = xcb_get_extension_data(c_, &xcb_xfixes_id);
    if (xfixes != nullptr && xfixes->present) {
        // The extension must be told which version we speak before it does anything.
        XcbPtr<xcb_xfixes_query_version_reply_t> version(xcb_xfixes_query_version_reply(
            c_, xcb_xfixes_query_version(c_, XCB_XFIXES_MAJOR_VERSION, XCB_XFIXES_MINOR_VERSION),
            nullptr));
        if (version) {
            xfixesFirstEvent_ = xfixes->first_event;
            xcb_xfixes_select_selection_input(
                c_, window_, atoms_.clipboard,
                XCB_XFIXES_SELECTION_EVENT_MASK_SET_SELECTION_OWNER |
                    XCB_XFIXES_SELECTION_EVENT_MASK_SELECTION_WINDOW_DESTROY |
                    XCB_XFIXES_SELECTION_EVENT_MASK_SELECTION_CLIENT_CLOSE);
        }
    }
}

X11Connection::~X11Connection() {
    if (c_ == nullptr) return;
    if (leftToChild_) return;  // the descriptor closes with the process; the child keeps its own
    xcb_disconnect(c_);
}

int X11Connection::fd() const {
    return xcb_get_file_descriptor(c_);
}

bool X11Connection::broken() const {
    return xcb_connection_has_error(c_) != 0;
}

xcb_timestamp_t X11Connection::serverTime() {
    xcb_change_property(c_, XCB_PROP_MODE_APPEND, window_, atoms_.clock, XCB_ATOM_INTEGER, 32, 0,
                        nullptr);
    // The server answers at once; the deadline only guards against a server that hangs.
    const Clock::time_point deadline = Clock::now() + limits_.serverPatience;
    for (;;) {
        XcbEvent event = waitForEvent(deadline);
        if (!event) {
            throw MorvantError(ErrorNumber::PathFileAccessError,
                               "the X server did not answer within " +
                                   patienceText(limits_.serverPatience) +
                                   "; the clipboard was left as it was");
        }
        if (eventType(*event) != XCB_PROPERTY_NOTIFY) continue;
        const auto& notify = reinterpret_cast<const xcb_property_notify_event_t&>(*event);
        if (notify.window == window_ && notify.atom == atoms_.clock) return notify.time;
    }
}

std::optional<X11Window> X11Connection::clipboardOwner() {
    XcbPtr<xcb_get_selection_owner_reply_t> owner(
        xcb_get_selection_owner_reply(c_, xcb_get_selection_owner(c_, atoms_.clipboard), nullptr));
    if (!owner) return std::nullopt;
    return owner->owner;
}

void X11Connection::requestConversion(X11Atom target, X11Time time) {
    xcb_delete_property(c_, window_, atoms_.transfer);
    xcb_convert_selection(c_, window_, atoms_.clipboard, target, atoms_.transfer, time);
}

std::optional<X11PropertyReply> X11Connection::readTransferProperty(std::uint32_t offset,
                                                                    std::uint32_t length) {
    XcbPtr<xcb_get_property_reply_t> reply(
        xcb_get_property_reply(c_,
                               xcb_get_property(c_, 1, window_, atoms_.transfer,
                                                XCB_GET_PROPERTY_TYPE_ANY, offset, length),
                               nullptr));
    if (!reply) return std::nullopt;
    const auto size = static_cast<std::size_t>(xcb_get_property_value_length(reply.get()));
    return X11PropertyReply{
        reply->type, reply->format,
        std::string(static_cast<const char*>(xcb_get_property_value(reply.get())), size),
        reply->bytes_after};
}

std::optional<X11Event> X11Connection::nextEvent(Clock::time_point deadline) {
    const XcbEvent event = waitForEventNoThrow(deadline);
    if (!event) return std::nullopt;
    const std::uint8_t type = eventType(*event);
    if (type == XCB_SELECTION_NOTIFY) {
        const auto& notify = reinterpret_cast<const xcb_selection_notify_event_t&>(*event);
        return X11SelectionNotify{notify.requestor, notify.selection, notify.target,
                                  notify.property, notify.time};
    }
    if (type == XCB_PROPERTY_NOTIFY) {
        const auto& notify = reinterpret_cast<const xcb_property_notify_event_t&>(*event);
        return X11PropertyNotify{notify.window, notify.atom,
                                 notify.state == XCB_PROPERTY_NEW_VALUE};
    }
    if (hasXfixes() && type == xfixesFirstEvent_ + XCB_XFIXES_SELECTION_NOTIFY) {
        const auto& notify = reinterpret_cast<const xcb_xfixes_selection_notify_event_t&>(*event);
        const X11OwnerNotify::Kind kind =
            notify.subtype == XCB_XFIXES_SELECTION_EVENT_SET_SELECTION_OWNER
                ? X11OwnerNotify::Kind::SetOwner
            : notify.subtype == XCB_XFIXES_SELECTION_EVENT_SELECTION_WINDOW_DESTROY
                ? X11OwnerNotify::Kind::WindowDestroyed
                : X11OwnerNotify::Kind::ClientClosed;
        return X11OwnerNotify{kind, notify.selection, notify.owner, notify.timestamp};
    }
    return X11OtherEvent{};
}

XcbEvent X11Connection::waitForEvent(Clock::time_point deadline) {
    XcbEvent event = waitForEventNoThrow(deadline);
    if (!event && broken()) throwLost();
    return event;
}

XcbEvent X11Connection::waitForEventNoThrow(Clock::time_point deadline) {
    xcb_flush(c_);
    for (;;) {
        if (xcb_generic_event_t* event = xcb_poll_for_event(c_)) return XcbEvent(event);
        if (broken()) return nullptr;
        const Clock::time_point now = Clock::now();
        if (now >= deadline) return nullptr;
        const auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - now).count();
        pollfd pfd{fd(), POLLIN, 0};
        const int ready = ::poll(&pfd, 1, static_cast<int>(std::min<long long>(left, 60'000)));
        if (ready < 0 && errno != EINTR) return nullptr;
    }
}

}  // namespace pellomar::platform
