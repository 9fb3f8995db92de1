#pragma once

// The desktop services through Qt: the application object, the X11 clipboard, the error box.
// Built into the desktop module (see DesktopModule.h) and into the widget tests; the header itself
// names no Qt type.

#include <optional>
#include <string>

#include "Clipboard.h"
#include "Desktop.h"
#include "DesktopModule.h"
#include "ErrorRecord.h"

namespace pellomar::platform {

// Creates the process's one Qt application on the given desktop (X11 through the xcb platform,
// Wayland through Qt's wayland platform), whatever QT_QPA_PLATFORM says.
void startApplication(DesktopKind kind, QtUse use);
// Makes sure that a QApplication exists, so that widgets can be shown: creates one, or replaces
// the clipboard mode's QGuiApplication (whose clipboard is not used again after a box).
void requireWidgets();
// Runs the event loop; returns the status passed to QCoreApplication::exit.
int execApplication();
// Destroys the application (before main returns, never in static destruction).
void stopApplication();

// The error box as a modal QMessageBox: error icon, one OK button, caption
// "Pellomar", message «number:description», raised above other windows with the focus, closed
// by Return and Escape. The message also goes to standard error. installMessageBox makes it the
// engine's error box.
void showMessageBox(const ErrorRecord& record);
void installMessageBox();

// The X11 clipboard through QClipboard. Text crosses with CR LF line ends; X11 programs get LF.
class QtClipboard final : public Clipboard {
  public:
    std::optional<std::u16string> text() override;
    // Nothing of its own: setText's change of owner replaces the content in one step.
    void clear() override;
    // Fails (as a MorvantError) when the clipboard could not be taken.
    void setText(const std::u16string& text) override;
    // Whether this process still serves the clipboard's content.
    bool owned() const;
};

// Serves the clipboard's content until another program takes the clipboard, then returns.
// Learns of that through QClipboard::changed (XFixes), and also polls ownsClipboard() now and
// then, for servers without XFixes.
void serveClipboardUntilTaken();

}  // namespace pellomar::platform
