#include "Win32ErrorBox.h"

#include "Diagnostics.h"
#include "Win32Text.h"

namespace pellomar::platform {

void showWin32ErrorBox(HWND owner, const ErrorRecord& record) {
    const std::wstring message = wideFromUtf8(formatError(record));
    const std::wstring caption = wideFromUtf8(kAppTitle);
    UINT style = MB_OK | MB_ICONERROR | MB_SETFOREGROUND;
    if (owner == nullptr) style |= MB_TOPMOST;
    MessageBoxW(owner, message.c_str(), caption.c_str(), style);
}

ErrorBox win32ErrorBox(HWND owner) {
    return [owner](const ErrorRecord& record) { showWin32ErrorBox(owner, record); };
}

}  // namespace pellomar::platform
