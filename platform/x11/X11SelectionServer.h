#pragma once

#include <xcb/xcb.h>

#include <string>

#include "X11Connection.h"
#include "X11Limits.h"

namespace pellomar::platform {

// Serves the clipboard's content, owned since the given server time, until another program
// takes the clipboard and the transfers in flight have ended, or the connection is lost.
// Answers TARGETS, UTF8_STRING, text/plain;charset=utf-8, STRING (Latin-1, offered only when
// every character has a Latin-1 form), TEXT (STRING when it can, else UTF8_STRING), TIMESTAMP and
// MULTIPLE. Large content goes out incrementally from the one buffer; the transfers in flight
// are bounded, and one whose requestor goes away or stops reading is dropped, so that what other
// clients ask can neither grow this process without bound nor hold up the next reader. A
// SelectionClear ends the serving only when the server confirms that another program owns the
// clipboard. Never throws.
void serveSelection(X11Connection& connection, const std::string& utf8, xcb_timestamp_t ownedSince,
                    const X11Limits& limits = {}) noexcept;

}  // namespace pellomar::platform
