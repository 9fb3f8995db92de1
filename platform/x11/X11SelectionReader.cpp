#include "X11SelectionReader.h"

#include <algorithm>
#include <cstring>
#include <new>
#include <variant>
#include <vector>

#include "ErrorRecord.h"

namespace pellomar::platform {

namespace {

constexpr const char* kLeftAsItWas = "; the clipboard was left as it was";

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
    X11Atom type = kX11None;
    std::uint8_t format = 0;
    std::string bytes;
};

class SelectionRead {
  public:
    // staleTime: the time of an earlier attempt, whose late answers must not be taken for ours.
    SelectionRead(X11SelectionConnection& x, const X11Limits& limits, X11Time time,
                  X11Time staleTime)
        : x_(x), limits_(limits), time_(time), staleTime_(staleTime) {}

    std::optional<ClipboardBytes> run() {
        const X11Atoms& atoms = x_.atoms();
        std::optional<std::string> targets = convert(atoms.targets, "TARGETS");
        if (!targets) return withoutTargets();
        const X11Atom chosen = chooseTarget(*targets);
        if (chosen == kX11None) return std::nullopt;  // no text on offer: not ours to replace
        const char* name = chosen == kX11AtomString     ? "STRING"
                           : chosen == atoms.utf8String ? "UTF8_STRING"
                                                        : "text/plain;charset=utf-8";
        std::optional<std::string> text = convert(chosen, name);
        if (!text) {
            fail(std::string("the program that holds the clipboard offers its text as ") + name +
                 " but refused to hand it over" + kLeftAsItWas);
        }
        return ClipboardBytes{std::move(*text), chosen == kX11AtomString};
    }

  private:
    // An owner that does not answer TARGETS breaks the conventions, but may still convert text.
    // No owner at all looks the same from here, and means there is no text.
    std::optional<ClipboardBytes> withoutTargets() {
        const std::optional<X11Window> owner = x_.clipboardOwner();
        if (!owner) lost();
        if (*owner == kX11None) return std::nullopt;
        if (auto text = convert(x_.atoms().utf8String, "UTF8_STRING")) {
            return ClipboardBytes{std::move(*text), false};
        }
        if (auto text = convert(kX11AtomString, "STRING")) {
            return ClipboardBytes{std::move(*text), true};
        }
        fail(std::string("the program that holds the clipboard does not say what it holds "
                         "(it refused TARGETS) and refused to hand over text") +
             kLeftAsItWas);
    }

    X11Atom chooseTarget(const std::string& list) const {
        const X11Atoms& atoms = x_.atoms();
        std::vector<X11Atom> offered(list.size() / sizeof(X11Atom));
        // An empty list has no buffer, and memcpy must not see its null pointer even for 0 bytes.
        if (!offered.empty()) {
            std::memcpy(offered.data(), list.data(), offered.size() * sizeof(X11Atom));
        }
        const auto has = [&](X11Atom atom) {
            return atom != kX11None &&
                   std::find(offered.begin(), offered.end(), atom) != offered.end();
        };
        if (has(atoms.utf8String)) return atoms.utf8String;
        if (has(atoms.textPlainUtf8)) return atoms.textPlainUtf8;
        if (has(kX11AtomString)) return kX11AtomString;
        return kX11None;
    }

    // Asks the owner to convert the clipboard to target and returns what it sent, or nothing when
    // it refused.
    std::optional<std::string> convert(X11Atom target, const char* name) {
        x_.requestConversion(target, time_);
        const Clock::time_point deadline = x_.now() + limits_.ownerPatience;
        for (;;) {
            const std::optional<X11Event> event = nextEvent(deadline);
            if (!event) {
                fail("the program that holds the clipboard did not answer within " +
                     patienceText(limits_.ownerPatience) + " (asked for " + name + ")" +
                     kLeftAsItWas);
            }
            watchOwner(*event, 0, 0);
            const auto* notify = std::get_if<X11SelectionNotify>(&*event);
            if (notify == nullptr) continue;
            if (notify->requestor != x_.window() || notify->selection != x_.atoms().clipboard ||
                notify->target != target ||
                (notify->time == staleTime_ && staleTime_ != kX11CurrentTime)) {
                continue;
            }
            if (notify->property == kX11None) return std::nullopt;
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
        Clock::time_point deadline = x_.now() + limits_.ownerPatience;
        for (;;) {
            const std::optional<X11Event> event = nextEvent(deadline);
            if (!event) {
                fail("the transfer of the clipboard's text stopped after " +
                     sizeText(data.size(), expected) + " (nothing came for " +
                     patienceText(limits_.ownerPatience) + ")" + kLeftAsItWas);
            }
            watchOwner(*event, data.size(), expected);
            const auto* notify = std::get_if<X11PropertyNotify>(&*event);
            if (notify == nullptr || notify->window != x_.window() ||
                notify->atom != x_.atoms().transfer || !notify->newValue) {
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
            deadline = x_.now() + limits_.ownerPatience;
        }
    }

    // Reads our transfer property whole and deletes it (the delete happens with the last step).
    Property takeProperty() {
        Property property;
        std::uint32_t offset = 0;
        for (;;) {
            std::optional<X11PropertyReply> reply =
                x_.readTransferProperty(offset, limits_.propertyStep);
            if (!reply) {
                if (x_.broken()) lost();
                tooLarge(property.bytes.size());
            }
            property.type = reply->type;
            property.format = reply->format;
            const std::size_t length = reply->value.size();
            try {
                property.bytes.append(reply->value);
            } catch (const std::bad_alloc&) {
                tooLarge(property.bytes.size() + length + reply->bytesAfter);
            }
            if (reply->bytesAfter == 0) return property;
            offset += static_cast<std::uint32_t>(length / 4);
        }
    }

    // The next event; a lost connection is an error, where an event's absence is the caller's.
    std::optional<X11Event> nextEvent(Clock::time_point deadline) {
        std::optional<X11Event> event = x_.nextEvent(deadline);
        if (!event && x_.broken()) lost();
        return event;
    }

    // What XFixes says about the clipboard's owner while we read: another owner means the text
    // being read is no longer the clipboard's; an owner that went away leaves nothing to read.
    void watchOwner(const X11Event& event, std::size_t got, std::size_t expected) {
        const auto* notify = std::get_if<X11OwnerNotify>(&event);
        if (notify == nullptr) return;
        // Changes from before this attempt began are what the attempt already sees.
        if (notify->selection != x_.atoms().clipboard || notify->timestamp < time_) return;
        if (notify->kind == X11OwnerNotify::Kind::SetOwner) {
            if (notify->owner == x_.window()) return;
            if (notify->owner != kX11None) throw OwnerChanged{};
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

    X11SelectionConnection& x_;
    const X11Limits& limits_;
    X11Time time_;
    X11Time staleTime_;
};

}  // namespace

std::optional<ClipboardBytes> readClipboard(X11SelectionConnection& connection, X11Time* time,
                                            const X11Limits& limits) {
    X11Time stale = kX11CurrentTime;
    for (int attempt = 1;; ++attempt) {
        try {
            return SelectionRead(connection, limits, *time, stale).run();
        } catch (const OwnerChanged&) {
            if (attempt >= limits.readAttempts) {
                fail(std::string("the clipboard changed ") + std::to_string(attempt) +
                     " times while it was read" + kLeftAsItWas);
            }
        } catch (const ShortTransfer& cut) {
            if (attempt >= limits.readAttempts) {
                fail("the transfer of the clipboard's text ended after " +
                     sizeText(cut.got, cut.expected) + " (tried " + std::to_string(attempt) +
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
