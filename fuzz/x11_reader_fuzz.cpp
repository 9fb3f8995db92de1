// The X11 reader against an owner that does whatever the input says: answers of any type, format
// and size, INCR pieces that stall, end early or never end, lists of thousands of targets,
// notices for other requests, owner changes, a lost or silent server, all at any moment on a fake
// clock. Every input must end, in bounded time and memory, with a text or no text, or a
// MorvantError (75): never a crash, a hang or another exception.
//
// Input: one byte of options (XFixes, an owner at the start, the GetProperty step), then steps
// until the input runs out, each a timing byte, an operation byte and the operation's own bytes.
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <optional>
#include <string>
#include <vector>

#include "ErrorRecord.h"
#include "FakeX11Connection.h"
#include "FuzzSupport.h"
#include "X11SelectionReader.h"

using namespace pellomar;
using namespace pellomar::testing_support;
using namespace std::chrono_literals;

namespace {

// The stricter oracle: a text read is exactly what the owner wrote for the request that was
// answered, in order, up to an incremental transfer's empty piece (FakeX11Connection::ownerWrote).
constexpr bool kOwnerWroteOracle = true;

class Input {
  public:
    Input(const std::uint8_t* data, std::size_t size) : data_(data), size_(size) {}
    bool empty() const { return at_ == size_; }
    std::uint8_t byte() { return empty() ? 0 : data_[at_++]; }
    std::uint32_t word() {
        std::uint32_t value = 0;
        for (int i = 0; i < 4; ++i) value = (value << 8) | byte();
        return value;
    }
    std::string bytes(std::size_t wanted) {
        const std::size_t n = std::min(wanted, size_ - at_);
        std::string out(reinterpret_cast<const char*>(data_ + at_), n);
        at_ += n;
        return out;
    }
    template <typename T, std::size_t N>
    T pick(const T (&from)[N]) {
        return from[byte() % N];
    }

  private:
    const std::uint8_t* data_;
    std::size_t size_;
    std::size_t at_ = 0;
};

// Mostly short delays, now and then one past the owner's patience, or none at all: the same
// moment as the step before, before the reader has seen anything of it.
struct When {
    std::chrono::milliseconds after;
    bool sameMoment;
};
When when(Input& in) {
    const unsigned b = in.byte();
    if (b >= 190 && b < 200) return {0ms, true};
    return {std::chrono::milliseconds(b < 200 ? b * 10 : b * 50), false};
}

X11Atom atom(Input& in) {
    const std::uint8_t choice = in.byte();
    const X11Atom known[] = {kFakeAtoms.targets,
                             kFakeAtoms.utf8String,
                             kFakeAtoms.textPlainUtf8,
                             platform::kX11AtomString,
                             kFakeAtoms.incr,
                             kImagePngAtom,
                             kAtomAtom,
                             kIntegerAtom,
                             kFakeAtoms.text,
                             kFakeAtoms.fileLists[1],
                             platform::kX11None};
    return choice < 240 ? known[choice % std::size(known)] : in.word();
}

std::uint8_t format(Input& in) {
    const std::uint8_t choice = in.byte();
    return choice < 250 ? (choice % 4 == 3 ? 32 : choice % 4 == 2 ? 16 : 8) : choice;
}

std::string data(Input& in) {
    const std::size_t low = in.byte();
    const std::size_t high = in.byte() & 0x0FU;
    return in.bytes(low | (high << 8));
}

// Up to 255 atoms, repeated up to 16 times: lists of thousands of targets from a few bytes.
std::vector<X11Atom> atomList(Input& in) {
    const std::size_t count = in.byte();
    const std::size_t repeat = 1 + (in.byte() & 0x0F);
    std::vector<X11Atom> pattern;
    for (std::size_t i = 0; i < count && !in.empty(); ++i) pattern.push_back(atom(in));
    std::vector<X11Atom> list;
    for (std::size_t r = 0; r < repeat; ++r)
        list.insert(list.end(), pattern.begin(), pattern.end());
    return list;
}

fake_x11::Action action(Input& in) {
    using namespace fake_x11;
    switch (in.byte() % 11) {
        case 0:
            return Answer{SetProperty{atom(in), format(in), data(in)}};
        case 1: {
            const bool append = (in.byte() & 1) != 0;
            return SetProperty{atom(in), format(in), data(in), append};
        }
        case 2: {
            Notify notify;
            const std::uint8_t flags = in.byte();
            notify.refuse = (flags & 1) != 0;
            if ((flags & 2) != 0) notify.target = atom(in);
            if ((flags & 4) != 0) notify.requestor = in.word();
            if ((flags & 8) != 0) notify.selection = atom(in);
            if ((flags & 16) != 0) notify.time = in.word();
            notify.previousRequestTime = (flags & 32) != 0;
            return notify;
        }
        case 3:
            return Answer{SetProperty{kAtomAtom, 32, atomBytes(atomList(in))}};
        case 4: {
            // Now and then a size of gigabytes; the reader's room for one costs the sanitizers
            // time, and most owners announce what they have.
            std::string size(4, '\0');
            const std::uint32_t announced = in.byte() < 240 ? in.word() & 0xFFFFU : in.word();
            std::memcpy(size.data(), &announced, sizeof announced);
            return Answer{SetProperty{kFakeAtoms.incr, 32, size}};
        }
        case 5: {
            const std::uint8_t flags = in.byte();
            OwnerChange change;
            change.kind = static_cast<platform::X11OwnerNotify::Kind>(flags % 3);
            const X11Window owners[] = {kOtherOwnerWindow, kReaderWindow, platform::kX11None,
                                        kOwnerWindow};
            change.owner = owners[(flags >> 2) % 4];
            if ((flags & 16) != 0) change.timestamp = in.word();
            return change;
        }
        case 6:
            return DeleteProperty{};
        case 7: {
            const std::uint8_t which = in.byte() % 3;
            if (which == 0) return Raw{platform::X11OtherEvent{}};
            // A notice of our property with no change behind it, or of another property.
            return Raw{platform::X11PropertyNotify{
                kReaderWindow, which == 1 ? kFakeAtoms.transfer : kFakeAtoms.clock, true}};
        }
        case 8:
            return Disconnect{.keepEvents = (in.byte() & 1) != 0};
        case 9:
            return ServerSilent{};
        default:
            return SetProperty{kFakeAtoms.utf8String, 8, ""};
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* bytes, std::size_t size) {
    Input in(bytes, size);
    const std::uint8_t options = in.byte();
    FakeX11Options fakeOptions;
    fakeOptions.xfixes = (options & 1) == 0;
    if ((options & 2) != 0) fakeOptions.owner = platform::kX11None;
    platform::X11Limits limits;
    const std::uint32_t steps[] = {limits.propertyStep, 1, 2, 16};
    limits.propertyStep = steps[(options >> 2) % 4];

    std::vector<fake_x11::Step> script;
    while (!in.empty()) {
        const When at = when(in);
        script.push_back({at.after, action(in), at.sameMoment});
    }
    FakeX11Connection fake(std::move(script), fakeOptions);
    try {
        X11Time time = fake.serverTime();
        const platform::ClipboardRead found = platform::readClipboard(fake, &time, limits);
        fuzzing::require(!(found.files && found.text), "a list of files is never read as text");
        if (const std::optional<platform::ClipboardBytes>& read = found.text) {
            // Nothing invented: every byte came from what the owner wrote for the request.
            fuzzing::require(read->bytes.size() <= fake.ownerWroteAll().size(),
                             "the text read is no longer than what the owner wrote");
            if (kOwnerWroteOracle) {
                fuzzing::require(read->bytes == fake.ownerWrote(),
                                 "the text read is what the owner wrote");
            }
        }
    } catch (const MorvantError& e) {
        fuzzing::require(e.record().Number == 75, "a failed read is error 75");
    }
    return 0;
}
