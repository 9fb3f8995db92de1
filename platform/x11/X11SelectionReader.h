#pragma once

#include <optional>
#include <string>

#include "X11Limits.h"
#include "X11SelectionConnection.h"

namespace pellomar::platform {

struct ClipboardBytes {
    std::string bytes;
    bool latin1 = false;  // STRING, the only text form the owner offered; UTF-8 otherwise
};

// Reads the clipboard's text as its owner sends it. Nothing when no program owns the clipboard
// or the owner offers no text (an image, a list of files). When the owner changes during the
// read (a clipboard manager taking over, a second press of the hotkey), the read starts again
// and *time becomes the server time at which the last attempt began. Every failure is a
// MorvantError (75) whose description says what happened.
std::optional<ClipboardBytes> readClipboard(X11SelectionConnection& connection, X11Time* time,
                                            const X11Limits& limits = {});

}  // namespace pellomar::platform
