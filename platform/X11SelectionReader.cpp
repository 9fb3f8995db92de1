#include "X11SelectionReader.h"

#include <xcb/xfixes.h>

#include <algorithm>
#include <cstring>
#include <new>
#include <vector>

#include "ErrorRecord.h"

namespace pellomar::platform {

namespace {

constexpr const char* kLeftAsItWas = "; the clipboard was left as it was";
constexpr int kAttempts = 3;
// GetProperty asks for this many 4-byte units at a time: a property of many megabytes is read
// in steps instead of one reply that the server must build whole.
constexpr std::uint32_t kPropertyStep = 1U << 20;

[[noreturn]] void fail(const std::string& what) {
    throw MorvantError(ErrorNumber::PathFileAccessError, what);
}

std::string sizeText(std::size_t got, std::size_t expected) {
    return expected > got ? std::to_string(got) + " of " + std::to_string(expected) + " bytes"
                          : std::to_string(got) + " bytes";
}

// Thrown inside to start the read again: another program took the clipboard meanwhile.
struct OwnerChanged {};
// Thrown inside to start the read again: an incremental transfer ended short of the size its
// owner announced (a lower bound by the conventions). xclip does this to one of two requestors
// that read at the same moment; asked again, it sends the whole text.
struct ShortTransfer {
    std::size_t got;
    std::size_t expected;
};

struct Property {
    xcb_atom_t type = XCB_NONE;
    std::uint8_t format = 0;
    std::string bytes;
};

class SelectionRead {
  public:
    // staleTime: the time of an earlier attempt, whose late answers must not be taken for ours.
    SelectionRead(X11Connection& x, xcb_timestamp_t time, xcb_timestamp_t staleTime)
        : x_(x), time_(time), staleTime_(staleTime) {}

    std::optional<ClipboardBytes> run() {
        const X11Atoms& atoms = x_.atoms();
        std::optional<std::string> targets = convert(atoms.targets, "TARGETS");
        if (!targets) return withoutTargets();
        const xcb_atom_t chosen = chooseTarget(*targets);
        if (chosen == XCB_NONE) return std::nullopt;  // no text on offer: not ours to replace
        const char* name = chosen == XCB_ATOM_STRING    ? "STRING"
                           : chosen == atoms.utf8String ? "UTF8_STRING"
                                                        : "text/plain;charset=utf-8";
        std::optional<std::string> text = convert(chosen, name);
        if (!text) {
            fail(std::string("the program that holds the clipboard offers its text as ") + name +
                 " but refused to hand it over" + kLeftAsItWas);
        }
        return ClipboardBytes{std::move(*text), chosen == XCB_ATOM_STRING};
    }

  private:
    // An owner that does not answer TARGETS breaks the conventions, but may still convert text.
    // No owner at all looks the same from here, and means there is no text.
    std::optional<ClipboardBytes> withoutTargets() {
        xcb_connection_t* c = x_.get();
        XcbPtr<xcb_get_selection_owner_reply_t> owner(xcb_get_selection_owner_reply(
            c, xcb_get_selection_owner(c, x_.atoms().clipboard), nullptr));
        if (!owner) lost();
        if (owner->owner == XCB_NONE) return std::nullopt;
        if (auto text = convert(x_.atoms().utf8String, "UTF8_STRING")) {
            return ClipboardBytes{std::move(*text), false};
        }
        if (auto text = convert(XCB_ATOM_STRING, "STRING")) {
            return ClipboardBytes{std::move(*text), true};
        }
        fail(std::string("the program that holds the clipboard does not say what it holds "
                         "(it refused TARGETS) and refused to hand over text") +
             kLeftAsItWas);
    }

    xcb_atom_t chooseTarget(const std::string& list) const {
        const X11Atoms& atoms = x_.atoms();
        std::vector<xcb_atom_t> offered(list.size() / sizeof(xcb_atom_t));
        std::memcpy(offered.data(), list.data(), offered.size() * sizeof(xcb_atom_t));
        const auto has = [&](xcb_atom_t atom) {
            return atom != XCB_NONE &&
                   std::find(offered.begin(), offered.end(), atom) != offered.end();
        };
        if (has(atoms.utf8String)) return atoms.utf8String;
        if (has(atoms.textPlainUtf8)) return atoms.textPlainUtf8;
        if (has(XCB_ATOM_STRING)) return XCB_ATOM_STRING;
        return XCB_NONE;
    }

    // Asks the owner to convert the clipboard to target and returns what it sent, or nothing when
    // it refused.
    std::optional<std::string> convert(xcb_atom_t target, const char* name) {
        xcb_connection_t* c = x_.get();
        xcb_delete_property(c, x_.window(), x_.atoms().transfer);
        xcb_convert_selection(c, x_.window(), x_.atoms().clipboard, target, x_.atoms().transfer,
                              time_);
        const Clock::time_point deadline = Clock::now() + kOwnerPatience;
        for (;;) {
            XcbEvent event = x_.waitForEvent(deadline);
            if (!event) {
                fail(std::string("the program that holds the clipboard did not answer within ") +
                     std::to_string(kOwnerPatience.count()) + " seconds (asked for " + name + ")" +
                     kLeftAsItWas);
            }
            watchOwner(*event, 0, 0);
            if (eventType(*event) != XCB_SELECTION_NOTIFY) continue;
            const auto& notify = reinterpret_cast<const xcb_selection_notify_event_t&>(*event);
            if (notify.requestor != x_.window() || notify.selection != x_.atoms().clipboard ||
                notify.target != target ||
                (notify.time == staleTime_ && staleTime_ != XCB_CURRENT_TIME)) {
                continue;
            }
            if (notify.property == XCB_NONE) return std::nullopt;
            Property first = takeProperty();
            if (first.type != x_.atoms().incr) return std::move(first.bytes);
            std::uint32_t hint = 0;
            if (first.bytes.size() >= sizeof hint) std::memcpy(&hint, first.bytes.data(), 4);
            return readIncrementally(hint);
        }
    }

    // An incremental transfer: deleting the INCR property asked for the first piece (takeProperty
    // did that); each piece arrives as a new value of the property, and an empty one ends it. The
    // deadline is on progress: a slow owner that keeps sending succeeds.
    std::string readIncrementally(std::size_t expected) {
        std::string data;
        try {
            data.reserve(std::min<std::size_t>(expected, std::size_t{64} << 20));
        } catch (const std::bad_alloc&) {
            tooLarge(expected);
        }
        Clock::time_point deadline = Clock::now() + kOwnerPatience;
        for (;;) {
            XcbEvent event = x_.waitForEvent(deadline);
            if (!event) {
                fail("the transfer of the clipboard's text stopped after " +
                     sizeText(data.size(), expected) + " (nothing came for " +
                     std::to_string(kOwnerPatience.count()) + " seconds)" + kLeftAsItWas);
            }
            watchOwner(*event, data.size(), expected);
            if (eventType(*event) != XCB_PROPERTY_NOTIFY) continue;
            const auto& notify = reinterpret_cast<const xcb_property_notify_event_t&>(*event);
            if (notify.window != x_.window() || notify.atom != x_.atoms().transfer ||
                notify.state != XCB_PROPERTY_NEW_VALUE) {
                continue;
            }
            Property piece = takeProperty();
            if (piece.bytes.empty()) {
                if (data.size() < expected) throw ShortTransfer{data.size(), expected};
                return data;
            }
            try {
                data += piece.bytes;
            } catch (const std::bad_alloc&) {
                tooLarge(std::max(expected, data.size() + piece.bytes.size()));
            }
            deadline = Clock::now() + kOwnerPatience;
        }
    }

    // Reads our transfer property whole and deletes it (the delete happens with the last step).
    Property takeProperty() {
        xcb_connection_t* c = x_.get();
        Property property;
        std::uint32_t offset = 0;
        for (;;) {
            XcbPtr<xcb_get_property_reply_t> reply(xcb_get_property_reply(
                c,
                xcb_get_property(c, 1, x_.window(), x_.atoms().transfer, XCB_GET_PROPERTY_TYPE_ANY,
                                 offset, kPropertyStep),
                nullptr));
            if (!reply) {
                if (x_.broken()) lost();
                tooLarge(property.bytes.size());
            }
            property.type = reply->type;
            property.format = reply->format;
            const auto length =
                static_cast<std::size_t>(xcb_get_property_value_length(reply.get()));
            try {
                property.bytes.append(static_cast<const char*>(xcb_get_property_value(reply.get())),
                                      length);
            } catch (const std::bad_alloc&) {
                tooLarge(property.bytes.size() + length + reply->bytes_after);
            }
            if (reply->bytes_after == 0) return property;
            offset += static_cast<std::uint32_t>(length / 4);
        }
    }

    // What XFixes says about the clipboard's owner while we read: another owner means the text
    // being read is no longer the clipboard's; an owner that went away leaves nothing to read.
    void watchOwner(const xcb_generic_event_t& event, std::size_t got, std::size_t expected) {
        if (!x_.hasXfixes() ||
            eventType(event) != x_.xfixesFirstEvent() + XCB_XFIXES_SELECTION_NOTIFY) {
            return;
        }
        const auto& notify = reinterpret_cast<const xcb_xfixes_selection_notify_event_t&>(event);
        // Changes from before this attempt began are what the attempt already sees.
        if (notify.selection != x_.atoms().clipboard || notify.timestamp < time_) return;
        if (notify.subtype == XCB_XFIXES_SELECTION_EVENT_SET_SELECTION_OWNER) {
            if (notify.owner == x_.window()) return;
            if (notify.owner != XCB_NONE) throw OwnerChanged{};
        }
        fail("the program that held the clipboard ended before its text was read" +
             (got > 0 ? " (after " + sizeText(got, expected) + ")" : std::string()) +
             "; nothing was written");
    }

    [[noreturn]] static void tooLarge(std::size_t size) {
        fail("the clipboard's text (" + std::to_string(size) +
             " bytes) is too large for this machine's memory" + kLeftAsItWas);
    }

    [[noreturn]] static void lost() {
        fail(std::string("the connection to the X server was lost") + kLeftAsItWas);
    }

    X11Connection& x_;
    xcb_timestamp_t time_;
    xcb_timestamp_t staleTime_;
};

}  // namespace

std::optional<ClipboardBytes> readClipboard(X11Connection& connection, xcb_timestamp_t* time) {
    xcb_timestamp_t stale = XCB_CURRENT_TIME;
    for (int attempt = 1;; ++attempt) {
        try {
            return SelectionRead(connection, *time, stale).run();
        } catch (const OwnerChanged&) {
            if (attempt == kAttempts) {
                fail(std::string("the clipboard changed ") + std::to_string(kAttempts) +
                     " times while it was read" + kLeftAsItWas);
            }
        } catch (const ShortTransfer& cut) {
            if (attempt == kAttempts) {
                fail("the transfer of the clipboard's text ended after " +
                     sizeText(cut.got, cut.expected) + " (tried " + std::to_string(kAttempts) +
                     " times)" + kLeftAsItWas);
            }
        }
        stale = *time;
        // A new time, so that late answers to the attempt before can be told from ours.
        do {
            *time = connection.serverTime();
        } while (*time == stale);
    }
}

}  // namespace pellomar::platform
