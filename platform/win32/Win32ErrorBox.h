#pragma once

#include <windows.h>

#include "ErrorRecord.h"
#include "RequestScope.h"

namespace pellomar::platform {

// The error box: «number:description» in a modal MessageBoxW with the error icon, one OK
// button and the caption "Pellomar". With an owner window it is modal to that window; without
// one (clipboard mode, started by a hotkey) it stays in front of every other window, so that it
// is not lost behind the program the user was working in.
void showWin32ErrorBox(HWND owner, const ErrorRecord& record);

// The same, ready for setErrorBox.
ErrorBox win32ErrorBox(HWND owner);

}  // namespace pellomar::platform
