// The desktop module's entry point: what dovlek reaches through dlopen (see DesktopModule.h).
#include "DesktopModule.h"

#include "QtHost.h"
#include "QtWindows.h"
#include "frmTest.h"

namespace pellomar::platform {
namespace {

// Main's test-window branch: frmTest is shown and the program lives until it closes.
int runTestWindow(DesktopKind kind) {
    startApplication(kind);
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

constexpr DesktopModule kModule{showMessageBox, runTestWindow};

}  // namespace
}  // namespace pellomar::platform

extern "C" const pellomar::platform::DesktopModule* pellomar_desktop_module() {
    return &pellomar::platform::kModule;
}
