// ArrangeClipboard against a clipboard that records what is done to it.
#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "Support.h"
#include "basMain.h"

namespace pellomar {
namespace {

using testing_support::KeywordDir;

const KeywordTable kClauses = {{u"select", 1, 1}, {u"from", 1, 1}, {u"where", 1, 1}, {u",", 1, 0}};

class RecordingClipboard final : public platform::Clipboard {
  public:
    explicit RecordingClipboard(std::optional<std::u16string> content)
        : content(std::move(content)) {}
    std::optional<std::u16string> text() override {
        calls.push_back("text");
        return content;
    }
    void clear() override {
        calls.push_back("clear");
        content = std::nullopt;
    }
    void setText(const std::u16string& text) override {
        calls.push_back("setText");
        content = text;
    }
    std::optional<std::u16string> content;
    std::vector<std::string> calls;
};

TEST(clipboard_mode_test, reads_arranges_clears_and_writes_in_that_order) {
    KeywordDir dir;
    dir.writeRows(kClauses);
    RecordingClipboard clipboard(u"select a from t");
    EXPECT_EQ(basMain::ArrangeClipboard(clipboard), kExitDone);
    EXPECT_EQ(clipboard.calls, (std::vector<std::string>{"text", "clear", "setText"}));
    EXPECT_EQ(clipboard.content, u"select\r\n    a\r\nfrom\r\n    t");
}

TEST(clipboard_mode_test, a_clipboard_without_text_is_left_untouched) {
    KeywordDir dir;
    dir.writeRows(kClauses);
    RecordingClipboard clipboard(std::nullopt);
    EXPECT_EQ(basMain::ArrangeClipboard(clipboard), kExitDone);
    EXPECT_EQ(clipboard.calls, (std::vector<std::string>{"text"}));
    EXPECT_TRUE(dir.boxes().empty());
}

TEST(clipboard_mode_test, a_failed_request_keeps_the_users_text) {
    KeywordDir dir;  // no keyword file
    RecordingClipboard clipboard(u"select a from t");
    EXPECT_EQ(basMain::ArrangeClipboard(clipboard), kExitReported);
    EXPECT_EQ(clipboard.calls, (std::vector<std::string>{"text"}));
    EXPECT_EQ(clipboard.content, u"select a from t");
    EXPECT_EQ(dir.boxes(), std::vector<std::string>{"53:File not found: " + dir.file().string()});
}

TEST(clipboard_mode_test, an_empty_text_is_left_untouched_but_a_broken_keyword_file_is_told) {
    KeywordDir dir;
    dir.writeRows(kClauses);
    RecordingClipboard clipboard(u"");
    EXPECT_EQ(basMain::ArrangeClipboard(clipboard), kExitDone);
    EXPECT_EQ(clipboard.calls, (std::vector<std::string>{"text"}));
    EXPECT_TRUE(dir.boxes().empty());

    KeywordDir missing;
    RecordingClipboard second(u"");
    EXPECT_EQ(basMain::ArrangeClipboard(second), kExitReported);
    EXPECT_EQ(second.calls, (std::vector<std::string>{"text"}));
    EXPECT_EQ(missing.boxes().size(), 1u);
}

TEST(clipboard_mode_test, mode_choice_needs_debug_in_upper_case_anywhere) {
    struct Row {
        std::vector<std::string> args;
        bool window;
    };
    const std::vector<Row> rows = {
        {{}, false},
        {{"debug"}, false},
        {{"Debug"}, false},
        {{"DEBUG"}, true},
        {{"/DEBUG", "x"}, true},
        {{"XDEBUGX"}, true},
        {{"DE", "BUG"}, false},
        {{"x", "DEBUG"}, true},
    };
    for (const Row& row : rows) {
        const std::string text = basMain::ArgumentText(row.args);
        EXPECT_EQ(basMain::WantsTestWindow(text), row.window) << "«" << text << "»";
    }
    EXPECT_EQ(basMain::ArgumentText({"/DEBUG", "x"}), "/DEBUG x");
}

}  // namespace
}  // namespace pellomar
