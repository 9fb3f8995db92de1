// The desktop module's entry point: what dovlek reaches through dlopen (see DesktopModule.h).
#include "DesktopModule.h"

#include "Diagnostics.h"
#include "QtHost.h"
#include "QtWindows.h"
#include "frmTest.h"

namespace pellomar::platform {
namespace {

// No exception leaves the module: dovlek carries its own C++ runtime (app/CMakeLists.txt says
// why), and unwinding from one runtime into another is not to be relied on.

void showBox(const ErrorRecord& record) noexcept {
    try {
        showMessageBox(record);
    } catch (...) {
        printDiagnostic(formatError(recordFromCurrentException()));
    }
}

// Main's test-window branch: frmTest is shown and the program lives until it closes.
int runTestWindow(DesktopKind kind) noexcept {
    try {
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
    } catch (...) {
        printDiagnostic(formatError(recordFromCurrentException()));
        return 2;
    }
}

constexpr DesktopModule kModule{showBox, runTestWindow};

}  // namespace
}  // namespace pellomar::platform

extern "C" const pellomar::platform::DesktopModule* pellomar_desktop_module() {
    return &pellomar::platform::kModule;
}
