#pragma once

#include <windows.h>

#include <optional>
#include <string>

#include "Clipboard.h"
#include "Win32Limits.h"

namespace pellomar::platform {

// The Windows clipboard, CF_UNICODETEXT, opened with a message-only window of the program's own.
// Windows keeps CR LF line ends on the clipboard, as the engine wants them: no conversion.
// Other programs hold the clipboard open for moments; every open is retried for up to a second
// (Win32Limits), and a clipboard that stays held is an error (75) that leaves the user's text
// where it was.
class Win32Clipboard final : public Clipboard {
  public:
    explicit Win32Clipboard(const Win32Limits& limits = {});
    ~Win32Clipboard() override;
    Win32Clipboard(const Win32Clipboard&) = delete;
    Win32Clipboard& operator=(const Win32Clipboard&) = delete;

    // Nothing when the clipboard holds no text, or an empty one: either way there is nothing to
    // lay out, and the clipboard is left alone.
    std::optional<std::u16string> text() override;
    // Emptying waits for setText, which empties and writes in one open: a clipboard that cannot
    // be opened for the write then still holds the user's text.
    void clear() override {}
    void setText(const std::u16string& text) override;

  private:
    Win32Limits limits_;
    HWND owner_ = nullptr;
};

}  // namespace pellomar::platform
