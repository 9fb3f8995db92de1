// The Windows clipboard as clipboard mode uses it, against Wine's clipboard on the test display.
// Runs alone: the clipboard is the whole desktop's.
#include <gtest/gtest.h>
#include <windows.h>

#include <atomic>
#include <chrono>
#include <string>
#include <thread>

#include "ErrorRecord.h"
#include "Win32Clipboard.h"

namespace pellomar {
namespace {

using namespace std::chrono_literals;

// Another program's hold on the clipboard: a thread with a window of its own keeps it open.
class ClipboardHolder {
  public:
    explicit ClipboardHolder(std::chrono::milliseconds hold) {
        thread_ = std::thread([this, hold] {
            HWND window = CreateWindowExW(0, L"STATIC", L"holder", 0, 0, 0, 0, 0, HWND_MESSAGE,
                                          nullptr, nullptr, nullptr);
            opened_ = OpenClipboard(window) != 0;
            ready_ = true;
            std::this_thread::sleep_for(hold);
            if (opened_) CloseClipboard();
            DestroyWindow(window);
        });
        while (!ready_) std::this_thread::sleep_for(1ms);
    }
    ~ClipboardHolder() { thread_.join(); }
    ClipboardHolder(const ClipboardHolder&) = delete;
    ClipboardHolder& operator=(const ClipboardHolder&) = delete;
    bool opened() const { return opened_; }

  private:
    std::atomic<bool> ready_{false};
    std::atomic<bool> opened_{false};
    std::thread thread_;
};

TEST(win32_clipboard, text_round_trip_keeps_crlf_and_every_character) {
    platform::Win32Clipboard clipboard;
    const std::u16string text = u"select\r\n    a,\r\n\tb\n\u691C\u8A3C \U0001F600";
    clipboard.clear();
    clipboard.setText(text);
    EXPECT_EQ(clipboard.text(), text);
    // A second object (the next request) sees the same.
    EXPECT_EQ(platform::Win32Clipboard().text(), text);
}

TEST(win32_clipboard, no_text_and_empty_text_are_nothing_to_do) {
    platform::Win32Clipboard clipboard;
    ASSERT_TRUE(OpenClipboard(nullptr));
    EmptyClipboard();
    CloseClipboard();
    EXPECT_EQ(clipboard.text(), std::nullopt);
    clipboard.setText(u"");
    EXPECT_EQ(clipboard.text(), std::nullopt);
}

TEST(win32_clipboard, a_short_hold_is_waited_out) {
    platform::Win32Clipboard clipboard;
    clipboard.setText(u"before");
    ClipboardHolder holder(300ms);
    ASSERT_TRUE(holder.opened());
    clipboard.setText(u"after");
    EXPECT_EQ(clipboard.text(), u"after");
}

TEST(win32_clipboard, a_long_hold_fails_and_keeps_the_text) {
    platform::Win32Clipboard clipboard;
    clipboard.setText(u"the user's text");
    {
        ClipboardHolder holder(2500ms);
        ASSERT_TRUE(holder.opened());
        const auto start = std::chrono::steady_clock::now();
        std::string message = "the write went through a held clipboard";
        try {
            clipboard.setText(u"result");
        } catch (const MorvantError& e) {
            message = formatError(e.record());
        }
        const auto waited = std::chrono::steady_clock::now() - start;
        EXPECT_EQ(message,
                  "75:Path/File access error: the clipboard is held by another program and could "
                  "not be opened within a second; nothing was changed");
        EXPECT_GE(waited, 900ms);
        EXPECT_LT(waited, 2000ms);
    }
    EXPECT_EQ(clipboard.text(), u"the user's text");
}

}  // namespace
}  // namespace pellomar
