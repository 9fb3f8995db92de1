#pragma once

// The Qt application that the box and the test window need, built into the desktop module and
// the widget tests. The header names no Qt type.

#include "Desktop.h"

namespace pellomar::platform {

// Creates the QApplication on the given desktop (X11 through the xcb platform, Wayland through
// Qt's wayland platform), unless one exists.
void startApplication(DesktopKind kind);
// Runs the event loop; returns the status passed to QCoreApplication::exit.
int execApplication();
// Destroys the application (before main returns, never in static destruction).
void stopApplication();

// Qt ends the process with abort() when it gives up (a display it cannot connect to, a missing
// platform plugin); this handler says why on standard error and exits with status 2 instead, so
// that no path ends in a core dump. startApplication installs it.
void installFatalMessageHandler();

}  // namespace pellomar::platform
