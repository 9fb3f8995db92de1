#pragma once

#include <optional>
#include <string>

namespace pellomar::platform {

// The three clipboard operations of a request. Text crosses this interface with CR LF line
// ends; each implementation converts from and to what its host uses.
class Clipboard {
  public:
    virtual ~Clipboard() = default;
    // The plain text on the clipboard, or nothing when it holds no text (an image, say).
    virtual std::optional<std::u16string> text() = 0;
    virtual void clear() = 0;
    virtual void setText(const std::u16string& text) = 0;
};

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
