#include "basMain.h"

#include <cstdio>
#include <cstdlib>

#include "Desktop.h"
#include "DesktopModule.h"
#include "ErrorRecord.h"
#include "Host.h"
#include "clsMorvant.h"

namespace pellomar::basMain {

namespace {

// Errors that nothing inside catches (an uncaught one from CArrange, a failing clipboard
// operation) end the request and are reported here: the same box as the engine's
// failures (on standard error as well), and status 2. The clipboard is not touched again.
int ArrangeClipboardReported(platform::Clipboard& clipboard) {
    try {
        return ArrangeClipboard(clipboard);
    } catch (...) {
        platform::showErrorBox(recordFromCurrentException());
        return kExitUncaught;
    }
}

[[noreturn]] void ThrowNoDesktop(const char* detail) {
    throw MorvantError(ErrorNumber::PathFileAccessError, detail);
}

#if PELLOMAR_DESKTOP

// The error box of a desktop request, from the desktop module. Without the module there is no
// box; standard error still says what failed.
void ShowDesktopBox(const ErrorRecord& record) {
    try {
        platform::desktopModule().showMessageBox(record);
    } catch (...) {
        platform::printDiagnostic(formatError(record));
    }
}

// X11: the clipboard's content lives in the process that set it, so the request runs in a
// detached child that serves the result after dovlek has returned, until another program takes
// the clipboard. dovlek returns as soon as the result can be pasted.
[[noreturn]] void ArrangeX11Clipboard() {
    const int status = platform::runDetached([](platform::DetachedReport& report) {
        const platform::ClipboardModule& clipboard = platform::clipboardModule();
        clipboard.startApplication(platform::DesktopKind::X11);
        // A box needs the widgets' full application; the clipboard's ends first.
        platform::setErrorBox([](const ErrorRecord& record) {
            platform::clipboardModule().stopApplication();
            ShowDesktopBox(record);
        });
        const int status = ArrangeClipboardReported(clipboard.x11Clipboard());
        report.finish(status);
        if (status == kExitDone) clipboard.serveClipboardUntilTaken();
        return status;
    });
    // The hotkey waits for this process to end, and it has nothing left to tidy.
    std::fflush(nullptr);
    std::_Exit(status);
}

// Wayland alone: wl-copy keeps serving the result by itself; Qt is loaded only for a box.
int ArrangeWaylandClipboard() {
    if (!platform::WlClipboard::available()) {
        platform::printDiagnostic(formatError(
            {static_cast<std::int32_t>(ErrorNumber::PathFileAccessError),
             "Path/File access error: the clipboard cannot be reached: only WAYLAND_DISPLAY is "
             "set, and wl-paste and wl-copy (Debian package wl-clipboard) are not installed"}));
        return kExitUncaught;
    }
    platform::setErrorBox(ShowDesktopBox);
    platform::WlClipboard clipboard;
    return ArrangeClipboardReported(clipboard);
}

int ShowTestWindow(platform::DesktopKind desktop) {
    return platform::desktopModule().runTestWindow(desktop);
}

#else

[[noreturn]] void ArrangeX11Clipboard() {
    ThrowNoDesktop(
        "this build of dovlek has no desktop front end; unset DISPLAY and "
        "WAYLAND_DISPLAY to use standard input and output");
}

int ArrangeWaylandClipboard() {
    ArrangeX11Clipboard();
}

int ShowTestWindow(platform::DesktopKind) {
    ThrowNoDesktop("this build of dovlek has no desktop front end");
}

#endif

}  // namespace

int Main(const std::vector<std::string>& args) {
    const platform::DesktopKind desktop = platform::detectDesktop();
    if (WantsTestWindow(ArgumentText(args))) {
        if (desktop == platform::DesktopKind::None) {
            ThrowNoDesktop(
                "the test window (DEBUG) needs a display, but neither DISPLAY nor "
                "WAYLAND_DISPLAY is set");
        }
        return ShowTestWindow(desktop);
    }
    switch (desktop) {
        case platform::DesktopKind::X11:
            ArrangeX11Clipboard();
        case platform::DesktopKind::Wayland:
            return ArrangeWaylandClipboard();
        case platform::DesktopKind::None:
            break;
    }
    platform::StdioClipboard stdio;
    return ArrangeClipboardReported(stdio);
}

}  // namespace pellomar::basMain
