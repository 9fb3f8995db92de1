#pragma once

// Which desktop dovlek talks to, and the pieces of a clipboard request that need no toolkit:
// the detached child that keeps an X11 result alive, and the wl-clipboard stand-in on Wayland.
// Nothing here includes Qt, so that the project builds and tests without it.

#include <functional>
#include <optional>
#include <string>

#include "Clipboard.h"

namespace pellomar::platform {

enum class DesktopKind {
    X11,      // DISPLAY is set (also under a Wayland session, through XWayland)
    Wayland,  // WAYLAND_DISPLAY alone
    None,     // neither: the stdio stand-in
};

// DISPLAY wins over WAYLAND_DISPLAY: GNOME and KDE Wayland sessions run XWayland, and a
// Wayland client without a focused window can neither read nor set the clipboard.
DesktopKind detectDesktop();

// The Qt platform plugin for a desktop: "xcb" or "wayland".
const char* qtPlatformName(DesktopKind kind);

// Writes "Pellomar: <text>\n" to standard error, or, inside a detached request, hands the line
// to the parent, which prints it (the child's own standard error is /dev/null).
void printDiagnostic(const std::string& text);
// Sends printDiagnostic's lines to another function instead (the desktop module's copy of this
// layer forwards them to dovlek's); nullptr restores standard error.
void setDiagnosticSink(void (*sink)(const std::string& text));

// The child's side of a detached request: the one place that tells the waiting parent how the
// request ended.
class DetachedReport {
  public:
    // Tells the parent the exit status; the parent prints what it was sent and exits with it.
    // Only the first call counts.
    void finish(int status);
    bool finished() const { return finished_; }

  private:
    friend int runDetached(const std::function<int(DetachedReport&)>& request);
    explicit DetachedReport(int fd) : fd_(fd) {}
    int fd_;
    bool finished_ = false;
};

// On X11 the clipboard's content lives in the process that set it, so a result must outlive the
// program that the hotkey started. runDetached forks before any toolkit object exists. The child
// starts a new session, points its standard streams at /dev/null, runs request (which calls
// report.finish when the result can be pasted, and then may go on serving it), and _exits with
// what request returned. The parent waits only for the report and returns its status; a child
// that dies before reporting gives status 2 and a message on standard error.
int runDetached(const std::function<int(DetachedReport&)>& request);

// The Wayland clipboard through wl-clipboard's wl-paste and wl-copy. Text crosses with CR LF line
// ends as the interface says; the programs see UTF-8 with LF.
class WlClipboard final : public Clipboard {
  public:
    // Both programs are on the PATH.
    static bool available();

    std::optional<std::u16string> text() override;
    void clear() override;
    void setText(const std::u16string& text) override;
};

}  // namespace pellomar::platform
