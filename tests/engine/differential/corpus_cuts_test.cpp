#include <gtest/gtest.h>

#include "MorvantTestSeam.h"
#include "ReferenceArrange.h"
#include "Support.h"
#include "TextCodec.h"

namespace pellomar {
namespace {

namespace fs = std::filesystem;
using testing_support::KeywordDir;
using testing_support::readBytes;

struct CorpusFile {
    std::string name;
    std::u16string query;
};

std::vector<CorpusFile> corpusFiles() {
    std::vector<CorpusFile> files;
    const fs::path dir = testing_support::corpusDir();
    if (dir.empty()) return files;
    for (const auto& entry : fs::directory_iterator(dir)) {
        if (!entry.is_regular_file()) continue;
        auto text = platform::decodeUtf8(readBytes(entry.path()));
        if (!text) {
            ADD_FAILURE() << entry.path() << " is not UTF-8";
            continue;
        }
        files.push_back({entry.path().filename().string(), platform::lfToCrLf(*text)});
    }
    std::sort(files.begin(), files.end(),
              [](const CorpusFile& a, const CorpusFile& b) { return a.name < b.name; });
    return files;
}

// Lays out with the shipped keyword file, as the program next to it would read it.
class corpus_cuts_test : public ::testing::Test {
  protected:
    void SetUp() override {
        if (testing_support::corpusDir().empty()) {
            GTEST_SKIP() << "../shared/corpus is not beside the project";
        }
        ASSERT_TRUE(MorvantTestSeam::ParseKeywords(
            platform::lfToCrLf(*platform::decodeUtf8(testing_support::shippedKeywordFile())),
            rows_));
        // The two classic passes are compared on the shipped rows as a classic file would hold
        // them: its leading words as words.
        rows_.layout = LayoutMode::Classic;
        for (typKeyword& row : rows_) {
            if (row.intLineHead == 2) row.intLineHead = 1;
        }
    }
    KeywordDir dir_;
    KeywordTable rows_;
};

// The direct pass is too slow for whole files; the first 20 KB of each (cut at a line end) and
// the last 20 KB are laid out by both and must agree.
TEST_F(corpus_cuts_test, corpus_cuts_agree_with_the_direct_pass) {
    for (const CorpusFile& file : corpusFiles()) {
        const std::u16string& q = file.query;
        const std::size_t cut = std::min(q.size(), q.find(u"\r\n", 20000));
        const std::size_t from = q.size() > 20000 ? q.find(u"\r\n", q.size() - 20000) : 0;
        for (const std::u16string& part : {q.substr(0, cut), q.substr(std::min(from, q.size()))}) {
            SCOPED_TRACE(file.name);
            std::u16string fast;
            std::u16string ref;
            ASSERT_TRUE(MorvantTestSeam::ArrangeText(part, rows_, fast));
            ASSERT_TRUE(referenceArrangeText(part, rows_, ref));
            EXPECT_TRUE(fast == ref);
            EXPECT_EQ(dir_.boxes(), std::vector<std::string>{});
        }
    }
}

}  // namespace
}  // namespace pellomar
