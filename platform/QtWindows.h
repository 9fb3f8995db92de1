#pragma once

// The desktop services through Qt Widgets: the application that shows windows, and the error
// box. Built into the desktop module and the widget tests; the header names no Qt type.

#include "Desktop.h"
#include "ErrorRecord.h"

namespace pellomar::platform {

// Creates a QApplication on the given desktop.
void startWindowsApplication(DesktopKind kind);
// Makes sure that a QApplication exists, so that widgets can be shown: creates one, or replaces
// the clipboard mode's QGuiApplication (whose clipboard is not used again after a box).
void requireWidgets();
// Runs the event loop; returns the status passed to QCoreApplication::exit.
int execApplication();

// The error box as a modal QMessageBox: error icon, one OK button, caption
// "Pellomar", message «number:description», raised above other windows with the focus, closed
// by Return and Escape. The message also goes to standard error. installMessageBox makes it the
// engine's error box.
void showMessageBox(const ErrorRecord& record);
void installMessageBox();

}  // namespace pellomar::platform
