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

    ClipboardRead run() {
        const X11Atoms& atoms = x_.atoms();
        std::optional<Property> targets = convert(atoms.targets, "TARGETS");
        if (!targets) return withoutTargets();
        const std::vector<X11Atom> offered = atomList(targets->bytes);
        const auto has = [&](X11Atom atom) {
            return atom != kX11None &&
                   std::find(offered.begin(), offered.end(), atom) != offered.end();
        };
        // Files copied in a file manager come with their paths as text: laying those out would
        // take the files off the clipboard.
        if (std::any_of(atoms.fileLists.begin(), atoms.fileLists.end(), has)) {
            return ClipboardRead{std::nullopt, true};
        }
        const X11Atom chosen = has(atoms.utf8String)      ? atoms.utf8String
                               : has(atoms.textPlainUtf8) ? atoms.textPlainUtf8
                               : has(kX11AtomString)      ? kX11AtomString
                                                          : kX11None;
        if (chosen == kX11None) return {};  // no text on offer: not ours to replace
        const std::string name = typeName(chosen);
        std::optional<Property> text = convert(chosen, name);
        if (!text) {
            fail("the program that holds the clipboard offers its text as " + name +
                 " but refused to hand it over" + kLeftAsItWas);
        }
        return {asText(std::move(*text), name), false};
    }

  private:
    // An owner that does not answer TARGETS breaks the conventions, but may still convert text.
    // No owner at all looks the same from here, and means there is no text.
    ClipboardRead withoutTargets() {
        const std::optional<X11Window> owner = x_.clipboardOwner();
        if (!owner) lost();
        if (*owner == kX11None) return {};
        if (auto text = convert(x_.atoms().utf8String, "UTF8_STRING")) {
            return {asText(std::move(*text), "UTF8_STRING"), false};
        }
        if (auto text = convert(kX11AtomString, "STRING")) {
            return {asText(std::move(*text), "STRING"), false};
        }
        fail(std::string("the program that holds the clipboard does not say what it holds "
                         "(it refused TARGETS) and refused to hand over text") +
             kLeftAsItWas);
    }

    static std::vector<X11Atom> atomList(const std::string& bytes) {
        std::vector<X11Atom> atoms(bytes.size() / sizeof(X11Atom));
        // An empty list has no buffer, and memcpy must not see its null pointer even for 0 bytes.
        if (!atoms.empty()) std::memcpy(atoms.data(), bytes.data(), atoms.size() * sizeof(X11Atom));
        return atoms;
    }

    // The type of the answer says what its bytes are, not the target asked for: an owner may
    // answer a request for STRING with UTF-8, and bytes in units of 16 or 32 bits carry padding.
    ClipboardBytes asText(Property property, const std::string& asked) {
        if (!isText(property.type) || property.format != 8) {
            fail("the program that holds the clipboard sent its text as " +
                 typeName(property.type) + " in format " + std::to_string(property.format) +
                 " (asked for " + asked + "), which is no text dovlek reads" + kLeftAsItWas);
        }
        return ClipboardBytes{std::move(property.bytes), property.type == kX11AtomString};
    }

    bool isText(X11Atom type) const {
        const X11Atoms& atoms = x_.atoms();
        return type != kX11None &&
               (type == atoms.utf8String || type == atoms.textPlainUtf8 || type == kX11AtomString);
    }

    // An atom's name, as messages show it; the server is asked only for atoms of no interest.
    std::string typeName(X11Atom atom) {
        const X11Atoms& atoms = x_.atoms();
        if (atom == kX11None) return "None";
        if (atom == kX11AtomString) return "STRING";
        if (atom == atoms.utf8String) return "UTF8_STRING";
        if (atom == atoms.textPlainUtf8) return "text/plain;charset=utf-8";
        if (atom == atoms.incr) return "INCR";
        if (atom == atoms.targets) return "TARGETS";
        if (std::optional<std::string> name = x_.atomName(atom)) return *name;
        return "atom " + std::to_string(atom);
    }

    // Asks the owner to convert the clipboard to target and returns what it sent (the pieces
    // joined, for an incremental transfer), or nothing when it refused.
    std::optional<Property> convert(X11Atom target, const std::string& name) {
        x_.requestConversion(target, time_);
        const Clock::time_point deadline = x_.now() + limits_.ownerPatience;
        for (;;) {
            const std::optional<X11Event> event = nextEvent(deadline);
            if (!event) {
                serverStillAnswers();
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
            if (first.type == kX11None) {
                fail("the program that holds the clipboard said it handed over " + name +
                     " but wrote nothing" + kLeftAsItWas);
            }
            if (first.type != x_.atoms().incr) {
                // An answer is written once; one written over before it was read is not the
                // answer that was announced. (After INCR the notices are the pieces to come.)
                if (writtenSinceRead()) {
                    fail("the program that holds the clipboard wrote its answer (asked for " +
                         name + ") again before it was read" + kLeftAsItWas);
                }
                return first;
            }
            std::uint32_t hint = 0;
            if (first.bytes.size() >= sizeof hint) std::memcpy(&hint, first.bytes.data(), 4);
            return readIncrementally(hint, target != x_.atoms().targets);
        }
    }

    // An incremental transfer: deleting the INCR property asked for the first piece (takeProperty
    // did that); each piece arrives as a new value of the property, and an empty one of the
    // transfer's type ends it. Any client can delete our property, so a piece that is gone when
    // it is read is a piece lost, never the end; and a piece of another type belongs to no
    // transfer of ours. The deadline is on progress: a slow owner that keeps sending succeeds.
    Property readIncrementally(std::size_t expected, bool text) {
        Property whole;
        try {
            whole.bytes.reserve(std::min<std::size_t>(expected, std::size_t{64} << 20));
        } catch (const std::bad_alloc&) {
            tooLarge(expected);
        }
        std::string& data = whole.bytes;
        Clock::time_point deadline = x_.now() + limits_.ownerPatience;
        for (;;) {
            const std::optional<X11Event> event = nextEvent(deadline);
            if (!event) {
                serverStillAnswers();
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
            checkPiece(piece, whole, text, data.size(), expected);
            whole.type = piece.type;
            whole.format = piece.format;
            if (piece.bytes.empty()) {
                if (data.size() < expected) throw ShortTransfer{data.size(), expected};
                checkNothingReplaced(data.size(), expected);
                return whole;
            }
            try {
                data += piece.bytes;
            } catch (const std::bad_alloc&) {
                tooLarge(std::max(expected, data.size() + piece.bytes.size()));
            }
            deadline = x_.now() + limits_.ownerPatience;
        }
    }

    // An owner that writes the next piece before the last one was read replaces it. Replacing a
    // piece with more text leaves a notice whose piece is gone (checkPiece); replacing it with the
    // end leaves a notice behind the end.
    void checkNothingReplaced(std::size_t got, std::size_t expected) {
        if (writtenSinceRead()) {
            fail(
                "a piece of the clipboard's text was replaced by the end of the transfer "
                "before it was read (after " +
                sizeText(got, expected) + ")" + kLeftAsItWas);
        }
    }

    // Whether our property got a new value after the one just read: the notice of that write
    // came before the answer to our read, so it has arrived by now. The other events waiting are
    // of no more use to a read that is done (an owner that quits once it has answered, say).
    bool writtenSinceRead() {
        bool written = false;
        while (const std::optional<X11Event> event = x_.queuedEvent()) {
            const auto* notify = std::get_if<X11PropertyNotify>(&*event);
            written = written || (notify != nullptr && notify->window == x_.window() &&
                                  notify->atom == x_.atoms().transfer && notify->newValue);
        }
        return written;
    }

    // A piece must be there, have the type of the pieces before it, and be text in format 8 when
    // text was asked for.
    void checkPiece(const Property& piece, const Property& before, bool text, std::size_t got,
                    std::size_t expected) {
        const std::string after =
            got > 0 ? " (after " + sizeText(got, expected) + ")" : std::string();
        if (piece.type == kX11None) {
            fail("a piece of the clipboard's text was gone when it was read" + after +
                 kLeftAsItWas);
        }
        if (before.type != kX11None && piece.type != before.type) {
            fail("a piece of the clipboard's text came as " + typeName(piece.type) + " in format " +
                 std::to_string(piece.format) + " after pieces of " + typeName(before.type) +
                 after + kLeftAsItWas);
        }
        if (text && (!isText(piece.type) || piece.format != 8)) {
            fail("a piece of the clipboard's text came as " + typeName(piece.type) + " in format " +
                 std::to_string(piece.format) + ", which is no text dovlek reads" + after +
                 kLeftAsItWas);
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
                if (x_.broken() || x_.silent()) lost();
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

    // A grabbed server passes on no answer of the owner either: one round trip tells the two
    // apart, so that the message (and the box, which needs the server) is the right one.
    void serverStillAnswers() {
        if (!x_.clipboardOwner()) lost();
    }

    // The next event; a lost connection is an error, where an event's absence is the caller's.
    std::optional<X11Event> nextEvent(Clock::time_point deadline) {
        std::optional<X11Event> event = x_.nextEvent(deadline);
        if (!event && (x_.broken() || x_.silent())) lost();
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
        // An X server that ends closes every client, the owner first as often as not: only a
        // server that still answers has seen the owner end.
        if (!x_.clipboardOwner()) lost();
        fail("the program that held the clipboard ended before its text was read" +
             (got > 0 ? " (after " + sizeText(got, expected) + ")" : std::string()) +
             "; nothing was written");
    }

    [[noreturn]] static void tooLarge(std::size_t size) {
        fail("the clipboard's text (" + std::to_string(size) +
             " bytes) is too large for this machine's memory" + kLeftAsItWas);
    }

    [[noreturn]] void lost() const {
        if (x_.silent()) fail(serverSilentText(limits_.serverPatience));
        fail(std::string("the connection to the X server was lost") + kLeftAsItWas);
    }

    X11SelectionConnection& x_;
    const X11Limits& limits_;
    X11Time time_;
    X11Time staleTime_;
};

}  // namespace

ClipboardRead readClipboard(X11SelectionConnection& connection, X11Time* time,
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
