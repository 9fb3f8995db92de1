#include "X11Connection.h"

#include <poll.h>
#include <sys/socket.h>
#include <xcb/xfixes.h>

#include <xcb/bigreq.h>
#include <xcb/xcbext.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstring>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

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
    c_ = connectX11Within(limits_.serverPatience, &silent_);
    if (c_ == nullptr) {
        throw MorvantError(ErrorNumber::PathFileAccessError,
                           serverSilentText(limits_.serverPatience));
    }
    if (const int error = xcb_connection_has_error(c_)) {
        xcb_disconnect(c_);
        c_ = nullptr;
        throw MorvantError(ErrorNumber::PathFileAccessError,
                           describeX11ConnectError(error) + "; the clipboard was left as it was");
    }

    // Everything the set-up needs goes out at once and is answered in one round trip. The
    // extensions are asked about first: once the atoms are answered, so are they, and libxcb
    // finds their answers without waiting again.
    xcb_prefetch_extension_data(c_, &xcb_xfixes_id);
    xcb_prefetch_extension_data(c_, &xcb_big_requests_id);
    constexpr std::array<std::string_view, 10> kNames = {
        "CLIPBOARD",   "TARGETS",   "MULTIPLE",           "TIMESTAMP",      "INCR",
        "UTF8_STRING", "ATOM_PAIR", "PELLOMAR_SELECTION", "PELLOMAR_CLOCK", "TEXT",
    };
    constexpr std::string_view kTextPlainUtf8 = "text/plain;charset=utf-8";
    std::vector<std::string_view> names(kNames.begin(), kNames.end());
    names.push_back(kTextPlainUtf8);
    names.insert(names.end(), kFileListTypes.begin(), kFileListTypes.end());
    std::vector<xcb_intern_atom_cookie_t> cookies;
    cookies.reserve(names.size());
    for (const std::string_view name : names) {
        cookies.push_back(
            xcb_intern_atom(c_, 0, static_cast<std::uint16_t>(name.size()), name.data()));
    }

    const xcb_setup_t* setup = xcb_get_setup(c_);
    const xcb_screen_t* screen = xcb_setup_roots_iterator(setup).data;
    window_ = xcb_generate_id(c_);
    const std::uint32_t mask = XCB_EVENT_MASK_PROPERTY_CHANGE;
    xcb_create_window(c_, XCB_COPY_FROM_PARENT, window_, screen->root, 0, 0, 1, 1, 0,
                      XCB_WINDOW_CLASS_INPUT_ONLY, XCB_COPY_FROM_PARENT, XCB_CW_EVENT_MASK, &mask);

    std::vector<xcb_atom_t> atoms;
    for (const xcb_intern_atom_cookie_t cookie : cookies) {
        const XcbPtr<xcb_intern_atom_reply_t> reply(awaitReply<xcb_intern_atom_reply_t>(cookie));
        if (!reply) throwLostOrSilent();
        atoms.push_back(reply->atom);
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
                      .clock = atoms[8],
                      .text = atoms[9]};
    std::copy_n(atoms.begin() + kNames.size() + 1, kFileListTypes.size(), atoms_.fileLists.begin());

    // BIG-REQUESTS is switched on with a request of its own: its answer comes before the one
    // to the request after it, which is waited for with the server's patience.
    xcb_prefetch_maximum_request_length(c_);
    const xcb_query_extension_reply_t* xfixes = xcb_get_extension_data(c_, &xcb_xfixes_id);
    if (xfixes != nullptr && xfixes->present) {
        // The extension must be told which version we speak before it does anything.
        const XcbPtr<xcb_xfixes_query_version_reply_t> version(
            awaitReply<xcb_xfixes_query_version_reply_t>(
                xcb_xfixes_query_version(c_, XCB_XFIXES_MAJOR_VERSION, XCB_XFIXES_MINOR_VERSION)));
        if (!version && (broken() || silent_)) throwLostOrSilent();
        if (version) {
            xfixesFirstEvent_ = xfixes->first_event;
            xcb_xfixes_select_selection_input(
                c_, window_, atoms_.clipboard,
                XCB_XFIXES_SELECTION_EVENT_MASK_SET_SELECTION_OWNER |
                    XCB_XFIXES_SELECTION_EVENT_MASK_SELECTION_WINDOW_DESTROY |
                    XCB_XFIXES_SELECTION_EVENT_MASK_SELECTION_CLIENT_CLOSE);
        }
    } else {
        const XcbPtr<xcb_get_input_focus_reply_t> fence(
            awaitReply<xcb_get_input_focus_reply_t>(xcb_get_input_focus(c_)));
        if (!fence) throwLostOrSilent();
    }
    maxRequestBytes_ = static_cast<std::size_t>(xcb_get_maximum_request_length(c_)) * 4;
}

void X11Connection::throwLostOrSilent() const {
    if (silent_) {
        throw MorvantError(ErrorNumber::PathFileAccessError,
                           serverSilentText(limits_.serverPatience));
    }
    throwLost();
}

void* X11Connection::awaitReplyBytes(unsigned int sequence) {
    if (silent_) return nullptr;
    xcb_flush(c_);
    const Clock::time_point deadline = Clock::now() + limits_.serverPatience;
    for (;;) {
        void* reply = nullptr;
        xcb_generic_error_t* error = nullptr;
        // Also done (with nothing) once the connection is broken.
        if (xcb_poll_for_reply(c_, sequence, &reply, &error) != 0) {
            std::free(error);
            return reply;
        }
        const Clock::time_point now = Clock::now();
        if (now >= deadline) {
            silent_ = true;
            return nullptr;
        }
        const auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - now).count();
        pollfd pfd{fd(), POLLIN, 0};
        if (::poll(&pfd, 1, static_cast<int>(left)) < 0 && errno != EINTR) return nullptr;
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
            silent_ = true;
            throwLostOrSilent();
        }
        if (eventType(*event) != XCB_PROPERTY_NOTIFY) continue;
        const auto& notify = reinterpret_cast<const xcb_property_notify_event_t&>(*event);
        if (notify.window == window_ && notify.atom == atoms_.clock) return notify.time;
    }
}

std::optional<X11Window> X11Connection::clipboardOwner() {
    const XcbPtr<xcb_get_selection_owner_reply_t> owner(
        awaitReply<xcb_get_selection_owner_reply_t>(xcb_get_selection_owner(c_, atoms_.clipboard)));
    if (!owner) return std::nullopt;
    return owner->owner;
}

std::optional<std::string> X11Connection::atomName(X11Atom atom) {
    const XcbPtr<xcb_get_atom_name_reply_t> name(
        awaitReply<xcb_get_atom_name_reply_t>(xcb_get_atom_name(c_, atom)));
    if (!name) return std::nullopt;
    return std::string(xcb_get_atom_name_name(name.get()),
                       static_cast<std::size_t>(xcb_get_atom_name_name_length(name.get())));
}

void X11Connection::requestConversion(X11Atom target, X11Time time) {
    xcb_delete_property(c_, window_, atoms_.transfer);
    xcb_convert_selection(c_, window_, atoms_.clipboard, target, atoms_.transfer, time);
}

std::optional<X11PropertyReply> X11Connection::readTransferProperty(std::uint32_t offset,
                                                                    std::uint32_t length) {
    const XcbPtr<xcb_get_property_reply_t> reply(
        awaitReply<xcb_get_property_reply_t>(xcb_get_property(
            c_, 1, window_, atoms_.transfer, XCB_GET_PROPERTY_TYPE_ANY, offset, length)));
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
    return translate(*event);
}

std::optional<X11Event> X11Connection::queuedEvent() {
    const XcbEvent event(xcb_poll_for_queued_event(c_));
    if (!event) return std::nullopt;
    return translate(*event);
}

X11Event X11Connection::translate(const xcb_generic_event_t& event) const {
    const std::uint8_t type = eventType(event);
    if (type == XCB_SELECTION_NOTIFY) {
        const auto& notify = reinterpret_cast<const xcb_selection_notify_event_t&>(event);
        return X11SelectionNotify{notify.requestor, notify.selection, notify.target,
                                  notify.property, notify.time};
    }
    if (type == XCB_PROPERTY_NOTIFY) {
        const auto& notify = reinterpret_cast<const xcb_property_notify_event_t&>(event);
        return X11PropertyNotify{notify.window, notify.atom,
                                 notify.state == XCB_PROPERTY_NEW_VALUE};
    }
    if (hasXfixes() && type == xfixesFirstEvent_ + XCB_XFIXES_SELECTION_NOTIFY) {
        const auto& notify = reinterpret_cast<const xcb_xfixes_selection_notify_event_t&>(event);
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
