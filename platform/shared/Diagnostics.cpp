#include "Diagnostics.h"

#include <cstdio>

namespace pellomar::platform {

void printDiagnostic(const std::string& text) {
    // One line, written and flushed at once, so that lines of processes that share the terminal
    // do not mix.
    const std::string line = std::string(kAppTitle) + ": " + text + "\n";
    std::fwrite(line.data(), 1, line.size(), stderr);
    std::fflush(stderr);
}

}  // namespace pellomar::platform
