#include "Win32Text.h"

#include <windows.h>

#include <climits>

#include "TextCodec.h"

namespace pellomar::platform {

std::wstring toWide(std::u16string_view text) {
    return {text.begin(), text.end()};
}

std::u16string fromWide(std::wstring_view text) {
    return {text.begin(), text.end()};
}

std::wstring wideFromUtf8(std::string_view utf8) {
    if (utf8.empty() || utf8.size() > INT_MAX) return {};
    const int size = static_cast<int>(utf8.size());
    const int units = MultiByteToWideChar(CP_UTF8, 0, utf8.data(), size, nullptr, 0);
    std::wstring wide(static_cast<std::size_t>(units), L'\0');
    MultiByteToWideChar(CP_UTF8, 0, utf8.data(), size, wide.data(), units);
    return wide;
}

std::string systemErrorText(unsigned long error) {
    wchar_t* buffer = nullptr;
    const DWORD length = FormatMessageW(
        FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
        nullptr, error, 0, reinterpret_cast<wchar_t*>(&buffer), 0, nullptr);
    std::wstring text = length > 0 ? std::wstring(buffer, length) : std::wstring();
    LocalFree(buffer);
    // The system's texts end in a full stop and a line break.
    while (!text.empty() && (text.back() == L'\r' || text.back() == L'\n' || text.back() == L' ' ||
                             text.back() == L'.')) {
        text.pop_back();
    }
    std::string shown = "Windows error " + std::to_string(error);
    if (!text.empty()) shown += ": " + encodeUtf8(fromWide(text));
    return shown;
}

}  // namespace pellomar::platform
