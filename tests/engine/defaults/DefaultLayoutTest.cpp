// The default KEYWORD_ARRANGE.CSV laid against queries of every everyday kind. Each query in
// queries/NAME.sql has its reviewed layout in queries/NAME.expected; an edit of the default file
// that changes how any of them reads shows up here as a diff to look at.

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <iterator>
#include <string>

#include "Content.h"
#include "MorvantTestSeam.h"
#include "Support.h"
#include "TextCodec.h"
#include "clsMorvant.h"

namespace pellomar {
namespace {

namespace fs = std::filesystem;
using testing_support::readBytes;
using testing_support::shippedKeywordFile;
using testing_support::sourceDir;
using testing_support::u16;
using testing_support::u8;
using testing_support::visible;
using testing_support::withoutSpacing;

fs::path queryDir() {
    return sourceDir() / "tests" / "engine" / "defaults" / "queries";
}

struct LaidOut {
    std::u16string text;  // CR LF line breaks, as on the clipboard
    std::vector<std::string> boxes;
};

// One clipboard request with the keyword file as the program directory holds it.
LaidOut arrange(const std::string& keywordFileBytes, const std::u16string& clipboard) {
    testing_support::KeywordDir dir;
    dir.writeBytes(keywordFileBytes);
    LaidOut result;
    result.text = clsMorvant().CArrange(clipboard);
    result.boxes = dir.boxes();
    return result;
}

struct LayoutCase {
    const char* name;  // queries/<name>.sql and queries/<name>.expected
    const char* shows;
};

// Each query was written for this suite; together they cover the statements and clauses the
// default rows are meant for, and the places where rows interact through their order.
const LayoutCase kCases[] = {
    {"01-join-filter", "inner join, on, and, order by; upper case keeps its case"},
    {"02-left-join-many",
     "left/left outer/bare join, each whole on its own line, on and and as leading words; or; "
     "comma in a literal"},
    {"03-subquery-in", "subqueries after in and > are blocks under their line"},
    {"04-case", "case as a group in a select list: a line for each when and else, end closing it"},
    {"05-group-having", "group by, having, order by with two keys"},
    {"06-union", "union all and union; the left in left_on is not a keyword"},
    {"07-insert-select", "insert into with its column list whole, then select"},
    {"08-update-join", "update with a join and a set list"},
    {"09-window", "window functions: over (partition by ... order by ...) stays whole"},
    {"10-delete-exists", "delete from; or not exists with its subquery as a block"},
    {"11-intersect-except", "intersect and except between three selects, input on lines"},
    {"12-cte-derived", "a CTE and a derived table as blocks, cross join, left join"},
    {"13-update-values", "update, a comment holding from and commas, insert ... values rows"},
    {"14-paging", "mixed-case keywords, TABs, between ... and, limit/offset"},
    {"15-insert-returning", "insert ... values ... on conflict ... returning"},
    {"16-recursive-cte", "with recursive, two CTEs, union all inside a block, left join"},
    {"17-update-from", "update ... set ... from ... where ... returning; a short in list"},
    {"18-delete-using", "delete from ... using ... returning"},
    {"19-ddl",
     "create table with constraints one a line, create index and alter table on one line, a "
     "view's query, grant, comment"},
    {"20-function", "a function's $body$ with TABs, a trigger, E'' and $$ strings"},
    {"21-merge", "merge with using, on and and; each when clause whole"},
    {"22-joins", "right outer, full with using, cross, natural left, lateral subquery"},
    {"23-correlated",
     "correlated subqueries in the select list and in exists, nested; an in list too long for "
     "its line"},
    {"24-comments",
     "comments before, between and after statements, trailing and on lines of their own; the "
     "author's indentation replaced"},
    {"25-copy-data", "a dump's COPY data kept as it is, then the next statement"},
};

class DefaultLayout : public ::testing::TestWithParam<LayoutCase> {};

TEST_P(DefaultLayout, MatchesReviewedLayoutAndIsStable) {
    const LayoutCase& c = GetParam();
    SCOPED_TRACE(c.shows);
    const std::string query = readBytes(queryDir() / (std::string(c.name) + ".sql"));
    const std::string expected = readBytes(queryDir() / (std::string(c.name) + ".expected"));
    const std::string keywords = shippedKeywordFile();

    const LaidOut first = arrange(keywords, platform::lfToCrLf(u16(query)));
    ASSERT_TRUE(first.boxes.empty()) << first.boxes.front();
    const std::string got = u8(platform::crLfToLf(first.text));
    EXPECT_EQ(got, expected) << "laid out: " << visible(u16(got));

    // Only the layout may change: a lost or altered character would change the query.
    EXPECT_EQ(withoutSpacing(got), withoutSpacing(query));

    // Copying the result and laying it out again must leave it as it is.
    const LaidOut second = arrange(keywords, first.text);
    ASSERT_TRUE(second.boxes.empty()) << second.boxes.front();
    EXPECT_EQ(visible(second.text), visible(first.text)) << "layout is not stable";
}

INSTANTIATE_TEST_SUITE_P(Queries, DefaultLayout, ::testing::ValuesIn(kCases),
                         [](const ::testing::TestParamInfo<LayoutCase>& info) {
                             std::string name = info.param.name;
                             std::replace(name.begin(), name.end(), '-', '_');
                             return "q" + name;
                         });

// Users edit the file with ordinary Linux editors, which save LF line ends; the default rows
// must give the same layouts then.
TEST(DefaultKeywordFile, LoadsTheSameWithLfLineEnds) {
    std::string lfOnly = shippedKeywordFile();
    ASSERT_NE(lfOnly.find("\r\n"), std::string::npos) << "the shipped file uses CR LF line ends";
    std::erase(lfOnly, '\r');
    for (const LayoutCase& c : kCases) {
        SCOPED_TRACE(c.name);
        const std::u16string query =
            platform::lfToCrLf(u16(readBytes(queryDir() / (std::string(c.name) + ".sql"))));
        const LaidOut crlf = arrange(shippedKeywordFile(), query);
        const LaidOut lf = arrange(lfOnly, query);
        EXPECT_TRUE(lf.boxes.empty());
        EXPECT_EQ(visible(lf.text), visible(crlf.text));
    }
}

// Words of a laid-out line, lower-cased; none for a line that holds any of a literal or comment
// (a dollar-quoted body included), whose words are not the statement's.
std::vector<std::string> wordsOf(const std::string& line, bool holdsContent) {
    std::vector<std::string> words;
    if (holdsContent || line.find_first_of("'\"") != std::string::npos ||
        line.find("--") != std::string::npos || line.find("/*") != std::string::npos) {
        return words;
    }
    std::string word;
    for (const char c : line + " ") {
        if (c == ' ') {
            if (!word.empty()) words.push_back(word);
            word.clear();
        } else {
            word.push_back(c >= 'A' && c <= 'Z' ? static_cast<char>(c + 32) : c);
        }
    }
    return words;
}

// Why the shipped file has both the bare join row and the rows of qualified joins: the join row
// breaks before every bare JOIN and leaves the JOIN of a qualified join to the qualified row,
// which starts its line with the whole phrase. Without those rows the qualifier would end the line
// before (" c.id = o.id left" over "join"), where it reads as part of that clause; without the
// join row a bare JOIN would stay inside the line before it. Neither happens in the reviewed
// queries or the corpus.
TEST(DefaultKeywordFile, NoJoinIsLeftInsideAnotherLine) {
    std::vector<fs::path> inputs;
    for (const LayoutCase& c : kCases)
        inputs.push_back(queryDir() / (std::string(c.name) + ".sql"));
    if (const fs::path corpus = testing_support::corpusDir(); !corpus.empty()) {
        for (const auto& entry : fs::directory_iterator(corpus)) {
            if (entry.path().extension() == ".sql") inputs.push_back(entry.path());
        }
    }
    const std::vector<std::string> qualifiers = {"left",  "right", "full",   "inner",
                                                 "cross", "outer", "natural"};
    int joins = 0;
    for (const fs::path& input : inputs) {
        SCOPED_TRACE(input.filename().string());
        const LaidOut out =
            arrange(shippedKeywordFile(), platform::lfToCrLf(u16(readBytes(input))));
        ASSERT_TRUE(out.boxes.empty());
        const std::u16string crText = platform::crLfToLf(out.text);
        const ContentMask content = markContent(crText);
        std::vector<std::string> lines;
        std::vector<bool> holdsContent;
        for (std::size_t from = 0; from <= crText.size();) {
            const std::size_t end = std::min(crText.find(u'\n', from), crText.size());
            lines.push_back(u8(crText.substr(from, end - from)));
            holdsContent.push_back(std::any_of(content.begin() + static_cast<std::ptrdiff_t>(from),
                                               content.begin() + static_cast<std::ptrdiff_t>(end),
                                               [](std::uint8_t flag) { return flag != 0; }));
            from = end + 1;
        }
        for (std::size_t i = 0; i < lines.size(); ++i) {
            const std::vector<std::string> words = wordsOf(lines[i], holdsContent[i]);
            const auto join = std::find(words.begin(), words.end(), "join");
            if (join == words.end()) continue;
            ++joins;
            const auto isQualifier = [&](const std::string& word) {
                return std::find(qualifiers.begin(), qualifiers.end(), word) != qualifiers.end();
            };
            EXPECT_TRUE(std::all_of(words.begin(), join, isQualifier))
                << "JOIN inside a line: " << lines[i];
            const std::vector<std::string> before =
                i > 0 ? wordsOf(lines[i - 1], holdsContent[i - 1]) : words;
            EXPECT_FALSE(join == words.begin() && i > 0 && !before.empty() &&
                         isQualifier(before.back()))
                << "a qualifier ends the line before a JOIN: " << lines[i - 1];
        }
    }
    EXPECT_GE(joins, 7);
}

// A row the pass skips silently (empty or blank keyword, or one holding a parenthesis, which the
// structured layout never uses) or a kind other than word, leading word and symbol would be a slip
// in the shipped file that no layout above need reveal; so would a header that leaves the file to
// the classic pass.
TEST(DefaultKeywordFile, RowsAreWellFormed) {
    std::u16string text = platform::lfToCrLf(u16(shippedKeywordFile()));
    KeywordTable table;
    const testing_support::KeywordDir dir;
    ASSERT_TRUE(MorvantTestSeam::ParseKeywords(text, table)) << dir.boxes().front();
    EXPECT_EQ(table.layout, LayoutMode::Structured);
    ASSERT_GE(table.size(), 20u);
    for (const typKeyword& row : table) {
        SCOPED_TRACE(testing_support::csvLine(row));
        EXPECT_NE(row.strWord.find_first_not_of(u" \r"), std::u16string::npos);
        EXPECT_EQ(row.strWord.find_first_of(u"()[];"), std::u16string::npos);
        EXPECT_EQ(row.strWord, row.strWord.substr(row.strWord.find_first_not_of(u' ')));
        EXPECT_TRUE(row.intLineHead >= 0 && row.intLineHead <= 2);
    }
}

}  // namespace
}  // namespace pellomar
