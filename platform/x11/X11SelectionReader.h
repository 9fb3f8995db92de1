#pragma once

#include <optional>
#include <string>

#include "X11Limits.h"
#include "X11SelectionConnection.h"

namespace pellomar::platform {

struct ClipboardBytes {
    std::string bytes;
    bool latin1 = false;  // the owner sent STRING; UTF-8 otherwise
};

// What a read found: text, or none (nobody owns the clipboard, an image), or a list of files,
// which has its paths as text too but must be left as it is.
struct ClipboardRead {
    std::optional<ClipboardBytes> text;
    bool files = false;
};

// Reads the clipboard's text as its owner sends it: the type of the owner's answer decides how
// it is decoded (UTF8_STRING and text/plain;charset=utf-8 UTF-8, STRING Latin-1), whatever was
// asked for; any other type, or a format other than 8, fails. When the owner changes during the
// read (a clipboard manager taking over, a second press of the hotkey), the read starts again
// and *time becomes the server time at which the last attempt began. Every failure is a
// MorvantError (75) whose description says what happened.
ClipboardRead readClipboard(X11SelectionConnection& connection, X11Time* time,
                            const X11Limits& limits = {});

}  // namespace pellomar::platform
