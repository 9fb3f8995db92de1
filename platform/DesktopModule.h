#pragma once

// The desktop through Qt lives in two modules beside dovlek, loaded (dlopen) only when a desktop
// is used. dovlek itself links no Qt: its stdio mode, and the parent that the hotkey waits for,
// start without loading Qt's fifty-odd libraries, and the detached child is forked from a small
// process. The clipboard module needs Qt GUI alone; Qt Widgets, which a hotkey request only needs
// for an error box, is in the desktop module. Loading Widgets and its relocations would otherwise
// be a sixth of every request's start-up. Nothing here includes Qt.

#include <string>

#include "Clipboard.h"
#include "Desktop.h"
#include "ErrorRecord.h"

namespace pellomar::platform {

// What each module offers. A module carries its own copy of the engine and of this platform
// layer, so what must cross is passed explicitly: lines for standard error go to the caller's
// printDiagnostic (inside a detached child that is the report pipe).

// libpellomar-clipboard.so: the X11 clipboard on a bare QGuiApplication, trimmed for start-up.
struct ClipboardModule {
    void (*setDiagnosticSink)(void (*sink)(const std::string& text));
    void (*startApplication)(DesktopKind kind);
    // The X11 clipboard; lives as long as the module.
    Clipboard& (*x11Clipboard)();
    void (*serveClipboardUntilTaken)();
    // Ends the application and undoes the start-up trims, so that the desktop module can create
    // the full application that a box needs. The clipboard is not used again afterwards.
    void (*stopApplication)();
};

// libpellomar-desktop.so: widgets.
struct DesktopModule {
    void (*setDiagnosticSink)(void (*sink)(const std::string& text));
    // The error box, message on standard error included; creates the application if none exists.
    void (*showMessageBox)(const ErrorRecord& record);
    // Shows frmTest and runs until it is closed; returns the exit status.
    int (*runTestWindow)(DesktopKind kind);
};

inline constexpr const char* kClipboardModuleFile = "libpellomar-clipboard.so";
inline constexpr const char* kDesktopModuleFile = "libpellomar-desktop.so";

// Load a module from the executable's directory on first use and send its diagnostics to this
// layer's printDiagnostic; a MorvantError if it cannot be loaded.
const ClipboardModule& clipboardModule();
const DesktopModule& desktopModule();

}  // namespace pellomar::platform

// Each module's one exported symbol.
extern "C" const pellomar::platform::ClipboardModule* pellomar_clipboard_module();
extern "C" const pellomar::platform::DesktopModule* pellomar_desktop_module();
