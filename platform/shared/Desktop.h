#pragma once

// Which desktop dovlek talks to. Nothing here includes Qt or a host's headers: the Qt host and
// the desktop module name the desktop by this too.

namespace pellomar::platform {

enum class DesktopKind {
    X11,      // DISPLAY is set (also under a Wayland session, through XWayland)
    Wayland,  // WAYLAND_DISPLAY alone
    None,     // neither: the stdio stand-in
};

// DISPLAY wins over WAYLAND_DISPLAY: GNOME and KDE Wayland sessions run XWayland, and a
// Wayland client without a focused window can neither read nor set the clipboard.
DesktopKind detectDesktop();

}  // namespace pellomar::platform
