// What the end-to-end tests need from inside Wine's desktop:
//   e2e_helper hold MILLISECONDS  keeps the clipboard open that long, as clipboard managers and
//                                 remote desktop tools do for moments; prints "held" once it is
//   e2e_helper box-text           prints the message of the open box titled "Pellomar" (UTF-8)
//   e2e_helper test-window-text   prints the text of the test window's box (UTF-8, CR LF as it
//                                 holds it); exits 3 while the window is busy for over 5 s
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

namespace {

int hold(DWORD milliseconds) {
    HWND window = CreateWindowExW(0, L"STATIC", L"holder", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr,
                                  nullptr, nullptr);
    if (window == nullptr || !OpenClipboard(window)) return 1;
    std::puts("held");
    std::fflush(stdout);
    Sleep(milliseconds);
    CloseClipboard();
    DestroyWindow(window);
    return 0;
}

void writeUtf8(const std::wstring& text) {
    const int size = WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()),
                                         nullptr, 0, nullptr, nullptr);
    std::string utf8(static_cast<std::size_t>(size), '\0');
    WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), utf8.data(), size,
                        nullptr, nullptr);
    std::fwrite(utf8.data(), 1, utf8.size(), stdout);
}

BOOL CALLBACK printStatic(HWND child, LPARAM found) {
    wchar_t kind[16] = {};
    GetClassNameW(child, kind, 16);
    if (_wcsicmp(kind, L"Static") != 0) return TRUE;
    const int length = GetWindowTextLengthW(child);
    if (length == 0) return TRUE;  // the icon
    std::wstring text(static_cast<std::size_t>(length) + 1, L'\0');
    text.resize(static_cast<std::size_t>(GetWindowTextW(child, text.data(), length + 1)));
    writeUtf8(text);
    // NOLINTNEXTLINE(performance-no-int-to-ptr): EnumChildWindows hands our pointer back so
    *reinterpret_cast<bool*>(found) = true;
    return FALSE;
}

int boxText() {
    HWND box = FindWindowW(L"#32770", L"Pellomar");
    if (box == nullptr) return 1;
    bool found = false;
    EnumChildWindows(box, printStatic, reinterpret_cast<LPARAM>(&found));
    return found ? 0 : 1;
}

// Read through the window's own messages rather than Ctrl+C: an empty selection copies nothing,
// and a copy would race with a paste still reading the clipboard.
int testWindowText() {
    HWND form = FindWindowW(nullptr, L"\uFF83\uFF7D\uFF84\u753B\u9762");  // ﾃｽﾄ画面
    HWND box = form != nullptr ? FindWindowExW(form, nullptr, L"Edit", nullptr) : nullptr;
    if (box == nullptr) return 1;
    DWORD_PTR length = 0;
    if (SendMessageTimeoutW(box, WM_GETTEXTLENGTH, 0, 0, SMTO_ABORTIFHUNG, 5000, &length) == 0) {
        return 3;
    }
    std::wstring text(length + 1, L'\0');
    DWORD_PTR got = 0;
    if (SendMessageTimeoutW(box, WM_GETTEXT, text.size(), reinterpret_cast<LPARAM>(text.data()),
                            SMTO_ABORTIFHUNG, 5000, &got) == 0) {
        return 3;
    }
    text.resize(got);
    writeUtf8(text);
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc == 3 && std::strcmp(argv[1], "hold") == 0) {
        return hold(static_cast<DWORD>(std::strtoul(argv[2], nullptr, 10)));
    }
    if (argc == 2 && std::strcmp(argv[1], "box-text") == 0) return boxText();
    if (argc == 2 && std::strcmp(argv[1], "test-window-text") == 0) return testWindowText();
    std::fputs("usage: e2e_helper hold MILLISECONDS | box-text | test-window-text\n", stderr);
    return 2;
}
