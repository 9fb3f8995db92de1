#pragma once

#include <string>

namespace pellomar::platform {

// Writes "Pellomar: <text>" and a line break to standard error.
void printDiagnostic(const std::string& text);

}  // namespace pellomar::platform
