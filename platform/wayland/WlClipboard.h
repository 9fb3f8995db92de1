#pragma once

#include <optional>
#include <string>

#include "Clipboard.h"
#include "WaylandLimits.h"

namespace pellomar::platform {

// The Wayland clipboard through wl-clipboard's wl-paste and wl-copy; wl-copy leaves a process
// behind that serves the result. Text crosses with CR LF line ends as the interface says; the
// programs see UTF-8 with LF. Each program gets a time limit, so that a compositor that hangs
// cannot hang the request.
class WlClipboard final : public Clipboard {
  public:
    explicit WlClipboard(const WaylandLimits& limits = {}) : limits_(limits) {}

    // Both programs are on the PATH.
    static bool available();

    std::optional<std::u16string> text() override;
    void clear() override;
    void setText(const std::u16string& text) override;

  private:
    WaylandLimits limits_;
};

}  // namespace pellomar::platform
