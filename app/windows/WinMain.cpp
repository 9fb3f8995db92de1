// The Windows front end: basMain's mode choice and clipboard mode over the Win32 host services.
// dovlek.exe is a GUI program: started from a shortcut key it opens no console window.
#include <windows.h>

#include <commctrl.h>

#include <string>

#include "ErrorRecord.h"
#include "RequestScope.h"
#include "TextCodec.h"
#include "Win32Clipboard.h"
#include "Win32CommandLine.h"
#include "Win32ErrorBox.h"
#include "basMain.h"
#include "frmTestWin32.h"

namespace pellomar::basMain {

namespace {

// Errors that nothing inside catches (an uncaught one from CArrange, a clipboard that stays
// held by another program) end the request here: the same box as the engine's failures, and
// status 2. The clipboard is not touched again.
int ArrangeWindowsClipboard() {
    platform::setErrorBox(platform::win32ErrorBox(nullptr));
    try {
        platform::Win32Clipboard clipboard;
        return ArrangeClipboard(clipboard);
    } catch (...) {
        platform::showErrorBox(recordFromCurrentException());
        return kExitUncaught;
    }
}

int WindowsMain(HINSTANCE instance, int showCommand) {
    const std::u16string arguments = platform::processArgumentText();
    if (WantsTestWindow(platform::encodeUtf8(arguments))) {
        // The window's controls in the host's current look.
        INITCOMMONCONTROLSEX controls{sizeof controls, ICC_STANDARD_CLASSES};
        InitCommonControlsEx(&controls);
        return frmTest::Run(instance, showCommand);
    }
    return ArrangeWindowsClipboard();
}

}  // namespace

}  // namespace pellomar::basMain

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE /*previous*/, PWSTR /*commandLine*/,
                    int showCommand) {
    try {
        return pellomar::basMain::WindowsMain(instance, showCommand);
    } catch (...) {
        // Nothing inside handled it (the test window could not be made, say): say what it was,
        // never a crash dialog.
        pellomar::platform::showWin32ErrorBox(nullptr, pellomar::recordFromCurrentException());
        return pellomar::kExitUncaught;
    }
}
