#pragma once

// The desktop through Qt is a module of its own, libpellomar-desktop.so beside dovlek, loaded
// only when a desktop is used. dovlek itself links no Qt: its stdio mode, and the parent that
// the hotkey waits for, start without loading Qt's fifty-odd libraries, and the detached child
// is forked from a small process. Nothing here includes Qt.

#include <string>

#include "Clipboard.h"
#include "Desktop.h"
#include "ErrorRecord.h"

namespace pellomar::platform {

enum class QtUse {
    Clipboard,  // a bare QGuiApplication, trimmed for start-up time; a box upgrades it
    Windows,    // a QApplication for the test window
};

// What the module offers. It carries its own copy of the engine and of this platform layer, so
// what must cross is passed explicitly: lines for standard error go to the caller's
// printDiagnostic (inside a detached child that is the report pipe).
struct DesktopModule {
    void (*setDiagnosticSink)(void (*sink)(const std::string& text));
    void (*startApplication)(DesktopKind kind, QtUse use);
    // The X11 clipboard; lives as long as the module.
    Clipboard& (*x11Clipboard)();
    void (*serveClipboardUntilTaken)();
    // The error box, message on standard error included; creates or upgrades the application.
    void (*showMessageBox)(const ErrorRecord& record);
    // Shows frmTest and runs until it is closed; returns the exit status.
    int (*runTestWindow)(DesktopKind kind);
};

inline constexpr const char* kDesktopModuleFile = "libpellomar-desktop.so";

// Loads the module from the executable's directory on first use; a MorvantError if it cannot.
const DesktopModule& desktopModule();

}  // namespace pellomar::platform

// The module's one exported symbol.
extern "C" const pellomar::platform::DesktopModule* pellomar_desktop_module();
