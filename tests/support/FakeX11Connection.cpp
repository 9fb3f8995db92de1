#include "FakeX11Connection.h"

#include <algorithm>
#include <cstring>
#include <utility>

#include "ErrorRecord.h"
#include "X11Limits.h"

namespace pellomar::testing_support {

using platform::Clock;
using platform::kX11None;
using platform::X11Event;
using platform::X11OwnerNotify;
using platform::X11PropertyNotify;
using platform::X11PropertyReply;
using platform::X11SelectionNotify;

namespace fake_x11 {

Step answer(X11Atom type, std::string data, std::chrono::milliseconds after) {
    return {after, Answer{SetProperty{type, 8, std::move(data)}}};
}

Step answerTargets(const std::vector<X11Atom>& targets, std::chrono::milliseconds after) {
    return {after, Answer{SetProperty{kAtomAtom, 32, atomBytes(targets)}}};
}

Step answerIncr(std::uint32_t size, std::chrono::milliseconds after) {
    std::string data(sizeof size, '\0');
    std::memcpy(data.data(), &size, sizeof size);
    return {after, Answer{SetProperty{kFakeAtoms.incr, 32, std::move(data)}}};
}

Step refuse(std::chrono::milliseconds after) {
    return {after, Notify{.refuse = true}};
}

Step piece(std::string data, std::chrono::milliseconds after, X11Atom type) {
    return {after, SetProperty{type, 8, std::move(data)}};
}

std::string atomBytes(const std::vector<X11Atom>& atoms) {
    std::string bytes(atoms.size() * sizeof(X11Atom), '\0');
    if (!atoms.empty()) std::memcpy(bytes.data(), atoms.data(), bytes.size());
    return bytes;
}

}  // namespace fake_x11

namespace {

// An X server's time in milliseconds, from a start that is not zero (CurrentTime).
constexpr X11Time kServerTimeAtStart = 1'000'000;

}  // namespace

FakeX11Connection::FakeX11Connection(std::vector<fake_x11::Step> script, FakeX11Options options)
    : script_(std::move(script)),
      xfixes_(options.xfixes),
      serverPatience_(options.serverPatience),
      start_(Clock::time_point{} + std::chrono::hours(24)),
      now_(start_),
      lastStep_(start_),
      owner_(options.owner) {}

std::chrono::milliseconds FakeX11Connection::elapsed() const {
    return std::chrono::duration_cast<std::chrono::milliseconds>(now_ - start_);
}

X11Time FakeX11Connection::serverNow() const {
    return kServerTimeAtStart + static_cast<X11Time>(elapsed().count());
}

bool FakeX11Connection::roundTrip() {
    if (broken_) return false;
    if (serverStopped_) {
        now_ += serverPatience_;
        silent_ = true;
        return false;
    }
    return true;
}

X11Time FakeX11Connection::serverTime() {
    if (!roundTrip()) {
        throw MorvantError(ErrorNumber::PathFileAccessError,
                           silent_ ? platform::serverSilentText(serverPatience_)
                                   : "the connection to the X server was lost; the clipboard was "
                                     "left as it was");
    }
    // The round trip takes a moment, and the events that came before its answer are passed over.
    now_ += std::chrono::milliseconds(1);
    pending_.clear();
    return serverNow();
}

std::optional<X11Window> FakeX11Connection::clipboardOwner() {
    if (!roundTrip()) return std::nullopt;
    return owner_;
}

std::optional<std::string> FakeX11Connection::atomName(X11Atom atom) {
    if (!roundTrip()) return std::nullopt;
    const platform::X11Atoms& a = kFakeAtoms;
    const std::pair<X11Atom, const char*> names[] = {
        {kAtomAtom, "ATOM"},
        {kIntegerAtom, "INTEGER"},
        {platform::kX11AtomString, "STRING"},
        {kImagePngAtom, "image/png"},
        {a.targets, "TARGETS"},
        {a.incr, "INCR"},
        {a.utf8String, "UTF8_STRING"},
        {a.textPlainUtf8, "text/plain;charset=utf-8"},
        {a.text, "TEXT"},
        {a.fileLists[0], "text/uri-list"},
        {a.fileLists[1], "x-special/gnome-copied-files"},
        {a.fileLists[2], "x-special/mate-copied-files"},
        {a.fileLists[3], "application/x-kde4-urilist"},
    };
    for (const auto& [known, name] : names) {
        if (known == atom) return name;
    }
    return std::nullopt;  // BadAtom
}

void FakeX11Connection::requestConversion(X11Atom target, X11Time time) {
    if (broken_) return;
    deleteProperty();
    // A new time starts a new attempt: the reader passes over answers with the time before.
    if (time != requestTime_ && requestTime_ != platform::kX11CurrentTime)
        staleTime_ = requestTime_;
    answeredAt_.reset();
    previousRequestTime_ = requestTime_;
    requestTarget_ = target;
    requestTime_ = time;
    requested_.push_back(target);
    writes_.clear();
}

std::optional<X11PropertyReply> FakeX11Connection::readTransferProperty(std::uint32_t offset,
                                                                        std::uint32_t length) {
    if (!roundTrip()) return std::nullopt;
    ++propertyReads_;
    if (!property_) return X11PropertyReply{};  // no such property: type None, nothing after
    // GetProperty as the protocol defines it, offset and length in 4-byte units.
    const std::uint64_t size = property_->data.size();
    const std::uint64_t begin = std::uint64_t{offset} * 4;
    if (begin > size) return std::nullopt;  // BadValue
    const std::uint64_t count = std::min(size - begin, std::uint64_t{length} * 4);
    const std::uint64_t after = size - begin - count;
    X11PropertyReply reply{property_->type, property_->format, property_->data.substr(begin, count),
                           static_cast<std::uint32_t>(after)};
    if (after == 0) deleteProperty();
    return reply;
}

std::optional<X11Event> FakeX11Connection::nextEvent(Clock::time_point deadline) {
    for (;;) {
        if (!pending_.empty()) {
            const X11Event event = pending_.front();
            pending_.pop_front();
            return event;
        }
        if (broken_) return std::nullopt;
        // A silent server passes nothing on, whatever the owner does.
        const bool due = !serverStopped_ && next_ < script_.size() &&
                         lastStep_ + script_[next_].after <= std::max(deadline, now_);
        if (!due) {
            now_ = std::max(now_, deadline);
            return std::nullopt;
        }
        now_ = std::max(now_, lastStep_ + script_[next_].after);
        lastStep_ = now_;
        play(script_[next_++].action);
        while (next_ < script_.size() && script_[next_].sameMoment) play(script_[next_++].action);
    }
}

std::optional<X11Event> FakeX11Connection::queuedEvent() {
    if (pending_.empty()) return std::nullopt;
    const X11Event event = pending_.front();
    pending_.pop_front();
    return event;
}

void FakeX11Connection::play(const fake_x11::Action& action) {
    if (const auto* set = std::get_if<fake_x11::SetProperty>(&action)) {
        setProperty(*set);
    } else if (std::holds_alternative<fake_x11::DeleteProperty>(action)) {
        deleteProperty();
    } else if (const auto* answer = std::get_if<fake_x11::Notify>(&action)) {
        notify(*answer);
    } else if (const auto* both = std::get_if<fake_x11::Answer>(&action)) {
        setProperty(both->property);
        notify({});
    } else if (const auto* change = std::get_if<fake_x11::OwnerChange>(&action)) {
        changeOwner(*change);
    } else if (const auto* raw = std::get_if<fake_x11::Raw>(&action)) {
        pending_.push_back(raw->event);
    } else if (const auto* disconnect = std::get_if<fake_x11::Disconnect>(&action)) {
        broken_ = true;
        if (!disconnect->keepEvents) pending_.clear();
    } else if (std::holds_alternative<fake_x11::ServerSilent>(action)) {
        serverStopped_ = true;
    }
}

void FakeX11Connection::setProperty(const fake_x11::SetProperty& set) {
    if (set.format != 8 && set.format != 16 && set.format != 32) return;  // BadValue
    const std::size_t unit = set.format / 8;
    const std::string data = set.data.substr(0, set.data.size() / unit * unit);
    const bool startsPiece = !set.append || !property_;
    if (!startsPiece) {
        if (property_->type != set.type || property_->format != set.format) return;  // BadMatch
        property_->data += data;
    } else {
        property_ = Property{set.type, set.format, data};
    }
    writes_.push_back({set.type, data, startsPiece});
    pending_.push_back(X11PropertyNotify{kReaderWindow, kFakeAtoms.transfer, true});
}

void FakeX11Connection::deleteProperty() {
    if (!property_) return;
    property_.reset();
    pending_.push_back(X11PropertyNotify{kReaderWindow, kFakeAtoms.transfer, false});
}

void FakeX11Connection::notify(const fake_x11::Notify& notify) {
    X11SelectionNotify event;
    event.requestor = notify.requestor.value_or(kReaderWindow);
    event.selection = notify.selection.value_or(kFakeAtoms.clipboard);
    event.target = notify.target.value_or(requestTarget_);
    event.property = notify.refuse ? kX11None : kFakeAtoms.transfer;
    event.time =
        notify.previousRequestTime ? previousRequestTime_ : notify.time.value_or(requestTime_);
    const bool answers = event.requestor == kReaderWindow &&
                         event.selection == kFakeAtoms.clipboard &&
                         event.target == requestTarget_ && event.property != kX11None &&
                         !(event.time == staleTime_ && staleTime_ != platform::kX11CurrentTime);
    if (answers && !answeredAt_) answeredAt_ = writes_.size();
    pending_.push_back(event);
}

void FakeX11Connection::changeOwner(const fake_x11::OwnerChange& change) {
    owner_ = change.kind == X11OwnerNotify::Kind::SetOwner ? change.owner : kX11None;
    if (!xfixes_) return;
    pending_.push_back(X11OwnerNotify{change.kind, kFakeAtoms.clipboard, owner_,
                                      change.timestamp.value_or(serverNow())});
}

std::string FakeX11Connection::ownerWrote() const {
    // The answer is the property as it was when the owner announced it; writes before that
    // replaced one another.
    const std::size_t answered = answeredAt_.value_or(writes_.size());
    X11Atom type = kX11None;
    std::string value;
    for (std::size_t i = 0; i < answered; ++i) {
        if (writes_[i].startsPiece) {
            value.clear();
            type = writes_[i].type;
        }
        value += writes_[i].data;
    }
    if (type != kFakeAtoms.incr) return value;
    std::string text;
    for (std::size_t i = answered; i < writes_.size(); ++i) {
        const Write& write = writes_[i];
        if (write.type == kFakeAtoms.incr) continue;
        if (write.startsPiece && write.data.empty()) break;
        text += write.data;
    }
    return text;
}

std::string FakeX11Connection::ownerWroteAll() const {
    std::string text;
    for (const Write& write : writes_) text += write.data;
    return text;
}

}  // namespace pellomar::testing_support
