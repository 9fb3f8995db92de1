#include "WlClipboard.h"

#include <array>
#include <cstdlib>
#include <string_view>

#include "ClipboardTypes.h"
#include "Diagnostics.h"
#include "ErrorRecord.h"
#include "Subprocess.h"
#include "TextCodec.h"

namespace pellomar::platform {

namespace {

[[noreturn]] void throwProgramError(const std::string& program, const ProgramResult& result) {
    std::string detail = program + " " + describeWaitStatus(result.waitStatus);
    if (!result.err.empty()) detail += ": " + result.err;
    throw MorvantError(ErrorNumber::PathFileAccessError,
                       detail + "; the clipboard was left as it was");
}

[[noreturn]] void throwChanged() {
    throw MorvantError(ErrorNumber::PathFileAccessError,
                       "the clipboard changed while its text was laid out; the new content was "
                       "kept and the result was not written");
}

// Requests on different compositors do not wait for each other; the prefix keeps an X display
// and a Wayland display of the same name apart.
std::string turnKey() {
    const char* display = std::getenv("WAYLAND_DISPLAY");
    return std::string("wayland-display-") + (display != nullptr ? display : "");
}

// The plain text types in the order they are asked for: those that name UTF-8 first.
constexpr std::array<std::string_view, 5> kTextPreference = {
    "text/plain;charset=utf-8", "UTF8_STRING", "text/plain", "STRING", "TEXT"};

}  // namespace

struct WlClipboard::Content {
    enum class Kind { Nothing, Files, NoText, Text };
    Kind kind = Kind::Nothing;
    std::string bytes;  // the text, for Kind::Text
};

WlClipboard::WlClipboard(const WaylandLimits& limits, const PosixLimits& posixLimits)
    : limits_(limits), turn_(turnKey(), posixLimits) {}

bool WlClipboard::available() {
    return onPath("wl-paste") && onPath("wl-copy");
}

WlClipboard::Content WlClipboard::read() const {
    const ProgramResult types =
        runProgram({"wl-paste", "--list-types"}, nullptr, true, limits_.programPatience);
    if (!succeeded(types)) {
        // An empty clipboard is no failure: there is simply no text.
        if (types.err.find("Nothing is copied") != std::string::npos ||
            types.err.find("No selection") != std::string::npos) {
            return {};
        }
        throwProgramError("wl-paste", types);
    }
    std::array<bool, kTextPreference.size()> offered{};
    std::string_view rest(types.out);
    while (!rest.empty()) {
        const std::size_t eol = rest.find('\n');
        const std::string_view type = rest.substr(0, eol);
        rest.remove_prefix(eol == std::string_view::npos ? rest.size() : eol + 1);
        // Copied files come with their paths as text: pasted as files, or not at all.
        if (isFileListType(type)) return {Content::Kind::Files, {}};
        if (!isPlainTextType(type)) continue;
        for (std::size_t i = 0; i < kTextPreference.size(); ++i) {
            if (type == kTextPreference[i]) offered[i] = true;
        }
    }
    for (std::size_t i = 0; i < kTextPreference.size(); ++i) {
        if (!offered[i]) continue;
        const ProgramResult paste =
            runProgram({"wl-paste", "--no-newline", "--type", std::string(kTextPreference[i])},
                       nullptr, true, limits_.programPatience);
        if (!succeeded(paste)) throwProgramError("wl-paste", paste);
        return {Content::Kind::Text, paste.out};
    }
    return {Content::Kind::NoText, {}};  // an image, rich text alone: not ours to replace
}

std::optional<std::u16string> WlClipboard::text() {
    turn_.acquire();
    Content content = read();
    if (content.kind == Content::Kind::Files) {
        printDiagnostic("the clipboard holds files, not text; it was left as it was");
    }
    if (content.kind != Content::Kind::Text) {
        turn_.release();
        return std::nullopt;
    }
    readBytes_ = std::move(content.bytes);
    std::size_t bad = 0;
    std::optional<std::u16string> text = decodeUtf8(readBytes_, &bad);
    if (!text) {
        throw MorvantError(ErrorNumber::PathFileAccessError,
                           "the clipboard's text is not UTF-8 at byte " + std::to_string(bad + 1) +
                               "; the clipboard was left as it was");
    }
    return lfToCrLf(*text);
}

void WlClipboard::clear() {
    // Nothing of its own: wl-copy replaces the content in one step, as on X11.
}

void WlClipboard::setText(const std::u16string& text) {
    struct EndOfTurn {
        RequestLock& turn;
        ~EndOfTurn() { turn.release(); }
    } endOfTurn{turn_};
    const std::string bytes = encodeUtf8(crLfToLf(text));
    // A copy made since the read is kept; a clipboard manager that took over the same text, or
    // a press that was quicker and already wrote this result, changed nothing that matters.
    const Content now = read();
    if (now.kind == Content::Kind::Text && now.bytes == bytes) return;
    if (now.kind != Content::Kind::Text || now.bytes != readBytes_) throwChanged();
    // wl-copy leaves its serving process in the directory it starts in: not the caller's, which
    // would stay busy (an unmountable USB stick, say) for as long as the result is served.
    const ProgramResult result = runProgram({"wl-copy", "--type", "text/plain;charset=utf-8"},
                                            &bytes, false, limits_.programPatience, "/");
    if (!succeeded(result)) throwProgramError("wl-copy", result);
}

}  // namespace pellomar::platform
