#pragma once

#include <string>

namespace pellomar::platform {

// The name in every message of the program: the error box's caption and the prefix of lines on
// standard error.
inline constexpr const char* kAppTitle = "Pellomar";

// Writes "Pellomar: <text>" and a line break to standard error.
void printDiagnostic(const std::string& text);

}  // namespace pellomar::platform
