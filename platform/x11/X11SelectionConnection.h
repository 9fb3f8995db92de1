#pragma once

// What the clipboard reader needs of its connection to the X server, and nothing more: the
// atoms, our window, a clock, the server's time, the owner, a conversion, our transfer property,
// and the events that concern a read. No libxcb here, so that the reader's rules build and run
// without a server: X11Connection is the real connection, and the tests and the fuzz target
// hand the reader one that plays a scripted owner on a clock of its own.

#include <array>
#include <chrono>
#include <cstdint>
#include <optional>
#include <string>
#include <variant>

#include "ClipboardTypes.h"

namespace pellomar::platform {

using Clock = std::chrono::steady_clock;

// The protocol's own 32-bit identifiers, as libxcb's xcb_atom_t, xcb_window_t and
// xcb_timestamp_t carry them.
using X11Atom = std::uint32_t;
using X11Window = std::uint32_t;
using X11Time = std::uint32_t;
// No atom, no window (None), and the time that stands for "now" (CurrentTime): all 0 on the wire.
inline constexpr std::uint32_t kX11None = 0;
inline constexpr X11Time kX11CurrentTime = 0;
// STRING is one of the atoms the protocol defines once for all (number 31); the others are
// interned per connection.
inline constexpr X11Atom kX11AtomString = 31;

struct X11Atoms {
    X11Atom clipboard = kX11None;
    X11Atom targets = kX11None;
    X11Atom multiple = kX11None;
    X11Atom timestamp = kX11None;
    X11Atom incr = kX11None;
    X11Atom utf8String = kX11None;
    X11Atom textPlainUtf8 = kX11None;  // text/plain;charset=utf-8
    X11Atom atomPair = kX11None;
    X11Atom transfer = kX11None;  // our window's property that conversions are put into
    X11Atom clock = kX11None;     // our window's property touched to learn the server time
    X11Atom text = kX11None;      // TEXT: any text form the owner likes
    // The types of kFileListTypes, in its order.
    std::array<X11Atom, kFileListTypes.size()> fileLists{};
};

// The owner's answer to a conversion (SelectionNotify).
struct X11SelectionNotify {
    X11Window requestor = kX11None;
    X11Atom selection = kX11None;
    X11Atom target = kX11None;
    X11Atom property = kX11None;  // None: the owner refused
    X11Time time = kX11CurrentTime;
};

// A property of a window changed (PropertyNotify).
struct X11PropertyNotify {
    X11Window window = kX11None;
    X11Atom atom = kX11None;
    bool newValue = false;  // false: the property was deleted
};

// The clipboard's owner changed, or went away (an XFixes selection event; servers without
// XFixes send none).
struct X11OwnerNotify {
    enum class Kind { SetOwner, WindowDestroyed, ClientClosed };
    Kind kind = Kind::SetOwner;
    X11Atom selection = kX11None;
    X11Window owner = kX11None;  // the new owner, for SetOwner
    X11Time timestamp = kX11CurrentTime;
};

// Any other event, which a read passes over.
struct X11OtherEvent {};

using X11Event = std::variant<X11OtherEvent, X11SelectionNotify, X11PropertyNotify, X11OwnerNotify>;

// One GetProperty reply: value is the bytes returned, bytesAfter what is left beyond them.
struct X11PropertyReply {
    X11Atom type = kX11None;
    std::uint8_t format = 0;
    std::string value;
    std::uint32_t bytesAfter = 0;
};

class X11SelectionConnection {
  public:
    virtual ~X11SelectionConnection() = default;

    virtual const X11Atoms& atoms() const = 0;
    // The window that conversions are asked for and put into.
    virtual X11Window window() const = 0;
    // The clock that deadlines are measured on.
    virtual Clock::time_point now() const = 0;
    // A real server timestamp. Events that arrive before it are dropped. Fails (75) when the
    // server does not answer or the connection is lost.
    virtual X11Time serverTime() = 0;
    // The clipboard's owner (None when nobody owns it), or nothing when the connection is lost or
    // the server stopped answering.
    virtual std::optional<X11Window> clipboardOwner() = 0;
    // Deletes our transfer property and asks the clipboard's owner to convert to target into it.
    virtual void requestConversion(X11Atom target, X11Time time) = 0;
    // GetProperty of our transfer property from offset (in 4-byte units), at most length units,
    // deleting it once nothing is left after the part returned. Nothing when the server refused
    // (no memory for the reply, an offset past the end), the connection is lost, or the server
    // stopped answering. A property that does not exist comes back with type None.
    virtual std::optional<X11PropertyReply> readTransferProperty(std::uint32_t offset,
                                                                 std::uint32_t length) = 0;
    // The next event, or nothing once the deadline has passed or the connection is lost.
    virtual std::optional<X11Event> nextEvent(Clock::time_point deadline) = 0;
    // An event that has already arrived, without waiting and without reading the connection
    // further; nothing when none is left.
    virtual std::optional<X11Event> queuedEvent() = 0;
    // An atom's name, for messages; nothing when the server knows no such atom or does not say.
    virtual std::optional<std::string> atomName(X11Atom atom) = 0;
    virtual bool broken() const = 0;
    // The server left a request unanswered for as long as a press waits (X11Limits::
    // serverPatience): grabbed by another client, or stopped. Nothing more can be asked of it.
    virtual bool silent() const = 0;
};

}  // namespace pellomar::platform
