#pragma once

// The error box through Qt Widgets. Built into the desktop module and the widget tests; the
// header names no Qt type.

#include "ErrorRecord.h"

namespace pellomar::platform {

// The error box as a modal QMessageBox: error icon, one OK button, caption "Pellomar", message
// «number:description», raised above other windows with the focus, closed by Return and Escape.
// The message also goes to standard error. Creates the application if none exists.
// installMessageBox makes it the engine's error box.
void showMessageBox(const ErrorRecord& record);
void installMessageBox();

}  // namespace pellomar::platform
