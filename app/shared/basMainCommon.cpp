// The parts of basMain that every host shares: the mode choice's test and the clipboard request.
#include "basMain.h"

#include <optional>

#include "RequestScope.h"
#include "clsMorvant.h"

namespace pellomar::basMain {

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
    const platform::RequestScope request;
    clsMorvant morvant;
    const std::u16string result = morvant.CArrange(*text);
    if (request.failed()) return kExitReported;
    // The layout of an empty text is empty: nothing to write, and the owner keeps the clipboard.
    if (text->empty()) return kExitDone;
    clipboard.clear();
    clipboard.setText(result);
    return kExitDone;
}

}  // namespace pellomar::basMain
