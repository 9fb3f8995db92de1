#include <gtest/gtest.h>

#include "Support.h"
#include "TextCodec.h"

namespace pellomar {
namespace {

namespace fs = std::filesystem;
using testing_support::KeywordDir;
using testing_support::readBytes;
using testing_support::u16;

std::u16string withoutWhitespace(std::u16string_view text) {
    std::u16string out;
    for (char16_t c : text) {
        if (c != u' ' && c != u'\t' && c != u'\r' && c != u'\n') out.push_back(c);
    }
    return out;
}

// The inside of every literal and comment, in order, as the engine's own rules find them.
std::vector<std::u16string> contentRuns(std::u16string_view crLfText) {
    std::u16string text;
    for (std::size_t i = 0; i < crLfText.size(); ++i) {
        if (crLfText[i] == u'\r' && i + 1 < crLfText.size() && crLfText[i + 1] == u'\n') continue;
        text.push_back(crLfText[i]);
    }
    const ContentMask mask = markContent(text);
    std::vector<std::u16string> runs;
    bool inRun = false;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (mask[i] && !inRun) runs.emplace_back();
        if (mask[i]) runs.back().push_back(text[i]);
        inRun = mask[i] != 0;
    }
    return runs;
}

// Lays out real SQL that nobody on this project wrote, every file whole, with the shipped keyword
// file and checks that only whitespace moved and every literal and comment came through untouched.
TEST(corpus_test, every_file_whole_changes_only_whitespace) {
    const fs::path corpus = testing_support::corpusDir();
    if (corpus.empty()) GTEST_SKIP() << "../shared/corpus is not beside the project";
    KeywordDir dir;
    dir.writeBytes(readBytes(testing_support::sourceDir() / "KEYWORD_ARRANGE.CSV"));
    int files = 0;
    for (const auto& entry : fs::directory_iterator(corpus)) {
        if (entry.path().extension() != ".sql") continue;
        const std::string name = entry.path().filename().string();
        SCOPED_TRACE(name);
        ++files;
        testing_support::BoxCapture boxes;
        const std::u16string query = platform::lfToCrLf(u16(readBytes(entry.path())));
        const std::u16string result = clsMorvant().CArrange(query);
        ASSERT_TRUE(boxes.messages().empty()) << boxes.messages().front();
        EXPECT_TRUE(withoutWhitespace(result) == withoutWhitespace(query))
            << "something other than whitespace changed";
        const std::vector<std::u16string> before = contentRuns(query);
        const std::vector<std::u16string> after = contentRuns(result);
        ASSERT_EQ(before.size(), after.size());
        for (std::size_t i = 0; i < before.size(); ++i) {
            std::u16string expected = before[i];
            // A comment that runs to the very end loses its trailing spaces with the end trim.
            if (i + 1 == before.size() && expected.size() != after[i].size()) {
                while (!expected.empty() && expected.back() == u' ') expected.pop_back();
            }
            ASSERT_TRUE(expected == after[i])
                << "literal or comment " << i << " changed: " << testing_support::u8(before[i]);
        }
    }
    EXPECT_GE(files, 3);
}

}  // namespace
}  // namespace pellomar
