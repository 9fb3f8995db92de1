#include <gtest/gtest.h>

#include "Support.h"

namespace pellomar {
namespace {

using testing_support::BoxCapture;
using testing_support::visible;

typKeyword word(std::u16string w, std::int16_t level) {
    return {std::move(w), level, 1};
}
typKeyword symbol(std::u16string w, std::int16_t level) {
    return {std::move(w), level, 0};
}

// The rows of the worked example every layout rule is explained with.
const KeywordTable kClauses = {word(u"select", 1), word(u"from", 1), word(u"where", 1),
                               symbol(u",", 1)};

struct LayoutCase {
    const char* what;
    KeywordTable rows;
    std::u16string query;
    std::u16string expected;
};

// Lays out query with rows and checks the result and that no error box was shown.
void expectLayout(const LayoutCase& c) {
    SCOPED_TRACE(c.what);
    BoxCapture boxes;
    MorvantTestPeer peer;
    std::u16string result;
    EXPECT_TRUE(peer.ArrangeText(c.query, c.rows, result));
    EXPECT_EQ(visible(result), visible(c.expected));
    EXPECT_TRUE(boxes.messages().empty()) << boxes.messages().front();
}

TEST(layout_test, worked_example_and_basic_rules) {
    const LayoutCase cases[] = {
        {"worked example", kClauses, u"select a, b from t where x = 1",
         u"select\r\n    a,\r\n    b\r\nfrom\r\n    t\r\nwhere\r\n    x = 1"},
        {"matching ignores case, output keeps the query's",
         {word(u"select", 1)},
         u"SELECT a",
         u"SELECT\r\n    a"},
        {"word inside a longer word is rejected",
         {word(u"select", 1)},
         u"selected select",
         u"selected\r\nselect\r\n"},
        {"keyword at the very end", {word(u"select", 1)}, u"a select", u"a\r\nselect\r\n"},
        {"one character is never searched", {symbol(u"x", 1)}, u"x", u"x"},
        {"lone CR", kClauses, u"\r", u"\r\n"},
        {"lone TAB: four spaces, which the end trim takes", kClauses, u"\t", u""},
        {"empty query", kClauses, u"", u""},
        {"re-found occurrence after indentation",
         {word(u"select", 3)},
         u"a select b",
         u"a\r\n        select\r\n            b"},
        {"symbol at level 2",
         {symbol(u"(", 2), symbol(u")", 1)},
         u"select max(a) from t",
         u"select max    (\r\n        a)\r\n    from t"},
        {"CR LF and TAB", kClauses, u"SELECT a,b\r\nFROM t\tWHERE x=1",
         u"SELECT\r\n    a,\r\n    b\r\nFROM\r\n    t\r\nWHERE\r\n    x=1"},
        {"lone LF is no delimiter", {word(u"from", 1)}, u"a\nfrom b", u"a\nfrom b"},
        {"lone LF reaches the output",
         {word(u"from", 1)},
         u"x\ny from b",
         u"x\ny\r\nfrom\r\n    b"},
        {"symbol ending the text", {symbol(u",", 1)}, u"a,", u"a,\r\n"},
        {"negative levels indent nothing",
         {word(u"select", -1)},
         u"x select y",
         u"x\r\nselect\r\ny"},
        {"head keeps its CRs, loses trailing spaces",
         {word(u"from", 1)},
         u"a \r  from b",
         u"a \r\nfrom\r\n    b"},
        {"spaces and CRs behind a keyword go",
         {word(u"select", 1)},
         u"select \r\r x",
         u"select\r\n    x"},
        {"a second CR survives as an indented empty line",
         {word(u"select", 1)},
         u"select \r  \rx",
         u"select\r\n    \r\nx"},
        {"keyword with a trailing space needs a delimiter behind it",
         {word(u"select ", 2)},
         u"select  a",
         u"    select\r\n        a"},
        {"keyword with a trailing space rejects a single space",
         {word(u"select ", 2)},
         u"select a",
         u"select a"},
        {"astral characters count as two code units",
         {symbol(u",", 1)},
         u"\U0001F600,b",
         u"\U0001F600,\r\n    b"},
        {"non-ASCII letters pass through", kClauses, u"select \u00e9t\u00e9 from \u30c6",
         u"select\r\n    \u00e9t\u00e9\r\nfrom\r\n    \u30c6"},
        {"rows apply in table order",
         {symbol(u",", 2), word(u"select", 1)},
         u"select a,b",
         u"select\r\n    a    ,\r\n        b"},
    };
    for (const LayoutCase& c : cases) expectLayout(c);
}

TEST(layout_test, scan_resumes_behind_the_keyword_line) {
    const LayoutCase cases[] = {
        // Positions are corrected after a splice, so spaces removed in front of a keyword no
        // longer make the scan jump over the next occurrence.
        {"trimmed spaces do not hide the next comma",
         {symbol(u",", 1)},
         u"x          , a, b",
         u"x,\r\n    a,\r\n    b"},
        {"every comma of a long list",
         {symbol(u",", 1)},
         u"a  ,  b  ,  c  ,  d",
         u"a,\r\n    b,\r\n    c,\r\n    d"},
        {"repeated word keyword",
         {word(u"and", 2)},
         u"a and b and c",
         u"a\r\n    and\r\n        b\r\n    and\r\n        c"},
    };
    for (const LayoutCase& c : cases) expectLayout(c);
}

TEST(layout_test, rows_that_cannot_end_the_pass_are_skipped) {
    const LayoutCase cases[] = {
        {"empty word row",
         {word(u"", 1), word(u"select", 1)},
         u"a  b select c",
         u"a  b\r\nselect\r\n    c"},
        {"empty symbol row", {symbol(u"", 1)}, u"a b", u"a b"},
        {"spaces-only row at level 2", {symbol(u"  ", 2)}, u"a    b", u"a    b"},
        {"CR and spaces row", {symbol(u"\r ", 3)}, u"a\r\n b", u"a\r\n b"},
        {"quote row would split an empty literal",
         {symbol(u"'", 1), symbol(u",", 1)},
         u"a'',b",
         u"a'',\r\n    b"},
        {"keyword ending in a quote", {symbol(u"x'", 1)}, u"x'' x'a'", u"x'' x'a'"},
    };
    for (const LayoutCase& c : cases) expectLayout(c);
}

TEST(layout_test, literals_and_comments_are_left_alone) {
    const LayoutCase cases[] = {
        {"literal and comment", kClauses, u"select a, 'x, y' from t -- from, where",
         u"select\r\n    a,\r\n    'x, y'\r\nfrom\r\n    t -- from, where"},
        {"doubled quote stays inside", {symbol(u",", 1)}, u"'a'',b', c", u"'a'',b',\r\n    c"},
        {"unclosed literal runs to the end", {symbol(u",", 1)}, u"a, 'b, c", u"a,\r\n    'b, c"},
        {"quoted identifier",
         {word(u"from", 1)},
         u"select \"from\" from t",
         u"select \"from\"\r\nfrom\r\n    t"},
        {"block comment",
         {word(u"from", 1)},
         u"x /* from */ y from z",
         u"x /* from */ y\r\nfrom\r\n    z"},
        {"/*/ does not close",
         {word(u"from", 1)},
         u"/*/ from */ from x",
         u"/*/ from */\r\nfrom\r\n    x"},
        {"unclosed block comment", {symbol(u",", 1)}, u"a, /* b, c", u"a,\r\n    /* b, c"},
        {"line comment ends at CR",
         {word(u"from", 1)},
         u"-- c\r\nfrom x",
         u"-- c\r\nfrom\r\n    x"},
        {"line comment ends at a lone LF",
         {symbol(u",", 1)},
         u"-- a,b\nc,d",
         u"-- a,b\nc,\r\n    d"},
        {"TAB inside content stays a TAB",
         {symbol(u",", 1)},
         u"'a\tb', c\td",
         u"'a\tb',\r\n    c    d"},
        {"keyword touching a literal's inside", {symbol(u"x", 1)}, u"'x'", u"'x'"},
        {"symbol right after a closing quote", {symbol(u",", 1)}, u"'a','b'", u"'a',\r\n    'b'"},
        {"trailing spaces at the very end go, even in a comment",
         {symbol(u",", 1)},
         u"a, b -- c   ",
         u"a,\r\n    b -- c"},
        {"comment after a keyword line", kClauses, u"select a -- first, only\r\nfrom t",
         u"select\r\n    a -- first, only\r\nfrom\r\n    t"},
    };
    for (const LayoutCase& c : cases) expectLayout(c);
}

// The tail rule indents what follows a keyword even when only line breaks follow it; the spaces
// that leaves at the very end are dropped, so that a second layout finds nothing to change.
TEST(layout_test, spaces_at_the_very_end_go) {
    const LayoutCase cases[] = {
        {"keyword before a final line break",
         {word(u"select", 1)},
         u"a select\r\n",
         u"a\r\nselect\r\n"},
        {"the same laid out again", {word(u"select", 1)}, u"a\r\nselect\r\n", u"a\r\nselect\r\n"},
        {"no keyword found", kClauses, u"ab   ", u"ab"},
        {"inside a literal that runs to the end", {symbol(u",", 1)}, u"a, 'b  ", u"a,\r\n    'b"},
        {"a deep tail of line breaks only",
         {word(u"end", 3)},
         u"x end\r\n\r\n",
         u"x\r\n        end\r\n"},
        {"spaces ending other lines stay",
         {word(u"select", 1)},
         u"select \r  \rx  ",
         u"select\r\n    \r\nx"},
    };
    for (const LayoutCase& c : cases) expectLayout(c);
}

TEST(layout_test, laying_out_again_changes_nothing) {
    MorvantTestPeer peer;
    BoxCapture boxes;
    for (const std::u16string query :
         {u"select a, b from t where x = 1", u"SELECT a,b\r\nFROM t\tWHERE x=1",
          u"select a, 'x, y' from t -- from, where"}) {
        std::u16string once, twice;
        ASSERT_TRUE(peer.ArrangeText(query, kClauses, once));
        ASSERT_TRUE(peer.ArrangeText(once, kClauses, twice));
        EXPECT_EQ(visible(twice), visible(once));
    }
    EXPECT_TRUE(boxes.messages().empty());
}

struct FailureCase {
    const char* what;
    KeywordTable rows;
    std::u16string query;
    std::string box;
};

TEST(layout_test, failures_show_one_box_and_return_false) {
    const FailureCase cases[] = {
        {"empty table",
         {},
         u"select a",
         "9:Subscript out of range: the keyword table is empty: KEYWORD_ARRANGE.CSV has no rows "
         "after its header line"},
        {"empty table, empty query",
         {},
         u"",
         "9:Subscript out of range: the keyword table is empty: KEYWORD_ARRANGE.CSV has no rows "
         "after its header line"},
        {"tail level too deep",
         {word(u"select", 8192)},
         u"select a",
         "6:Overflow: the row \"select\": level 8192 cannot be indented (levels -8191..8191 always "
         "work)"},
        {"keyword level too shallow",
         {word(u"select", -8192)},
         u"select a",
         "6:Overflow: the row \"select\": level -8192 cannot be indented (levels -8191..8191 "
         "always work)"},
        {"level minus one leaves 16 bits",
         {word(u"select", INT16_MIN)},
         u"select a",
         "6:Overflow: the row \"select\": level -32768 cannot be indented (levels -8191..8191 "
         "always work)"},
        {"a row's control characters are escaped",
         {symbol(u"\x01", 9000)},
         u"a\x01 z",
         "6:Overflow: the row \"\\x01\": level 9000 cannot be indented (levels -8191..8191 always "
         "work)"},
    };
    for (const FailureCase& c : cases) {
        SCOPED_TRACE(c.what);
        BoxCapture boxes;
        MorvantTestPeer peer;
        std::u16string result;
        EXPECT_FALSE(peer.ArrangeText(c.query, c.rows, result));
        EXPECT_EQ(boxes.messages(), std::vector<std::string>{c.box});
    }
}

TEST(layout_test, deepest_level_is_fine_when_no_tail_needs_it) {
    // The tail's indentation is only computed when there is a tail.
    BoxCapture boxes;
    MorvantTestPeer peer;
    std::u16string result;
    ASSERT_TRUE(peer.ArrangeText(u"a select", {word(u"select", 8192)}, result));
    EXPECT_EQ(result, u"a\r\n" + std::u16string(32764, u' ') + u"select\r\n");
    EXPECT_TRUE(boxes.messages().empty());
}

}  // namespace
}  // namespace pellomar
