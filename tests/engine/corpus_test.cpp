#include <gtest/gtest.h>

#include <fstream>
#include <sstream>

#include "Support.h"
#include "TextCodec.h"

namespace pellomar {
namespace {

namespace fs = std::filesystem;
using testing_support::KeywordDir;
using testing_support::u16;

std::string readFile(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream bytes;
    bytes << in.rdbuf();
    return bytes.str();
}

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

// Lays out real SQL that nobody on this project wrote with the shipped keyword file and checks
// that only whitespace moved and every literal and comment came through untouched.
void checkCorpusFile(const std::string& name, std::size_t maxBytes) {
    const fs::path corpus = testing_support::corpusDir();
    if (corpus.empty()) GTEST_SKIP() << "../shared/corpus is not beside the project";
    std::string bytes = readFile(corpus / name);
    ASSERT_FALSE(bytes.empty()) << name;
    if (bytes.size() > maxBytes) bytes.resize(bytes.rfind('\n', maxBytes) + 1);

    KeywordDir dir;
    dir.writeBytes(readFile(testing_support::sourceDir() / "KEYWORD_ARRANGE.CSV"));
    testing_support::BoxCapture boxes;
    const std::u16string query = platform::lfToCrLf(u16(bytes));
    const std::u16string result = clsMorvant().CArrange(query);
    ASSERT_TRUE(boxes.messages().empty()) << boxes.messages().front();
    EXPECT_GT(result.size(), 0u);
    EXPECT_TRUE(withoutWhitespace(result) == withoutWhitespace(query))
        << name << ": something other than whitespace changed";

    const std::vector<std::u16string> before = contentRuns(query);
    const std::vector<std::u16string> after = contentRuns(result);
    ASSERT_EQ(before.size(), after.size()) << name;
    for (std::size_t i = 0; i < before.size(); ++i) {
        std::u16string expected = before[i];
        // A comment that runs to the very end loses its trailing spaces with the end trim.
        if (i + 1 == before.size() && expected.size() != after[i].size()) {
            while (!expected.empty() && expected.back() == u' ') expected.pop_back();
        }
        ASSERT_TRUE(expected == after[i]) << name << ": literal or comment " << i
                                          << " changed: " << testing_support::u8(before[i]);
    }
}

TEST(corpus_test, sakila_schema_whole) {
    checkCorpusFile("sakila-schema-postgresql.sql", std::string::npos);
}

TEST(corpus_test, chinook_first_100_kb) {
    checkCorpusFile("chinook-postgresql.sql", 100 * 1024);
}

}  // namespace
}  // namespace pellomar
