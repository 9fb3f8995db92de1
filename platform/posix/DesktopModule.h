#pragma once

// The box and the test window go through Qt Widgets, which lives in a module beside dovlek
// (libpellomar-desktop.so), loaded (dlopen) only when a box must be shown or the test window
// opens. dovlek itself links no Qt: a clipboard request that succeeds never loads Qt's fifty-odd
// libraries, and a missing module costs only the box. Nothing here includes Qt.

#include "Desktop.h"
#include "ErrorRecord.h"

namespace pellomar::platform {

struct DesktopModule {
    // The error box, message on standard error included; creates the application.
    void (*showMessageBox)(const ErrorRecord& record);
    // Shows frmTest and runs until it is closed; returns the exit status.
    int (*runTestWindow)(DesktopKind kind);
};

inline constexpr const char* kDesktopModuleFile = "libpellomar-desktop.so";

// Loads the module from the executable's directory on first use; a MorvantError (53) if it
// cannot be loaded.
const DesktopModule& desktopModule();

}  // namespace pellomar::platform

// The module's one exported symbol.
extern "C" const pellomar::platform::DesktopModule* pellomar_desktop_module();
