#pragma once

#include <optional>
#include <string>

#include "Clipboard.h"

namespace pellomar::platform {

// Standard input is a regular file: the shell's redirection from a file (dovlek < in.sql), or an
// editor that hands its buffer to a filter. A pipe, a terminal or /dev/null is not.
bool standardInputIsFile();

// Where there is no clipboard: standard input stands in for its text (UTF-8, read whole) and
// standard output for its new content (LF line ends).
class StdioClipboard final : public Clipboard {
  public:
    std::optional<std::u16string> text() override;
    void clear() override {}
    void setText(const std::u16string& text) override;
};

}  // namespace pellomar::platform
