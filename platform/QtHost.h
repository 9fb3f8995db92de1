#pragma once

// The desktop services through Qt GUI: the application object and the X11 clipboard. Built into
// both desktop modules (see DesktopModule.h) and into the widget tests; the header itself names
// no Qt type but the application's.

#include <optional>
#include <string>

#include "Clipboard.h"
#include "Desktop.h"

class QGuiApplication;

namespace pellomar::platform {

// Creates clipboard mode's application on the given desktop (X11 through the xcb platform,
// Wayland through Qt's wayland platform, whatever QT_QPA_PLATFORM says): a bare QGuiApplication
// that loads no plugin but the platform's, since it shows nothing.
void startClipboardApplication(DesktopKind kind);

// For an application that shows windows: points Qt at the desktop and undoes clipboard mode's
// trims; then the caller creates its application with these arguments and hands it over.
struct QtArguments {
    int& argc;
    char** argv;
};
QtArguments prepareApplication(DesktopKind kind);
void adoptApplication(QGuiApplication* application);

// The desktop of the application that exists, or of the last one.
DesktopKind applicationDesktop();
// Destroys the application and undoes clipboard mode's trims (before main returns, never in
// static destruction).
void stopApplication();

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
