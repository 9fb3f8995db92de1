#include "X11Clipboard.h"

#include <cstdlib>

#include "Diagnostics.h"
#include "ErrorRecord.h"
#include "TextCodec.h"
#include "X11SelectionReader.h"
#include "X11SelectionServer.h"

namespace pellomar::platform {

namespace {

std::u16string fromLatin1(const std::string& bytes) {
    std::u16string text(bytes.size(), u'\0');
    for (std::size_t i = 0; i < bytes.size(); ++i) {
        text[i] = static_cast<unsigned char>(bytes[i]);
    }
    return text;
}

// The clipboard's text as the engine takes it: decoded, with CR LF line ends.
std::optional<std::u16string> decoded(const std::optional<ClipboardBytes>& content) {
    if (!content) return std::nullopt;
    if (content->latin1) return lfToCrLf(fromLatin1(content->bytes));
    std::size_t bad = 0;
    std::optional<std::u16string> text = decodeUtf8(content->bytes, &bad);
    if (!text) {
        throw MorvantError(ErrorNumber::PathFileAccessError,
                           "the clipboard's text is not UTF-8 at byte " + std::to_string(bad + 1) +
                               "; the clipboard was left as it was");
    }
    return lfToCrLf(*text);
}

[[noreturn]] void throwChanged() {
    throw MorvantError(ErrorNumber::PathFileAccessError,
                       "the clipboard changed while its text was laid out; the new content was "
                       "kept and the result was not written");
}

}  // namespace

namespace {
std::string displayName() {
    const char* display = std::getenv("DISPLAY");
    return display != nullptr ? display : "";
}
}  // namespace

X11Clipboard::X11Clipboard(const X11Limits& limits)
    : limits_(limits), connection_(limits), turn_(displayName()) {}

std::optional<std::u16string> X11Clipboard::text() {
    turn_.acquire();
    readTime_ = connection_.serverTime();
    ClipboardRead read = readClipboard(connection_, &readTime_, limits_);
    if (read.files) {
        printDiagnostic("the clipboard holds files, not text; it was left as it was");
        return std::nullopt;
    }
    readBytes_ = std::move(read.text);
    return decoded(readBytes_);
}

void X11Clipboard::setText(const std::u16string& text) {
    struct EndOfTurn {
        RequestLock& turn;
        ~EndOfTurn() { turn.release(); }
    } endOfTurn{turn_};
    resultUtf8_ = encodeUtf8(crLfToLf(text));
    xcb_connection_t* c = connection_.get();
    const xcb_window_t window = connection_.window();
    const xcb_atom_t clipboard = connection_.atoms().clipboard;
    xcb_timestamp_t time = readTime_;
    for (int attempt = 1; attempt <= limits_.writeAttempts; ++attempt) {
        // With the time at which the read began, the server refuses the change if any program
        // set the clipboard since then: what it holds now may be newer than what was laid out.
        xcb_set_selection_owner(c, window, clipboard, time);
        const std::optional<X11Window> owner = connection_.clipboardOwner();
        if (!owner && connection_.silent()) {
            // The server may still grant the request once it answers again: the serving process
            // finds out, and serves the result only then.
            ownedSince_ = time;
            owned_ = true;
            ownershipUnknown_ = true;
            throw MorvantError(ErrorNumber::PathFileAccessError,
                               "the X server stopped answering (nothing for " +
                                   patienceText(limits_.serverPatience) +
                                   ") after dovlek asked it for the clipboard; the result is "
                                   "on the clipboard only if the server hands it over when it "
                                   "answers again");
        }
        if (!owner) {
            throw MorvantError(ErrorNumber::PathFileAccessError,
                               "the connection to the X server was lost before the result was "
                               "written; the clipboard was left as it was");
        }
        if (*owner == window) {
            ownedSince_ = time;
            owned_ = true;
            return;
        }
        // Someone set the clipboard meanwhile. A clipboard manager that took over the same text
        // changes nothing that matters; a second press of the hotkey that was quicker has already
        // put this very result there. Anything else is new content, which is kept.
        time = connection_.serverTime();
        const ClipboardRead read = readClipboard(connection_, &time, limits_);
        const std::optional<ClipboardBytes>& now = read.text;
        if (now && !now->latin1 && now->bytes == resultUtf8_) return;
        const bool sameAsRead = now && readBytes_ && now->latin1 == readBytes_->latin1 &&
                                now->bytes == readBytes_->bytes;
        if (!sameAsRead) throwChanged();
    }
    throwChanged();
}

void X11Clipboard::serveUntilTaken() noexcept {
    if (ownershipUnknown_) {
        // The serving process waits for the server as long as it takes: a grab must not end it.
        xcb_connection_t* c = connection_.get();
        const XcbPtr<xcb_get_selection_owner_reply_t> owner(xcb_get_selection_owner_reply(
            c, xcb_get_selection_owner(c, connection_.atoms().clipboard), nullptr));
        if (!owner || owner->owner != connection_.window()) return;
    }
    serveSelection(connection_, resultUtf8_, ownedSince_, limits_);
}

}  // namespace pellomar::platform
