#include <windows.h>

#include <cmath>
#include <string>

#include "ErrorRecord.h"
#include "ExitStatus.h"
#include "RequestScope.h"
#include "Win32ErrorBox.h"
#include "Win32Text.h"
#include "clsMorvant.h"
#include "frmTestWin32.h"
#include "resource.h"

namespace pellomar {

namespace {

constexpr float kTwipsPerInch = 1440.0f;
constexpr float kInnerWidth = 4875.0f;
constexpr float kInnerHeight = 3495.0f;
constexpr int kTxtQryId = 1;
constexpr int kCmdTestId = 2;
constexpr DWORD kWindowStyle = WS_OVERLAPPEDWINDOW;
constexpr const wchar_t* kClassName = L"PellomarTestWindow";

// Win32 passes handles and pointers through integers (control ids as menus, brushes as colour
// numbers, pointers in LPARAMs and window data); the casts live here, once.
// NOLINTBEGIN(performance-no-int-to-ptr)
HMENU controlId(int id) {
    return reinterpret_cast<HMENU>(static_cast<INT_PTR>(id));
}

HBRUSH systemColourBrush(int colour) {
    return reinterpret_cast<HBRUSH>(static_cast<INT_PTR>(colour + 1));
}

template <typename T>
T* pointerFrom(LONG_PTR value) {
    return reinterpret_cast<T*>(value);
}
// NOLINTEND(performance-no-int-to-ptr)

std::wstring boxText(HWND box) {
    const int length = GetWindowTextLengthW(box);
    std::wstring text(static_cast<std::size_t>(length) + 1, L'\0');
    const int got = GetWindowTextW(box, text.data(), length + 1);
    text.resize(static_cast<std::size_t>(got > 0 ? got : 0));
    return text;
}

}  // namespace

int frmTest::Run(HINSTANCE instance, int showCommand) {
    frmTest form(instance);
    // A failed press shows its box in front of this window, which waits until it is closed.
    platform::setErrorBox(platform::win32ErrorBox(form.window_));
    ShowWindow(form.window_, showCommand);
    UpdateWindow(form.window_);
    SetFocus(form.txtQry_);
    MSG message;
    for (;;) {
        const BOOL got = GetMessageW(&message, nullptr, 0, 0);
        if (got == 0) return static_cast<int>(message.wParam);
        if (got == -1) {
            throw MorvantError(
                ErrorNumber::InternalError,
                "the test window's messages: " + platform::systemErrorText(GetLastError()));
        }
        // Tab and Shift+Tab move between the text box and the button, as in a dialog.
        if (!IsDialogMessageW(form.window_, &message)) {
            TranslateMessage(&message);
            DispatchMessageW(&message);
        }
    }
}

frmTest::frmTest(HINSTANCE instance) : instance_(instance) {
    WNDCLASSEXW windowClass{};
    windowClass.cbSize = sizeof windowClass;
    windowClass.lpfnWndProc = windowProc;
    windowClass.hInstance = instance;
    // The window's own 32 × 32 icon; the title bar takes its small form from the same image.
    windowClass.hIcon = static_cast<HICON>(
        LoadImageW(instance, MAKEINTRESOURCEW(IDI_PELLOMAR), IMAGE_ICON, 32, 32, 0));
    windowClass.hIconSm = static_cast<HICON>(LoadImageW(instance, MAKEINTRESOURCEW(IDI_PELLOMAR),
                                                        IMAGE_ICON, GetSystemMetrics(SM_CXSMICON),
                                                        GetSystemMetrics(SM_CYSMICON), 0));
    windowClass.hCursor = LoadCursorW(nullptr, IDC_ARROW);
    windowClass.hbrBackground = systemColourBrush(COLOR_BTNFACE);
    windowClass.lpszClassName = kClassName;
    if (RegisterClassExW(&windowClass) == 0) {
        throw MorvantError(
            ErrorNumber::InternalError,
            "cannot register the test window: " + platform::systemErrorText(GetLastError()));
    }
    window_ = CreateWindowExW(0, kClassName, L"\uFF83\uFF7D\uFF84\u753B\u9762",  // ﾃｽﾄ画面
                              kWindowStyle, CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT,
                              CW_USEDEFAULT, nullptr, nullptr, instance, this);
    if (window_ == nullptr) {
        throw MorvantError(
            ErrorNumber::InternalError,
            "cannot create the test window: " + platform::systemErrorText(GetLastError()));
    }
    applyDpi(GetDpiForWindow(window_));
    createControls();
    // The design gives the inner size; the frame around it is the host's.
    RECT outer{0, 0, pixels(kInnerWidth), pixels(kInnerHeight)};
    AdjustWindowRectExForDpi(&outer, kWindowStyle, FALSE, 0, dpi_);
    SetWindowPos(window_, nullptr, 0, 0, outer.right - outer.left, outer.bottom - outer.top,
                 SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
}

frmTest::~frmTest() {
    if (window_ != nullptr) DestroyWindow(window_);
    if (boxFont_ != nullptr) DeleteObject(boxFont_);
    if (buttonFont_ != nullptr) DeleteObject(buttonFont_);
}

void frmTest::createControls() {
    // Tab order is creation order: the text box, then the button.
    txtQry_ = CreateWindowExW(WS_EX_CLIENTEDGE, L"EDIT", L"",
                              WS_CHILD | WS_VISIBLE | WS_TABSTOP | WS_HSCROLL | WS_VSCROLL |
                                  ES_MULTILINE | ES_AUTOHSCROLL | ES_AUTOVSCROLL | ES_WANTRETURN |
                                  ES_NOHIDESEL,
                              0, 0, 0, 0, window_, controlId(kTxtQryId), instance_, nullptr);
    cmdTest_ = CreateWindowExW(0, L"BUTTON", L"\u691C\u8A3C",  // 検証
                               WS_CHILD | WS_VISIBLE | WS_TABSTOP | BS_PUSHBUTTON, 0, 0, 0, 0,
                               window_, controlId(kCmdTestId), instance_, nullptr);
    if (txtQry_ == nullptr || cmdTest_ == nullptr) {
        throw MorvantError(ErrorNumber::InternalError,
                           "cannot create the test window's controls: " +
                               platform::systemErrorText(GetLastError()));
    }
    // The box holds 32K characters unless told otherwise; a script of several MB must fit.
    SendMessageW(txtQry_, EM_SETLIMITTEXT, 0, 0);
    SendMessageW(txtQry_, WM_SETFONT, reinterpret_cast<WPARAM>(boxFont_), FALSE);
    SendMessageW(cmdTest_, WM_SETFONT, reinterpret_cast<WPARAM>(buttonFont_), FALSE);
    focused_ = txtQry_;
}

// Fonts follow the monitor's DPI: the host's message font for the button, and a fixed-pitch
// one of the same height for the box, since the layout indents with spaces.
void frmTest::applyDpi(UINT dpi) {
    dpi_ = dpi != 0 ? dpi : USER_DEFAULT_SCREEN_DPI;
    NONCLIENTMETRICSW metrics{};
    metrics.cbSize = sizeof metrics;
    if (!SystemParametersInfoForDpi(SPI_GETNONCLIENTMETRICS, sizeof metrics, &metrics, 0, dpi_)) {
        metrics.lfMessageFont.lfHeight = -MulDiv(9, static_cast<int>(dpi_), 72);
    }
    LOGFONTW fixed = metrics.lfMessageFont;
    fixed.lfPitchAndFamily = FIXED_PITCH | FF_MODERN;
    fixed.lfCharSet = DEFAULT_CHARSET;
    fixed.lfFaceName[0] = L'\0';
    HFONT button = CreateFontIndirectW(&metrics.lfMessageFont);
    HFONT box = CreateFontIndirectW(&fixed);
    if (txtQry_ != nullptr) SendMessageW(txtQry_, WM_SETFONT, reinterpret_cast<WPARAM>(box), TRUE);
    if (cmdTest_ != nullptr) {
        SendMessageW(cmdTest_, WM_SETFONT, reinterpret_cast<WPARAM>(button), TRUE);
    }
    if (boxFont_ != nullptr) DeleteObject(boxFont_);
    if (buttonFont_ != nullptr) DeleteObject(buttonFont_);
    boxFont_ = box;
    buttonFont_ = button;
}

void frmTest::cmdTest_Click() {
    const platform::RequestScope request;
    clsMorvant morvant;
    const std::u16string result = morvant.CArrange(platform::fromWide(boxText(txtQry_)));
    // After a failure, which the box has shown, the user's text stays rather than being emptied.
    if (request.failed()) return;
    // One undoable edit, so that Ctrl+Z brings the original back.
    const std::wstring replacement = platform::toWide(result);
    SendMessageW(txtQry_, EM_SETSEL, 0, -1);
    SendMessageW(txtQry_, EM_REPLACESEL, TRUE, reinterpret_cast<LPARAM>(replacement.c_str()));
}

void frmTest::Form_Resize() {
    RECT client{};
    GetClientRect(window_, &client);
    const float W = twips(client.right);
    const float H = twips(client.bottom);
    frmTestDesign::Arrange(txtQryGeometry, cmdTestGeometry, W, H);
    placeControls();
}

void frmTest::placeControls() {
    auto place = [this](HWND control, const Twips& t) {
        MoveWindow(control, pixels(t.Left), pixels(t.Top), pixels(t.Width), pixels(t.Height), TRUE);
    };
    place(txtQry_, txtQryGeometry);
    place(cmdTest_, cmdTestGeometry);
}

int frmTest::pixels(float twips) const {
    return static_cast<int>(std::lround(twips * static_cast<float>(dpi_) / kTwipsPerInch));
}

float frmTest::twips(int pixels) const {
    return static_cast<float>(pixels) * kTwipsPerInch / static_cast<float>(dpi_);
}

LRESULT CALLBACK frmTest::windowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_NCCREATE) {
        auto* create = pointerFrom<CREATESTRUCTW>(lParam);
        SetWindowLongPtrW(window, GWLP_USERDATA,
                          reinterpret_cast<LONG_PTR>(create->lpCreateParams));
        static_cast<frmTest*>(create->lpCreateParams)->window_ = window;
    }
    auto* form = pointerFrom<frmTest>(GetWindowLongPtrW(window, GWLP_USERDATA));
    if (form == nullptr) return DefWindowProcW(window, message, wParam, lParam);
    // No exception may cross the system's frames: one that leaves a handler (an error that
    // leaves CArrange uncaught) is shown like every other and ends the program with status 2.
    try {
        return form->handle(window, message, wParam, lParam);
    } catch (...) {
        platform::showErrorBox(recordFromCurrentException());
        form->exitStatus_ = kExitUncaught;
        DestroyWindow(window);
        return 0;
    }
}

LRESULT frmTest::handle(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
        case WM_SIZE:
            if (txtQry_ != nullptr) Form_Resize();
            return 0;
        case WM_COMMAND:
            if (LOWORD(wParam) == kCmdTestId && HIWORD(wParam) == BN_CLICKED) {
                cmdTest_Click();
                return 0;
            }
            break;
        case WM_ACTIVATE:
            // Keep the focus where the user left it when the window comes back.
            if (LOWORD(wParam) == WA_INACTIVE) {
                HWND focus = GetFocus();
                if (focus == txtQry_ || focus == cmdTest_) focused_ = focus;
            } else if (focused_ != nullptr) {
                SetFocus(focused_);
            }
            return 0;
        case WM_SETFOCUS:
            if (focused_ != nullptr) SetFocus(focused_);
            return 0;
        case WM_DPICHANGED: {
            applyDpi(HIWORD(wParam));
            const auto* suggested = pointerFrom<const RECT>(lParam);
            SetWindowPos(window, nullptr, suggested->left, suggested->top,
                         suggested->right - suggested->left, suggested->bottom - suggested->top,
                         SWP_NOZORDER | SWP_NOACTIVATE);
            return 0;
        }
        case WM_DESTROY:
            window_ = nullptr;
            PostQuitMessage(exitStatus_);
            return 0;
        default:
            break;
    }
    return DefWindowProcW(window, message, wParam, lParam);
}

}  // namespace pellomar
