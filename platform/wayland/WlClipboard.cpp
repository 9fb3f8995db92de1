#include "WlClipboard.h"

#include <string_view>

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

bool isTextType(std::string_view type) {
    return type.substr(0, 5) == "text/" || type == "UTF8_STRING" || type == "STRING" ||
           type == "TEXT";
}

}  // namespace

bool WlClipboard::available() {
    return onPath("wl-paste") && onPath("wl-copy");
}

std::optional<std::u16string> WlClipboard::text() {
    const ProgramResult types =
        runProgram({"wl-paste", "--list-types"}, nullptr, true, limits_.programPatience);
    if (!succeeded(types)) {
        // An empty clipboard is no failure: there is simply no text.
        if (types.err.find("Nothing is copied") != std::string::npos ||
            types.err.find("No selection") != std::string::npos) {
            return std::nullopt;
        }
        throwProgramError("wl-paste", types);
    }
    std::string chosen;
    for (std::string_view preferred : {"text/plain;charset=utf-8", "UTF8_STRING", "text/plain"}) {
        if (("\n" + types.out + "\n").find("\n" + std::string(preferred) + "\n") !=
            std::string::npos) {
            chosen = preferred;
            break;
        }
    }
    if (chosen.empty()) {
        std::string_view rest(types.out);
        while (!rest.empty() && chosen.empty()) {
            const std::size_t eol = rest.find('\n');
            const std::string_view type = rest.substr(0, eol);
            if (isTextType(type)) chosen = type;
            rest.remove_prefix(eol == std::string_view::npos ? rest.size() : eol + 1);
        }
    }
    if (chosen.empty()) return std::nullopt;  // an image or a file list is not ours to replace
    const ProgramResult paste = runProgram({"wl-paste", "--no-newline", "--type", chosen}, nullptr,
                                           true, limits_.programPatience);
    if (!succeeded(paste)) throwProgramError("wl-paste", paste);
    std::size_t bad = 0;
    std::optional<std::u16string> text = decodeUtf8(paste.out, &bad);
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
    const std::string bytes = encodeUtf8(crLfToLf(text));
    const ProgramResult result = runProgram({"wl-copy", "--type", "text/plain;charset=utf-8"},
                                            &bytes, false, limits_.programPatience);
    if (!succeeded(result)) throwProgramError("wl-copy", result);
}

}  // namespace pellomar::platform
