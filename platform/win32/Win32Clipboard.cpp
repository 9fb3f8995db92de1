#include "Win32Clipboard.h"

#include <cwchar>

#include "ErrorRecord.h"
#include "Win32Text.h"

namespace pellomar::platform {

namespace {

constexpr DWORD kOpenRetryMs = 10;

[[noreturn]] void throwClipboardError(const char* what) {
    throw MorvantError(ErrorNumber::PathFileAccessError,
                       std::string(what) + ": " + systemErrorText(GetLastError()));
}

// The clipboard open for one step; closed when it goes out of scope.
class OpenClipboardScope {
  public:
    OpenClipboardScope(HWND owner, std::chrono::milliseconds patience) {
        const ULONGLONG deadline = GetTickCount64() + static_cast<ULONGLONG>(patience.count());
        while (!OpenClipboard(owner)) {
            if (GetTickCount64() >= deadline) {
                throw MorvantError(ErrorNumber::PathFileAccessError,
                                   "the clipboard is held by another program and could not be "
                                   "opened within a second; nothing was changed");
            }
            Sleep(kOpenRetryMs);
        }
    }
    ~OpenClipboardScope() { CloseClipboard(); }
    OpenClipboardScope(const OpenClipboardScope&) = delete;
    OpenClipboardScope& operator=(const OpenClipboardScope&) = delete;
};

// Global memory handed to SetClipboardData; freed here unless the clipboard took it.
class GlobalText {
  public:
    explicit GlobalText(const std::u16string& text) {
        handle_ = GlobalAlloc(GMEM_MOVEABLE, (text.size() + 1) * sizeof(wchar_t));
        if (handle_ == nullptr) throw MorvantError(ErrorNumber::OutOfMemory, "");
        auto* units = static_cast<wchar_t*>(GlobalLock(handle_));
        if (units == nullptr) {
            GlobalFree(handle_);
            throwClipboardError("cannot prepare the text for the clipboard");
        }
        std::wmemcpy(units, reinterpret_cast<const wchar_t*>(text.data()), text.size());
        units[text.size()] = L'\0';
        GlobalUnlock(handle_);
    }
    ~GlobalText() {
        if (handle_ != nullptr) GlobalFree(handle_);
    }
    GlobalText(const GlobalText&) = delete;
    GlobalText& operator=(const GlobalText&) = delete;

    HGLOBAL handle() const { return handle_; }
    void release() { handle_ = nullptr; }

  private:
    HGLOBAL handle_ = nullptr;
};

}  // namespace

Win32Clipboard::Win32Clipboard(const Win32Limits& limits) : limits_(limits) {
    // OpenClipboard(NULL) followed by EmptyClipboard leaves the clipboard without an owner, and
    // SetClipboardData then fails on Windows: the clipboard needs a window of ours.
    owner_ = CreateWindowExW(0, L"STATIC", L"Pellomar clipboard", 0, 0, 0, 0, 0, HWND_MESSAGE,
                             nullptr, GetModuleHandleW(nullptr), nullptr);
    if (owner_ == nullptr) throwClipboardError("cannot create the clipboard's window");
}

Win32Clipboard::~Win32Clipboard() {
    // Text put on the clipboard with SetClipboardData belongs to the system from then on: it stays
    // when this window and the program are gone.
    DestroyWindow(owner_);
}

std::optional<std::u16string> Win32Clipboard::text() {
    OpenClipboardScope open(owner_, limits_.clipboardPatience);
    if (!IsClipboardFormatAvailable(CF_UNICODETEXT)) return std::nullopt;
    HANDLE data = GetClipboardData(CF_UNICODETEXT);
    if (data == nullptr) throwClipboardError("cannot read the text on the clipboard");
    const auto* units = static_cast<const wchar_t*>(GlobalLock(data));
    if (units == nullptr) throwClipboardError("cannot read the text on the clipboard");
    // The text ends at its NUL, and never past the memory that holds it.
    const std::size_t room = GlobalSize(data) / sizeof(wchar_t);
    std::u16string text = fromWide(std::wstring_view(units, wcsnlen(units, room)));
    GlobalUnlock(data);
    if (text.empty()) return std::nullopt;
    return text;
}

void Win32Clipboard::setText(const std::u16string& text) {
    GlobalText memory(text);
    OpenClipboardScope open(owner_, limits_.clipboardPatience);
    if (!EmptyClipboard()) throwClipboardError("cannot empty the clipboard");
    if (SetClipboardData(CF_UNICODETEXT, memory.handle()) == nullptr) {
        throwClipboardError("cannot put the text on the clipboard");
    }
    memory.release();
}

}  // namespace pellomar::platform
