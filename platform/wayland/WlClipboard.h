#pragma once

#include <optional>
#include <string>

#include "Clipboard.h"
#include "PosixLimits.h"
#include "RequestLock.h"
#include "WaylandLimits.h"

namespace pellomar::platform {

// The Wayland clipboard through wl-clipboard's wl-paste and wl-copy; wl-copy leaves a process
// behind that serves the result. Text crosses with CR LF line ends as the interface says; the
// programs see UTF-8 with LF. Each program gets a time limit, so that a compositor that hangs
// cannot hang the request.
//
// Only plain text types are read; a clipboard that offers copied files is left alone even when
// it offers their paths as text too. Wayland has no server time to make the write a
// compare-and-set as X11 does, so setText reads the clipboard again just before wl-copy and
// writes only when it still holds what was read (or this very result already): the window that
// remains is the time wl-copy takes to start and set the clipboard. Requests on one display take
// turns from the read to the end of the write (RequestLock.h).
class WlClipboard final : public Clipboard {
  public:
    explicit WlClipboard(const WaylandLimits& limits = {}, const PosixLimits& posixLimits = {});

    // Both programs are on the PATH.
    static bool available();

    std::optional<std::u16string> text() override;
    void clear() override;
    void setText(const std::u16string& text) override;

    // A request that fails lets the next one go before it shows its box.
    void releaseTurn() { turn_.release(); }

  private:
    struct Content;
    Content read() const;

    WaylandLimits limits_;
    RequestLock turn_;
    // The plain text that text() read, as wl-paste gave it.
    std::string readBytes_;
};

}  // namespace pellomar::platform
