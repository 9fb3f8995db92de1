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

}  // namespace pellomar::platform
