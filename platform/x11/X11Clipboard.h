#pragma once

// The X11 clipboard (the CLIPBOARD selection) spoken directly on libxcb. Reading asks the owner
// for its targets first and takes UTF-8 text (Latin-1 STRING only when no UTF-8 form is offered),
// incremental transfers included; every failure is an error that names what happened, so that a
// failed read never reaches the layout as an empty text. Writing takes ownership with a real
// server timestamp, which makes it a compare-and-set: if another program set the clipboard since
// the read began, the server refuses and nothing the user copied meanwhile is overwritten.

#include <xcb/xcb.h>

#include <optional>
#include <string>

#include "Clipboard.h"
#include "RequestLock.h"
#include "X11Connection.h"
#include "X11Limits.h"
#include "X11SelectionReader.h"

namespace pellomar::platform {

class X11Clipboard final : public Clipboard {
  public:
    // Connects to DISPLAY; fails (75) when no server accepts.
    explicit X11Clipboard(const X11Limits& limits = {});

    std::optional<std::u16string> text() override;
    // Nothing of its own: taking ownership in setText replaces the content in one step, so the
    // clipboard is never empty in between and a clipboard manager sees the new content.
    void clear() override {}
    void setText(const std::u16string& text) override;

    // Whether this process now owns the clipboard and must serve the result; also when it asked
    // for the clipboard and the server stopped answering (serveUntilTaken serves only if the
    // server granted it).
    bool owned() const { return owned_; }
    // The X server stopped answering: nothing more, not even a box, can be shown on it.
    bool serverSilent() const { return connection_.silent(); }
    // Serves the result until another program takes the clipboard (transfers in flight are
    // finished first) or the connection to the server is lost. Never throws.
    void serveUntilTaken() noexcept;

    X11Connection& connection() { return connection_; }
    // Requests on one display take turns from the read to the confirmed write (RequestLock.h);
    // a request that fails lets the next one go before it shows its box.
    void releaseTurn() { turn_.release(); }

  private:
    X11Limits limits_;
    X11Connection connection_;
    RequestLock turn_;
    // What text() read, and the server time at which that read began.
    std::optional<ClipboardBytes> readBytes_;
    xcb_timestamp_t readTime_ = XCB_CURRENT_TIME;
    std::string resultUtf8_;
    xcb_timestamp_t ownedSince_ = XCB_CURRENT_TIME;
    bool owned_ = false;
    bool ownershipUnknown_ = false;
};

}  // namespace pellomar::platform
