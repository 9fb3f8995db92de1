#include "Win32CommandLine.h"

#include <windows.h>

#include "Win32Text.h"

namespace pellomar::platform {

std::u16string argumentText(std::u16string_view commandLine) {
    std::size_t i = 0;
    bool quoted = false;
    for (; i < commandLine.size(); ++i) {
        const char16_t c = commandLine[i];
        if (c == u'"') {
            quoted = !quoted;
        } else if (!quoted && (c == u' ' || c == u'\t')) {
            break;
        }
    }
    while (i < commandLine.size() && (commandLine[i] == u' ' || commandLine[i] == u'\t')) ++i;
    return std::u16string(commandLine.substr(i));
}

std::u16string processArgumentText() {
    const wchar_t* line = GetCommandLineW();
    return argumentText(line != nullptr ? fromWide(line) : std::u16string());
}

}  // namespace pellomar::platform
