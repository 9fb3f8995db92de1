#include <gtest/gtest.h>

#include <algorithm>

#include "StructuredProperties.h"
#include "Support.h"
#include "TextCodec.h"
#include "clsMorvant.h"

namespace pellomar {
namespace {

namespace fs = std::filesystem;
using testing_support::contentRuns;
using testing_support::KeywordDir;
using testing_support::readBytes;
using testing_support::structuredViolation;
using testing_support::u16;
using testing_support::withoutSpacing;

// What one text of the corpus must come through: a layout without an error box that keeps every
// promise of a structured layout, and a second layout that changes nothing. Returns what went
// wrong, or the empty text.
std::string layOutAndCheck(const KeywordDir& dir, const std::u16string& query) {
    const std::size_t boxes = dir.boxes().size();
    const std::u16string result = clsMorvant().CArrange(query);
    if (dir.boxes().size() != boxes) return "an error box: " + dir.boxes().back();
    if (std::string broken = structuredViolation(query, result); !broken.empty()) return broken;
    if (clsMorvant().CArrange(result) != result) return "a second layout changed it";
    return {};
}

// Lays out real SQL that nobody on this project wrote, every file whole, with the shipped keyword
// file and checks that only whitespace moved, every literal and comment came through untouched,
// and a second layout changes nothing (a second press of the hotkey is harmless).
TEST(corpus_test, every_file_whole_changes_only_whitespace) {
    const fs::path corpus = testing_support::corpusDir();
    if (corpus.empty()) GTEST_SKIP() << "../shared/corpus is not beside the project";
    KeywordDir dir;
    dir.writeBytes(testing_support::shippedKeywordFile());
    int files = 0;
    for (const auto& entry : fs::directory_iterator(corpus)) {
        if (entry.path().extension() != ".sql") continue;
        const std::string name = entry.path().filename().string();
        SCOPED_TRACE(name);
        ++files;
        const std::u16string query = platform::lfToCrLf(u16(readBytes(entry.path())));
        const std::u16string result = clsMorvant().CArrange(query);
        ASSERT_TRUE(dir.boxes().empty()) << dir.boxes().front();
        EXPECT_TRUE(withoutSpacing(result) == withoutSpacing(query))
            << "something other than whitespace changed";
        const std::vector<std::u16string> before = contentRuns(query);
        const std::vector<std::u16string> after = contentRuns(result);
        ASSERT_EQ(before.size(), after.size());
        for (std::size_t i = 0; i < before.size(); ++i) {
            ASSERT_TRUE(before[i] == after[i])
                << "literal or comment " << i << " changed: " << testing_support::u8(before[i]);
        }
        EXPECT_EQ(structuredViolation(query, result), "");
        EXPECT_TRUE(clsMorvant().CArrange(result) == result) << "a second layout changed it";
        EXPECT_TRUE(dir.boxes().empty());
    }
    EXPECT_GE(files, 3);
}

// The statements cut from other projects' test suites, one a file: many shapes the whole files
// above do not have (DDL of every kind, dollar-quoted bodies, odd spacing and comments).
TEST(corpus_test, every_statement_keeps_the_promises_of_a_structured_layout) {
    const fs::path corpus = testing_support::corpusDir();
    if (corpus.empty()) GTEST_SKIP() << "../shared/corpus is not beside the project";
    const fs::path statements = corpus / "statements";
    if (!fs::is_directory(statements)) GTEST_SKIP() << statements << " is absent";
    KeywordDir dir;
    dir.writeBytes(testing_support::shippedKeywordFile());
    std::vector<fs::path> files;
    for (const auto& entry : fs::recursive_directory_iterator(statements)) {
        if (entry.is_regular_file() && entry.path().extension() == ".sql") {
            files.push_back(entry.path());
        }
    }
    std::sort(files.begin(), files.end());
    int failed = 0;
    for (const fs::path& file : files) {
        const std::u16string query = platform::lfToCrLf(u16(readBytes(file)));
        const std::string broken = layOutAndCheck(dir, query);
        if (!broken.empty() && ++failed <= 10) {
            ADD_FAILURE() << fs::relative(file, statements).string() << ": " << broken;
        }
    }
    EXPECT_EQ(failed, 0) << "of " << files.size() << " statements";
    EXPECT_GE(files.size(), 1000u);
}

}  // namespace
}  // namespace pellomar
