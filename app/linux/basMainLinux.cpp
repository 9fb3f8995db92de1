// basMain's mode choice on Linux: the test window, or clipboard mode on X11, on Wayland, or on
// standard input and output where there is no desktop (or a file on standard input).
#include "basMainLinux.h"

#include <cstdio>
#include <cstdlib>
#include <memory>
#include <optional>
#include <string>

#include "Desktop.h"
#include "Diagnostics.h"
#include "ErrorRecord.h"
#include "Host.h"
#include "RequestScope.h"
#include "StandardDescriptors.h"
#include "StdioClipboard.h"
#include "basMain.h"

#if PELLOMAR_DESKTOP
#include "DesktopModule.h"
#include "Detach.h"
#include "WaylandProbe.h"
#include "WlClipboard.h"
#include "X11Clipboard.h"
#include "X11Probe.h"
#endif

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

// One line on standard error, for failures that leave no desktop to show a box on.
int ReportWithoutBox(const ErrorRecord& record) {
    platform::printDiagnostic(formatError(record));
    return kExitUncaught;
}

ErrorRecord UnreachableRecord(const std::string& why) {
    return MorvantError(ErrorNumber::PathFileAccessError, why).record();
}

// Why the desktop cannot be reached (no X server at DISPLAY, no compositor behind
// WAYLAND_DISPLAY), or nothing when it answers. Asked before Qt is started on it, because Qt
// aborts the process when it cannot connect.
std::optional<std::string> UnreachableDesktop(platform::DesktopKind kind) {
    switch (kind) {
        case platform::DesktopKind::X11:
            return platform::unreachableX11Display();
        case platform::DesktopKind::Wayland:
            return platform::unreachableWaylandDisplay();
        case platform::DesktopKind::None:
            break;
    }
    return "neither DISPLAY nor WAYLAND_DISPLAY is set";
}

// The error box of a desktop request, from the desktop module, loaded only now. Without the
// module, or without a desktop that answers, there is no box; standard error still says what
// failed.
void ShowDesktopBox(const ErrorRecord& record) {
    try {
        if (!UnreachableDesktop(platform::detectDesktop())) {
            platform::desktopModule().showMessageBox(record);
            return;
        }
    } catch (...) {
    }
    platform::printDiagnostic(formatError(record));
}

// X11: read, lay out, take the clipboard, and only then fork: the clipboard's content lives in
// the process that set it, so a child serves the result after dovlek has returned, until
// another program takes the clipboard. A failure before that shows its box in this process.
int ArrangeX11Clipboard() {
    std::unique_ptr<platform::X11Clipboard> clipboard;
    try {
        clipboard = std::make_unique<platform::X11Clipboard>();
    } catch (...) {
        return ReportWithoutBox(recordFromCurrentException());
    }
    platform::X11Clipboard& served = *clipboard;
    platform::setErrorBox([&served](const ErrorRecord& record) {
        served.releaseTurn();
        // A box needs the server that just stopped answering: it would hang the press.
        if (served.serverSilent()) {
            platform::printDiagnostic(formatError(record));
            return;
        }
        ShowDesktopBox(record);
    });
    const int status = ArrangeClipboardReported(served);
    // Asked for the clipboard, the server may have gone silent before it said whether it gave
    // it: the serving process finds out and serves the result if so, while this one fails.
    if (!served.owned()) return status;
    // A forked child would hold the turn on with its copy of the lock's descriptor.
    served.releaseTurn();
    if (platform::serveDetached(served.connection().fd(),
                                [&served] { served.serveUntilTaken(); })) {
        // The child carries on with the connection; shutting it down here would cut it off.
        // Nothing else is left to tidy, and the hotkey waits for this process to end.
        served.connection().leaveToChild();
        std::fflush(nullptr);
        std::_Exit(status);
    }
    // Without a child the result is served from here, or it would be lost with this process.
    platform::printDiagnostic(
        "cannot start a process of its own to keep the result on the clipboard; dovlek serves "
        "it until another program takes the clipboard");
    served.serveUntilTaken();
    return status;
}

// Wayland alone: wl-copy keeps serving the result by itself; Qt is loaded only for a box.
int ArrangeWaylandClipboard() {
    if (auto why = UnreachableDesktop(platform::DesktopKind::Wayland)) {
        return ReportWithoutBox(UnreachableRecord(*why));
    }
    if (!platform::WlClipboard::available()) {
        return ReportWithoutBox(UnreachableRecord(
            "the clipboard cannot be reached: only WAYLAND_DISPLAY is set, and wl-paste and "
            "wl-copy (Debian package wl-clipboard) are not installed"));
    }
    platform::WlClipboard clipboard;
    platform::setErrorBox([&clipboard](const ErrorRecord& record) {
        clipboard.releaseTurn();
        ShowDesktopBox(record);
    });
    return ArrangeClipboardReported(clipboard);
}

int ShowTestWindow(platform::DesktopKind desktop) {
    if (auto why = UnreachableDesktop(desktop)) {
        return ReportWithoutBox(UnreachableRecord("the test window cannot be shown: " + *why));
    }
    return platform::desktopModule().runTestWindow(desktop);
}

#else

int ArrangeX11Clipboard() {
    ThrowNoDesktop(
        "this build of dovlek has no desktop front end; unset DISPLAY and "
        "WAYLAND_DISPLAY to use standard input and output");
}

int ArrangeWaylandClipboard() {
    return ArrangeX11Clipboard();
}

int ShowTestWindow(platform::DesktopKind) {
    ThrowNoDesktop("this build of dovlek has no desktop front end");
}

#endif

// What a terminal user gets for `dovlek --help`: the modes, the keyword file, the statuses and
// where to read on. Short on purpose; the man page and the user guide hold the rest.
void PrintUsage() {
    const std::string keywordFile = platform::keywordFilePath().string();
    std::printf(
        "Usage: dovlek             lay out the SQL on the clipboard (X11 or Wayland)\n"
        "       dovlek < in.sql    lay out a file: standard input to standard output\n"
        "       dovlek DEBUG       open the test window\n"
        "       dovlek --help      this text;  dovlek --version  the version\n"
        "\n"
        "Without a display (neither DISPLAY nor WAYLAND_DISPLAY set) standard input and output\n"
        "stand in for the clipboard. Input is UTF-8; only whitespace is ever changed.\n"
        "\n"
        "The layout rules are read at every press from\n"
        "  %s\n"
        "Line 1 is a header (layout=structured in it chooses the structured layout); each\n"
        "further line is keyword,level,kind: kind 1 a word that starts a new line, 2 a leading\n"
        "word (structured layout only), 0 a symbol that ends its line; level x 4 spaces indent\n"
        "the text after the keyword.\n"
        "\n"
        "Exit status: 0 done, or the clipboard held no text and was left alone; 1 the request\n"
        "failed and the message said why; 2 an error reported in a box and on standard error\n"
        "(text that is not UTF-8, a clipboard that cannot be read or written, no display).\n"
        "A failed request leaves the clipboard as it was.\n"
        "\n"
        "More: man dovlek, and the user guide in /usr/share/doc/pellomar/docs/USER-GUIDE.md\n",
        keywordFile.c_str());
}

}  // namespace

int Main(const std::vector<std::string>& args) {
    // Exactly these two argument lists are the terminal's conventions; anything else, `--help`
    // among other words included, keeps the behaviour that hotkeys and scripts rely on.
    if (args == std::vector<std::string>{"--help"}) {
        PrintUsage();
        return std::fflush(stdout) == 0 && std::ferror(stdout) == 0 ? kExitDone : kExitUncaught;
    }
    if (args == std::vector<std::string>{"--version"}) {
        std::printf("dovlek (Pellomar) %s\n", PELLOMAR_VERSION_TEXT);
        return std::fflush(stdout) == 0 && std::ferror(stdout) == 0 ? kExitDone : kExitUncaught;
    }
    const platform::DesktopKind desktop = platform::detectDesktop();
    if (desktop != platform::DesktopKind::None) platform::keepStandardDescriptorsOpen();
    if (WantsTestWindow(ArgumentText(args))) {
        if (desktop == platform::DesktopKind::None) {
            ThrowNoDesktop(
                "the test window (DEBUG) needs a display, but neither DISPLAY nor "
                "WAYLAND_DISPLAY is set");
        }
        return ShowTestWindow(desktop);
    }
    // A file on standard input is the text the user asked for, also in a desktop session: taking
    // the clipboard instead would write nothing, and `dovlek < q.sql > q.sql.new && mv ...` would
    // empty the file. Standard input alone decides: a pipe keeps clipboard mode (a launcher may
    // hand one), and so does output to a file (a hotkey daemon may send it to .xsession-errors).
    if (platform::standardInputIsFile()) {
        platform::StdioClipboard stdio;
        return ArrangeClipboardReported(stdio);
    }
    switch (desktop) {
        case platform::DesktopKind::X11:
            return ArrangeX11Clipboard();
        case platform::DesktopKind::Wayland:
            return ArrangeWaylandClipboard();
        case platform::DesktopKind::None:
            break;
    }
    platform::StdioClipboard stdio;
    return ArrangeClipboardReported(stdio);
}

}  // namespace pellomar::basMain
