#include "Diagnostics.h"

#include <unistd.h>

#include "FdIo.h"
#include "Host.h"

namespace pellomar::platform {

void printDiagnostic(const std::string& text) {
    // One write, so that lines of processes that share the terminal do not mix.
    writeAll(STDERR_FILENO, std::string(kAppTitle) + ": " + text + "\n");
}

}  // namespace pellomar::platform
