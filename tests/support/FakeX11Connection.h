#pragma once

// The X server and the clipboard's owner, played for the X11 reader in its tests and its fuzz
// target. The owner follows a script: what it does, and how long after the step before it. The
// server's part is done as an X server does it: our transfer property and what GetProperty
// returns of it, the PropertyNotify events its changes make, who owns the clipboard, the server
// time. Waiting jumps the fake clock to the next step or the deadline, so an owner that is
// silent for minutes costs no real time.

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <optional>
#include <string>
#include <variant>
#include <vector>

#include "X11SelectionConnection.h"

namespace pellomar::testing_support {

using platform::X11Atom;
using platform::X11Time;
using platform::X11Window;

// The atoms of the fake server: the reader's own, fixed here, and a few that owners use.
inline constexpr platform::X11Atoms kFakeAtoms{.clipboard = 101,
                                               .targets = 102,
                                               .multiple = 103,
                                               .timestamp = 104,
                                               .incr = 105,
                                               .utf8String = 106,
                                               .textPlainUtf8 = 107,
                                               .atomPair = 108,
                                               .transfer = 109,
                                               .clock = 110,
                                               .text = 111,
                                               .fileLists = {112, 113, 114, 115}};
inline constexpr X11Atom kAtomAtom = 4;      // ATOM, the type of a TARGETS list
inline constexpr X11Atom kIntegerAtom = 19;  // INTEGER
inline constexpr X11Atom kImagePngAtom = 120;

inline constexpr X11Window kReaderWindow = 0x400001;
inline constexpr X11Window kOwnerWindow = 0x600001;
inline constexpr X11Window kOtherOwnerWindow = 0x800001;

namespace fake_x11 {

// The owner writes our transfer property (ChangeProperty): replaced, or appended to. The server
// refuses a format other than 8, 16 or 32, and an append of another type or format; data that
// is no whole number of format units is cut to one.
struct SetProperty {
    X11Atom type = kFakeAtoms.utf8String;
    std::uint8_t format = 8;
    std::string data;
    bool append = false;
};
// The owner deletes our transfer property.
struct DeleteProperty {};
// The owner sends SelectionNotify. Unset fields answer the reader's latest request: its target,
// its time, our window, the clipboard, the property asked for (or None when refused).
struct Notify {
    bool refuse = false;
    std::optional<X11Atom> target = std::nullopt;
    std::optional<X11Window> requestor = std::nullopt;
    std::optional<X11Atom> selection = std::nullopt;
    std::optional<X11Time> time = std::nullopt;
    bool previousRequestTime = false;  // the time of the request before the latest one
};
// SetProperty, then Notify: the usual answer to a conversion.
struct Answer {
    SetProperty property;
};
// Another program takes the clipboard, or its owner goes away. The server reports it through
// XFixes when the fake has XFixes; a timestamp left unset is the server's time of the step.
struct OwnerChange {
    platform::X11OwnerNotify::Kind kind = platform::X11OwnerNotify::Kind::SetOwner;
    X11Window owner = kOtherOwnerWindow;
    std::optional<X11Time> timestamp = std::nullopt;
};
// Any event at all, delivered as it is.
struct Raw {
    platform::X11Event event;
};
// The connection to the server breaks. An X server that ends closes its other clients first,
// and what it told of them may still reach the reader: keepEvents delivers the events already
// sent, and the break shows at the next round trip.
struct Disconnect {
    bool keepEvents = false;
};
// The server stops answering (another client grabbed it): every round trip from now on goes
// unanswered for the options' serverPatience, and the connection reports silent().
struct ServerSilent {};

using Action = std::variant<SetProperty, DeleteProperty, Notify, Answer, OwnerChange, Raw,
                            Disconnect, ServerSilent>;

// The owner acts when the reader waits for an event and has seen every event so far, after the
// step's delay; a step at the same moment as the one before it happens before the reader sees
// anything of that one (two pieces written before the first is read, say).
struct Step {
    std::chrono::milliseconds after{0};  // after the step before it (or the start)
    Action action;
    bool sameMoment = false;
};

// What a script is mostly made of.
Step answer(X11Atom type, std::string data, std::chrono::milliseconds after = {});
Step answerTargets(const std::vector<X11Atom>& targets, std::chrono::milliseconds after = {});
// The INCR property that announces an incremental transfer of at least size bytes.
Step answerIncr(std::uint32_t size, std::chrono::milliseconds after = {});
Step refuse(std::chrono::milliseconds after = {});
// One piece of an incremental transfer; the empty piece ends it.
Step piece(std::string data, std::chrono::milliseconds after = {},
           X11Atom type = kFakeAtoms.utf8String);
// The same bytes as one property of format 32, as the server keeps a list of atoms.
std::string atomBytes(const std::vector<X11Atom>& atoms);

}  // namespace fake_x11

struct FakeX11Options {
    bool xfixes = true;              // the server tells owner changes
    X11Window owner = kOwnerWindow;  // who owns the clipboard at the start (None: nobody)
    // How long a round trip waits for a silent server before it gives up, as X11Connection does.
    std::chrono::milliseconds serverPatience{5'000};
};

class FakeX11Connection final : public platform::X11SelectionConnection {
  public:
    explicit FakeX11Connection(std::vector<fake_x11::Step> script, FakeX11Options options = {});

    // X11SelectionConnection.
    const platform::X11Atoms& atoms() const override { return kFakeAtoms; }
    X11Window window() const override { return kReaderWindow; }
    platform::Clock::time_point now() const override { return now_; }
    X11Time serverTime() override;
    std::optional<X11Window> clipboardOwner() override;
    void requestConversion(X11Atom target, X11Time time) override;
    std::optional<platform::X11PropertyReply> readTransferProperty(std::uint32_t offset,
                                                                   std::uint32_t length) override;
    std::optional<platform::X11Event> nextEvent(platform::Clock::time_point deadline) override;
    std::optional<platform::X11Event> queuedEvent() override;
    std::optional<std::string> atomName(X11Atom atom) override;
    bool broken() const override { return broken_; }
    bool silent() const override { return silent_; }

    // How much fake time has passed since the start.
    std::chrono::milliseconds elapsed() const;
    // The targets the reader asked for, in order.
    const std::vector<X11Atom>& requestedTargets() const { return requested_; }
    std::size_t propertyReads() const { return propertyReads_; }
    // The script steps played so far.
    std::size_t stepsPlayed() const { return next_; }
    // The text that the owner gave for the reader's latest request: the property as it was when
    // the owner announced its answer (SelectionNotify); when that was INCR, the pieces written
    // after it, in order, up to the empty one. A replacing write starts a piece, an append adds
    // to it; a piece that the owner replaced before it was read counts too, so a faithful reader
    // returns this or fails.
    std::string ownerWrote() const;
    // Every byte the owner wrote into our property since the reader's latest request.
    std::string ownerWroteAll() const;

  private:
    struct Property {
        X11Atom type;
        std::uint8_t format;
        std::string data;
    };
    struct Write {
        X11Atom type;
        std::string data;
        bool startsPiece;  // a replacing write, or an append that created the property
    };

    void play(const fake_x11::Action& action);
    void setProperty(const fake_x11::SetProperty& set);
    void deleteProperty();
    void notify(const fake_x11::Notify& notify);
    void changeOwner(const fake_x11::OwnerChange& change);
    X11Time serverNow() const;
    // A round trip: false, after the patience on the clock, when the server is silent.
    bool roundTrip();

    std::vector<fake_x11::Step> script_;
    std::size_t next_ = 0;
    bool xfixes_;
    std::chrono::milliseconds serverPatience_;
    bool serverStopped_ = false;
    bool silent_ = false;
    platform::Clock::time_point start_;
    platform::Clock::time_point now_;
    platform::Clock::time_point lastStep_;
    std::deque<platform::X11Event> pending_;
    std::optional<Property> property_;
    X11Window owner_;
    bool broken_ = false;
    X11Atom requestTarget_ = platform::kX11None;
    X11Time requestTime_ = platform::kX11CurrentTime;
    X11Time previousRequestTime_ = platform::kX11CurrentTime;
    X11Time staleTime_ = platform::kX11CurrentTime;  // the time of the attempt before
    std::optional<std::size_t> answeredAt_;          // writes_ before the answer the reader takes
    std::vector<X11Atom> requested_;
    std::vector<Write> writes_;  // since the latest request
    std::size_t propertyReads_ = 0;
};

}  // namespace pellomar::testing_support
