#include <gtest/gtest.h>

#include "Support.h"
#include "TextCodec.h"
#include "clsMorvant.h"

namespace pellomar {
namespace {

namespace fs = std::filesystem;
using testing_support::contentRuns;
using testing_support::KeywordDir;
using testing_support::readBytes;
using testing_support::u16;
using testing_support::withoutSpacing;

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
        EXPECT_TRUE(clsMorvant().CArrange(result) == result) << "a second layout changed it";
        EXPECT_TRUE(dir.boxes().empty());
    }
    EXPECT_GE(files, 3);
}

}  // namespace
}  // namespace pellomar
