#include "basMain.h"

#include <cstdlib>

#include "ErrorRecord.h"
#include "Host.h"
#include "clsMorvant.h"

namespace pellomar::basMain {

namespace {

bool envSet(const char* name) {
    const char* value = std::getenv(name);
    return value != nullptr && *value != '\0';
}

}  // namespace

std::string ArgumentText(const std::vector<std::string>& args) {
    std::string text;
    for (std::size_t i = 0; i < args.size(); ++i) {
        if (i > 0) text += ' ';
        text += args[i];
    }
    return text;
}

bool WantsTestWindow(const std::string& argumentText) {
    return argumentText.find("DEBUG") != std::string::npos;
}

int ArrangeClipboard(platform::Clipboard& clipboard) {
    const std::optional<std::u16string> text = clipboard.text();
    if (!text) return kExitDone;  // an image or a file list is not ours to replace
    const std::uint64_t boxesBefore = platform::errorBoxCount();
    clsMorvant morvant;
    const std::u16string result = morvant.CArrange(*text);
    if (platform::errorBoxCount() != boxesBefore) return kExitReported;
    clipboard.clear();
    clipboard.setText(result);
    return kExitDone;
}

int Main(const std::vector<std::string>& args) {
    const bool hasDisplay = envSet("DISPLAY") || envSet("WAYLAND_DISPLAY");
    if (WantsTestWindow(ArgumentText(args))) {
        if (!hasDisplay) {
            throw MorvantError(ErrorNumber::PathFileAccessError,
                               "the test window (DEBUG) needs a display, but neither DISPLAY "
                               "nor WAYLAND_DISPLAY is set");
        }
        throw MorvantError(ErrorNumber::PathFileAccessError,
                           "this build of dovlek has no desktop front end");
    }
    if (hasDisplay) {
        throw MorvantError(ErrorNumber::PathFileAccessError,
                           "this build of dovlek has no desktop front end; unset DISPLAY and "
                           "WAYLAND_DISPLAY to use standard input and output");
    }
    platform::StdioClipboard stdio;
    return ArrangeClipboard(stdio);
}

}  // namespace pellomar::basMain
