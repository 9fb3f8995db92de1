// The clipboard module's entry point: what dovlek reaches through dlopen (see DesktopModule.h).
#include "DesktopModule.h"
#include "QtHost.h"

namespace pellomar::platform {
namespace {

Clipboard& x11Clipboard() {
    static QtClipboard clipboard;
    return clipboard;
}

constexpr ClipboardModule kModule{
    setDiagnosticSink,        startClipboardApplication, x11Clipboard,
    serveClipboardUntilTaken, stopApplication,
};

}  // namespace
}  // namespace pellomar::platform

extern "C" const pellomar::platform::ClipboardModule* pellomar_clipboard_module() {
    return &pellomar::platform::kModule;
}
