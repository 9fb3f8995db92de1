#pragma once

#include <string>
#include <string_view>

namespace pellomar::platform {

// wchar_t is the Win32 API's UTF-16 code unit, the engine's char16_t by another name.
std::wstring toWide(std::u16string_view text);
std::u16string fromWide(std::wstring_view text);

// For texts of our own making (messages, paths from std::filesystem) on their way to a wide
// call; a byte that is not UTF-8 becomes U+FFFD rather than losing the message.
std::wstring wideFromUtf8(std::string_view utf8);

// "Windows error N: <the system's text for it>", for descriptions.
std::string systemErrorText(unsigned long error);

}  // namespace pellomar::platform
