// The hotkey round trip's reference for bench/hotkey.sh: the clipboard design as a throwaway
// prototype would build it, Qt linked into the program and a trivial formatter (upper case) in
// place of the layout. It forks, reads and writes the clipboard and serves the result through
// the same platform code as dovlek, but reads no keyword file and lays nothing out. Its time is
// what Qt's start-up costs on the machine; dovlek can beat it, since its waiting parent loads no
// Qt before the fork.
//
//   pellomar_qt_alone            with clipboard mode's start-up trims, as dovlek
//   pellomar_qt_alone --plain    an untrimmed QGuiApplication, to show what the trims save
#include <QGuiApplication>

#include <cstring>
#include <memory>

#include "Desktop.h"
#include "QtHost.h"

int main(int argc, char** argv) {
    using namespace pellomar::platform;
    const bool plain = argc > 1 && std::strcmp(argv[1], "--plain") == 0;
    return runDetached([plain](DetachedReport& report) {
        std::unique_ptr<QGuiApplication> plainApplication;
        if (plain) {
            const QtArguments arguments = prepareApplication(DesktopKind::X11);
            plainApplication = std::make_unique<QGuiApplication>(arguments.argc, arguments.argv);
        } else {
            startClipboardApplication(DesktopKind::X11);
        }
        QtClipboard clipboard;
        std::optional<std::u16string> text = clipboard.text();
        if (!text) return 1;
        for (char16_t& c : *text) {
            if (c >= u'a' && c <= u'z') c = static_cast<char16_t>(c - u'a' + u'A');
        }
        clipboard.setText(*text);
        report.finish(0);
        serveClipboardUntilTaken();
        return 0;
    });
}
