#pragma once

// Which desktop dovlek talks to.
// Nothing here includes Qt.

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

// Opens /dev/null on any of descriptors 0-2 that the program was started without, so that the
// X connection and the pipes of helper programs never land on them: the serving child points
// 0-2 at /dev/null and would cut its own connection.
void keepStandardDescriptorsOpen();

}  // namespace pellomar::platform
