#include "X11SelectionServer.h"

#include <xcb/xfixes.h>

#include <algorithm>
#include <array>
#include <cstring>
#include <limits>
#include <optional>
#include <vector>

namespace pellomar::platform {

namespace {

// The Latin-1 form of UTF-8 text, or nothing when a character has none. Older clients that
// know only STRING then get no text at all rather than a text with characters replaced: a
// pasted statement with a changed literal would be worse than no paste.
std::optional<std::string> latin1Of(const std::string& utf8) {
    std::string out;
    out.reserve(utf8.size());
    for (std::size_t i = 0; i < utf8.size(); ++i) {
        const auto byte = static_cast<unsigned char>(utf8[i]);
        if (byte < 0x80) {
            out += static_cast<char>(byte);
        } else if ((byte == 0xC2 || byte == 0xC3) && i + 1 < utf8.size()) {
            const auto next = static_cast<unsigned char>(utf8[++i]);
            out += static_cast<char>(((byte & 0x03) << 6) | (next & 0x3F));
        } else {
            return std::nullopt;
        }
    }
    return out;
}

class Server {
  public:
    Server(X11Connection& x, const std::string& utf8, xcb_timestamp_t since,
           const X11Limits& limits)
        : x_(x),
          c_(x.get()),
          atoms_(x.atoms()),
          limits_(limits),
          utf8_(utf8),
          since_(since),
          piece_(std::min(limits.piece, x.maxRequestBytes() - 1024)) {}

    void run() {
        latin1_ = latin1Of(utf8_);
        while (!x_.broken() && (owner_ || !transfers_.empty())) {
            XcbEvent event = x_.waitForEventNoThrow(nextDeadline());
            if (event) dispatch(*event);
            dropStalled();
        }
    }

  private:
    struct Transfer {
        xcb_window_t requestor;
        xcb_atom_t property;
        xcb_atom_t type;
        const std::string* data;
        std::size_t offset;
        Clock::time_point deadline;
    };

    Clock::time_point nextDeadline() const {
        Clock::time_point next = Clock::now() + std::chrono::hours(1);
        for (const Transfer& t : transfers_) next = std::min(next, t.deadline);
        return next;
    }

    void dispatch(const xcb_generic_event_t& event) {
        const std::uint8_t type = eventType(event);
        if (type == XCB_SELECTION_REQUEST) {
            onRequest(reinterpret_cast<const xcb_selection_request_event_t&>(event));
        } else if (type == XCB_PROPERTY_NOTIFY) {
            const auto& notify = reinterpret_cast<const xcb_property_notify_event_t&>(event);
            if (notify.state == XCB_PROPERTY_DELETE) sendNextPiece(notify.window, notify.atom);
        } else if (type == XCB_DESTROY_NOTIFY) {
            drop(reinterpret_cast<const xcb_destroy_notify_event_t&>(event).window);
        } else if (type == 0) {
            // An error: a requestor's window that is gone (BadWindow) ends its transfers.
            const auto& error = reinterpret_cast<const xcb_generic_error_t&>(event);
            if (error.error_code == XCB_WINDOW) drop(error.resource_id);
        } else if (type == XCB_SELECTION_CLEAR) {
            // Any client can send a SelectionClear: only the server's word that another program
            // owns the clipboard now ends the serving.
            const auto& clear = reinterpret_cast<const xcb_selection_clear_event_t&>(event);
            if (clear.selection == atoms_.clipboard) owner_ = stillOwner();
        } else if (x_.hasXfixes() && type == x_.xfixesFirstEvent() + XCB_XFIXES_SELECTION_NOTIFY) {
            const auto& notify =
                reinterpret_cast<const xcb_xfixes_selection_notify_event_t&>(event);
            // The event may tell of a change from before ours took effect (a second press that
            // set the clipboard first, with an earlier time): the server says who owns it now.
            if (notify.selection == atoms_.clipboard && notify.owner != x_.window()) {
                owner_ = stillOwner();
            }
        }
    }

    bool stillOwner() {
        XcbPtr<xcb_get_selection_owner_reply_t> owner(xcb_get_selection_owner_reply(
            c_, xcb_get_selection_owner(c_, atoms_.clipboard), nullptr));
        return owner && owner->owner == x_.window();
    }

    void onRequest(const xcb_selection_request_event_t& request) {
        // Clients from before the convention name no property: the target stands in for it.
        const xcb_atom_t property =
            request.property == XCB_NONE ? request.target : request.property;
        bool converted = owner_ && request.selection == atoms_.clipboard &&
                         (request.time == XCB_CURRENT_TIME || request.time >= since_);
        if (converted) {
            converted = request.target == atoms_.multiple
                            ? convertMultiple(request.requestor, property)
                            : convert(request.requestor, request.target, property);
        }
        xcb_selection_notify_event_t notify{};
        notify.response_type = XCB_SELECTION_NOTIFY;
        notify.time = request.time;
        notify.requestor = request.requestor;
        notify.selection = request.selection;
        notify.target = request.target;
        notify.property = converted ? property : xcb_atom_t{XCB_NONE};
        // SendEvent takes the full 32 bytes of an event.
        std::array<char, 32> wire{};
        std::memcpy(wire.data(), &notify, sizeof notify);
        xcb_send_event(c_, 0, request.requestor, XCB_EVENT_MASK_NO_EVENT, wire.data());
    }

    bool convert(xcb_window_t requestor, xcb_atom_t target, xcb_atom_t property) {
        if (target == atoms_.targets) {
            std::vector<xcb_atom_t> targets = {atoms_.targets,       atoms_.multiple,
                                               atoms_.timestamp,     atoms_.utf8String,
                                               atoms_.textPlainUtf8, atoms_.text};
            if (latin1_) targets.push_back(XCB_ATOM_STRING);
            xcb_change_property(c_, XCB_PROP_MODE_REPLACE, requestor, property, XCB_ATOM_ATOM, 32,
                                static_cast<std::uint32_t>(targets.size()), targets.data());
            return true;
        }
        if (target == atoms_.timestamp) {
            xcb_change_property(c_, XCB_PROP_MODE_REPLACE, requestor, property, XCB_ATOM_INTEGER,
                                32, 1, &since_);
            return true;
        }
        if (target == atoms_.utf8String || target == atoms_.textPlainUtf8) {
            return send(requestor, property, target, utf8_);
        }
        if (target == XCB_ATOM_STRING && latin1_) {
            return send(requestor, property, XCB_ATOM_STRING, *latin1_);
        }
        // TEXT leaves the form to the owner: the one every requestor reads when it will do.
        if (target == atoms_.text) {
            return latin1_ ? send(requestor, property, XCB_ATOM_STRING, *latin1_)
                           : send(requestor, property, atoms_.utf8String, utf8_);
        }
        return false;
    }

    bool convertMultiple(xcb_window_t requestor, xcb_atom_t property) {
        XcbPtr<xcb_get_property_reply_t> reply(xcb_get_property_reply(
            c_,
            xcb_get_property(c_, 0, requestor, property, XCB_GET_PROPERTY_TYPE_ANY, 0,
                             limits_.maxMultiplePairs * 2),
            nullptr));
        if (!reply || reply->format != 32 || reply->bytes_after != 0) return false;
        const auto* values = static_cast<const xcb_atom_t*>(xcb_get_property_value(reply.get()));
        std::vector<xcb_atom_t> pairs(values,
                                      values + (xcb_get_property_value_length(reply.get()) / 4));
        for (std::size_t i = 0; i + 1 < pairs.size(); i += 2) {
            const bool done = pairs[i] != atoms_.multiple && pairs[i + 1] != XCB_NONE &&
                              convert(requestor, pairs[i], pairs[i + 1]);
            if (!done) pairs[i + 1] = XCB_NONE;  // how a refused conversion is told
        }
        xcb_change_property(c_, XCB_PROP_MODE_REPLACE, requestor, property, atoms_.atomPair, 32,
                            static_cast<std::uint32_t>(pairs.size()), pairs.data());
        return true;
    }

    bool send(xcb_window_t requestor, xcb_atom_t property, xcb_atom_t type,
              const std::string& data) {
        if (data.size() <= piece_) {
            xcb_change_property(c_, XCB_PROP_MODE_REPLACE, requestor, property, type, 8,
                                static_cast<std::uint32_t>(data.size()), data.data());
            return true;
        }
        // A new request on the same property replaces the transfer that used it.
        std::erase_if(transfers_, [&](const Transfer& t) {
            return t.requestor == requestor && t.property == property;
        });
        if (transfers_.size() >= limits_.maxTransfers) {
            // Full: the transfer that went longest without progress gives way, so that a flood of
            // requests that nobody reads cannot keep a real paste waiting.
            const auto oldest = std::min_element(
                transfers_.begin(), transfers_.end(),
                [](const Transfer& a, const Transfer& b) { return a.deadline < b.deadline; });
            const xcb_window_t window = oldest->requestor;
            transfers_.erase(oldest);
            unwatch(window);
        }
        // The requestor's deletes of the property drive the transfer; its window's end drops it.
        const std::uint32_t mask = XCB_EVENT_MASK_PROPERTY_CHANGE | XCB_EVENT_MASK_STRUCTURE_NOTIFY;
        xcb_change_window_attributes(c_, requestor, XCB_CW_EVENT_MASK, &mask);
        const auto size = static_cast<std::uint32_t>(
            std::min<std::size_t>(data.size(), std::numeric_limits<std::uint32_t>::max()));
        xcb_change_property(c_, XCB_PROP_MODE_REPLACE, requestor, property, atoms_.incr, 32, 1,
                            &size);
        transfers_.push_back(
            {requestor, property, type, &data, 0, Clock::now() + limits_.ownerPatience});
        return true;
    }

    void sendNextPiece(xcb_window_t window, xcb_atom_t property) {
        const auto it = std::find_if(transfers_.begin(), transfers_.end(), [&](const Transfer& t) {
            return t.requestor == window && t.property == property;
        });
        if (it == transfers_.end()) return;
        const std::size_t length = std::min(piece_, it->data->size() - it->offset);
        xcb_change_property(c_, XCB_PROP_MODE_REPLACE, window, property, it->type, 8,
                            static_cast<std::uint32_t>(length), it->data->data() + it->offset);
        it->offset += length;
        it->deadline = Clock::now() + limits_.ownerPatience;
        // The empty piece ends the transfer.
        if (length == 0) {
            transfers_.erase(it);
            unwatch(window);
        }
    }

    void drop(xcb_window_t window) {
        const auto dropped =
            std::erase_if(transfers_, [&](const Transfer& t) { return t.requestor == window; });
        if (dropped > 0) unwatch(window);
    }

    void dropStalled() {
        const Clock::time_point now = Clock::now();
        std::vector<xcb_window_t> stalled;
        for (const Transfer& t : transfers_) {
            if (t.deadline <= now) stalled.push_back(t.requestor);
        }
        std::erase_if(transfers_, [&](const Transfer& t) { return t.deadline <= now; });
        for (xcb_window_t window : stalled) unwatch(window);
    }

    // Stops the requestor's events once none of its transfers is left, so that a long-lived
    // window does not keep sending us its property changes.
    void unwatch(xcb_window_t window) {
        const bool stillUsed =
            std::any_of(transfers_.begin(), transfers_.end(),
                        [&](const Transfer& t) { return t.requestor == window; });
        if (stillUsed) return;
        const std::uint32_t none = XCB_EVENT_MASK_NO_EVENT;
        xcb_change_window_attributes(c_, window, XCB_CW_EVENT_MASK, &none);
    }

    X11Connection& x_;
    xcb_connection_t* c_;
    const X11Atoms& atoms_;
    const X11Limits& limits_;
    const std::string& utf8_;
    std::optional<std::string> latin1_;
    xcb_timestamp_t since_;
    std::size_t piece_;
    std::vector<Transfer> transfers_;
    bool owner_ = true;
};

}  // namespace

void serveSelection(X11Connection& connection, const std::string& utf8, xcb_timestamp_t ownedSince,
                    const X11Limits& limits) noexcept {
    try {
        Server(connection, utf8, ownedSince, limits).run();
    } catch (...) {
        // Out of memory, most likely: nothing more can be served, and nobody is waiting to be
        // told. The process ends and the clipboard is empty, as after any owner's end.
    }
}

}  // namespace pellomar::platform
