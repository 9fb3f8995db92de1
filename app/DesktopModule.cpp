// The desktop module's entry point: what dovlek reaches through dlopen (see DesktopModule.h).
#include "DesktopModule.h"

#include "QtHost.h"
#include "frmTest.h"

namespace pellomar::platform {
namespace {

Clipboard& x11Clipboard() {
    static QtClipboard clipboard;
    return clipboard;
}

// Main's test-window branch: frmTest is shown and the program lives until it closes.
int runTestWindow(DesktopKind kind) {
    startApplication(kind, QtUse::Windows);
    installMessageBox();
    int status = 0;
    {
        frmTest form;
        form.show();
        status = execApplication();
    }
    stopApplication();
    return status;
}

constexpr DesktopModule kModule{
    setDiagnosticSink,        startApplication, x11Clipboard,
    serveClipboardUntilTaken, showMessageBox,   runTestWindow,
};

}  // namespace
}  // namespace pellomar::platform

extern "C" const pellomar::platform::DesktopModule* pellomar_desktop_module() {
    return &pellomar::platform::kModule;
}
