// The layout rules, each with the one layout it must give: a whole request, with the rows in a
// keyword file, as a user meets them. Every layout must also be laid out already: a second press
// of the key changes nothing.
#include <gtest/gtest.h>

#include <chrono>

#ifndef _WIN32
#include <sys/resource.h>
#endif

#include "Support.h"
#include "clsMorvant.h"

namespace pellomar {
namespace {

using namespace std::string_literals;
using testing_support::KeywordDir;
using testing_support::repeat;
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

// Lays out input through a request whose keyword file holds rows, and checks the result, that no
// box was shown, and that laying the result out again leaves it as it is.
void verifyLayout(std::u16string_view expected, std::u16string_view input,
                  const KeywordTable& rows) {
    KeywordDir dir;
    dir.writeRows(rows);
    const std::u16string once = clsMorvant().CArrange(std::u16string(input));
    const std::u16string twice = clsMorvant().CArrange(once);
    if (expected.size() < 2000) {
        EXPECT_EQ(visible(once), visible(expected));
        EXPECT_EQ(visible(twice), visible(once)) << "a second layout changes the text";
    } else {
        EXPECT_TRUE(once == expected) << "result of " << once.size() << " code units differs";
        EXPECT_TRUE(twice == once) << "a second layout changes the text";
    }
    EXPECT_EQ(dir.boxes(), std::vector<std::string>{});
}

struct Layout {
    const char* what;
    KeywordTable rows;
    std::u16string input;
    std::u16string expected;
};

void verifyLayouts(std::initializer_list<Layout> cases) {
    for (const Layout& c : cases) {
        SCOPED_TRACE(c.what);
        verifyLayout(c.expected, c.input, c.rows);
    }
}

TEST(layout_test, worked_example_and_basic_rules) {
    verifyLayouts({
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
        {"a word after a line break", {word(u"from", 1)}, u"a\r\nfrom b", u"a\r\nfrom\r\n    b"},
        {"a word after punctuation is rejected", {word(u"from", 1)}, u"a,from b", u"a,from b"},
        {"symbol ending the text", {symbol(u",", 1)}, u"a,", u"a,\r\n"},
        {"level 0 indents nothing", {word(u"select", 0)}, u"x select y", u"x\r\nselect\r\ny"},
        {"negative levels indent nothing",
         {word(u"select", -1)},
         u"x select y",
         u"x\r\nselect\r\ny"},
        {"the text before a keyword loses its leading spaces",
         {word(u"select", 1)},
         u"  a select b",
         u"a\r\nselect\r\n    b"},
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
        {"an astral keyword", {symbol(u"\U0001F600", 1)}, u"a\U0001F600b", u"a\U0001F600\r\n    b"},
        {"a keyword longer than the text", {word(std::u16string(5000, u'x'), 1)}, u"x x", u"x x"},
        {"non-ASCII letters pass through", kClauses, u"select \u00e9t\u00e9 from \u30c6",
         u"select\r\n    \u00e9t\u00e9\r\nfrom\r\n    \u30c6"},
        {"NUL is an ordinary character", kClauses, u"select a\0b from t\0"s,
         u"select\r\n    a\0b\r\nfrom\r\n    t\0"s},
        {"lone surrogates pass through untouched", kClauses,
         u"select " + std::u16string(1, char16_t{0xD800}) + u", b from t",
         u"select\r\n    " + std::u16string(1, char16_t{0xD800}) + u",\r\n    b\r\nfrom\r\n    t"},
        {"rows apply in table order",
         {symbol(u",", 2), word(u"select", 1)},
         u"select a,b",
         u"select\r\n    a    ,\r\n        b"},
    });
}

// The line breaks the engine works with, and TABs, on the way in and out.
TEST(layout_test, line_breaks_and_tabs) {
    const KeywordTable never = {word(u"never", 1)};
    verifyLayouts({
        {"CR LF in, CR LF out; TAB is four spaces", never, u"a\r\nb\tc", u"a\r\nb    c"},
        {"a lone LF is an ordinary character", never, u"a\nb", u"a\nb"},
        {"a CR before CR LF is a line break of its own", never, u"a\r\r\nb", u"a\r\n\r\nb"},
        {"a TAB inside a literal stays", never, u"'a\tb'\tc", u"'a\tb'    c"},
        {"a TAB inside a line comment stays", never, u"-- x\ty\r\n\tz", u"-- x\ty\r\n    z"},
        {"a TAB inside a block comment stays", never, u"/*\t*/\tx", u"/*\t*/    x"},
        {"only spaces: the end trim leaves nothing", kClauses, u"          ", u""},
        {"only spaces and line breaks", kClauses, u"  \r\n  \r\n", u"  \r\n  \r\n"},
    });
}

// Positions are corrected after a splice, so spaces removed in front of a keyword no longer make
// the scan jump over the next occurrence.
TEST(layout_test, scan_resumes_behind_the_keyword_line) {
    verifyLayouts({
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
        {"100,000 commas on one line",
         {symbol(u",", 1)},
         repeat<std::u16string>(u",", 100'000),
         repeat<std::u16string>(u",\r\n", 100'000)},
        // After a rejected occurrence the search goes on one character behind it: the second
        // «a␣» starts on that character and is passed over.
        {"the character behind a rejected word is skipped", {word(u"a ", 1)}, u"a a  b", u"a a  b"},
        // A keyword that starts with spaces can start in the indentation its own last splice put
        // in front of the text after it.
        {"a keyword found in the indentation before it",
         {symbol(u"  x", 2)},
         u"a  xx",
         u"a    x\r\n    x\r\n"},
        {"the same, a word",
         {word(u"  select", 3)},
         u"a   select select b",
         u"a\r\n        select\r\n        select\r\n            b"},
        // The first keyword line of a row starts with its indentation when nothing came before
        // it; the next splice trims those spaces, as the start of the text before a keyword.
        {"a first keyword line's indentation goes at the next keyword",
         {symbol(u",", 3)},
         u",a,b,c",
         u",\r\n            a        ,\r\n            b        ,\r\n            c"},
    });
}

// Under the literal rules these rows would never end the pass: an empty keyword matches at every
// position, and one of spaces (or a CR and spaces) at level 2 finds the indentation its own splice
// inserted. A row holding a quote can only match a literal's delimiter or inside, and an empty
// literal has no inside to protect it. They are skipped.
TEST(layout_test, rows_that_cannot_end_the_pass_are_skipped) {
    const auto start = std::chrono::steady_clock::now();
    verifyLayouts({
        {"empty word row",
         {word(u"", 1), word(u"select", 1)},
         u"a  b select c",
         u"a  b\r\nselect\r\n    c"},
        {"empty symbol row", {symbol(u"", 1)}, u"a b", u"a b"},
        {"spaces-only row at level 2", {symbol(u"  ", 2)}, u"a    b", u"a    b"},
        {"CR and spaces row", {symbol(u"\r ", 3)}, u"a\r\n b", u"a\r\n b"},
        {"blank rows among others",
         {word(u"", 1), symbol(u"", 2), word(u" ", 2), symbol(u"  ", 3), symbol(u"\r ", 2),
          word(u"select", 1), word(u"", 1)},
         u"a  b select  c",
         u"a  b\r\nselect\r\n    c"},
        {"quote row would split an empty literal",
         {symbol(u"'", 1), symbol(u",", 1)},
         u"a'',b",
         u"a'',\r\n    b"},
        {"double quote row", {symbol(u"\"", 1)}, u"a\"\"b", u"a\"\"b"},
        {"keyword ending in a quote", {symbol(u"x'", 1)}, u"x'' x'a'", u"x'' x'a'"},
    });
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(10));
}

TEST(layout_test, literals_and_comments_are_left_alone) {
    verifyLayouts({
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
        {"comment after a keyword line", kClauses, u"select a -- first, only\r\nfrom t",
         u"select\r\n    a -- first, only\r\nfrom\r\n    t"},
        // Rows for the characters that open and close comments must not split those pairs: the
        // rest of the comment would become live SQL.
        {"a minus row and a line comment",
         {symbol(u"-", 1)},
         u"a - b --x, y\r\nc",
         u"a-\r\n    b --x, y\r\nc"},
        {"a slash row and a block comment",
         {symbol(u"/", 1)},
         u"a/b /*x*/ c",
         u"a/\r\n    b /*x*/ c"},
        {"a star row and an empty block comment",
         {symbol(u"*", 1)},
         u"a*b /**/ c",
         u"a*\r\n    b /**/ c"},
        {"a comma right after a comment still breaks",
         {symbol(u",", 1)},
         u"a/*x*/,b",
         u"a/*x*/,\r\n    b"},
    });
}

// Literals that other databases write: a function's dollar-quoted body, an E'' string with its
// backslash escapes and a dump's COPY data are the user's text, TABs included; the keywords in
// them are not the statement's.
TEST(layout_test, dollar_quotes_escape_strings_and_copy_data_are_literals) {
    verifyLayouts({
        {"a dollar-quoted body", kClauses, u"select f from t where x = $$select a,\tb from u$$",
         u"select\r\n    f\r\nfrom\r\n    t\r\nwhere\r\n    x = $$select a,\tb from u$$"},
        {"a tagged body holding $$", kClauses, u"select $body$ a, $$ from $body$, b",
         u"select\r\n    $body$ a, $$ from $body$,\r\n    b"},
        {"a parameter is no quote", kClauses, u"select $1, $2 from t",
         u"select\r\n    $1,\r\n    $2\r\nfrom\r\n    t"},
        {"an escaped quote in an E string", kClauses, u"select E'it\\'s, from', b from t",
         u"select\r\n    E'it\\'s, from',\r\n    b\r\nfrom\r\n    t"},
        {"a plain string keeps '' as its only escape",
         {symbol(u",", 1)},
         u"'a\\', b",
         u"'a\\',\r\n    b"},
        {"COPY data keeps its rows and TABs", kClauses,
         u"copy t from stdin;\r\n1\tselect, from\r\n\\.\r\nselect a, b from t",
         u"copy t\r\nfrom\r\n    stdin;\r\n1\tselect, from\r\n\\.\r\nselect\r\n    a,\r\n    "
         u"b\r\nfrom\r\n    t"},
    });
}

// A word inside a longer word row's keyword, where that row would match it, is part of that
// keyword and not a break of its own, whichever row comes first.
TEST(layout_test, multiword_keywords_stay_whole) {
    const KeywordTable joinsFirst = {word(u"left outer join", 1), word(u"left join", 1),
                                     word(u"join", 1), word(u"on", 1)};
    const KeywordTable joinLast = {word(u"join", 1), word(u"on", 1), word(u"left join", 1),
                                   word(u"left outer join", 1)};
    const std::u16string joins = u"a left join b on x join c left outer join d on y";
    const std::u16string joinsLaidOut =
        u"a\r\nleft join\r\n    b\r\non\r\n    x\r\njoin\r\n    c\r\nleft outer join\r\n    "
        u"d\r\non\r\n    y";
    verifyLayouts({
        {"longer rows first", joinsFirst, joins, joinsLaidOut},
        {"shorter rows first", joinLast, joins, joinsLaidOut},
        {"letter case does not matter",
         {word(u"join", 1), word(u"Left Join", 1)},
         u"a LEFT join b",
         u"a\r\nLEFT join\r\n    b"},
        {"a longer keyword without its own row breaks nothing",
         {word(u"join", 1), word(u"left join", 1)},
         u"a left outer join b",
         u"a left outer\r\njoin\r\n    b"},
        {"by inside group by, order by",
         {word(u"by", 2), word(u"group by", 1), word(u"order by", 1)},
         u"x group by a order by b, c by d",
         u"x\r\ngroup by\r\n    a\r\norder by\r\n    b, c\r\n    by\r\n        d"},
        {"union all at level 0",
         {word(u"union", 0), word(u"union all", 0), word(u"select", 1)},
         u"select a union all select b union select c",
         u"select\r\n    a\r\nunion all\r\nselect\r\n    b\r\nunion\r\nselect\r\n    c"},
        // The words of the longer keyword must stand as its row matches them: one space apart.
        {"spread over a line break, the shorter word breaks",
         {word(u"left join", 1), word(u"join", 1)},
         u"a left\r\njoin b",
         u"a left\r\njoin\r\n    b"},
        {"two spaces apart, the shorter word breaks",
         {word(u"join", 1), word(u"left join", 1)},
         u"a left  join b",
         u"a left\r\njoin\r\n    b"},
        {"glued to punctuation, the longer keyword holds nothing",
         {word(u"join", 1), word(u"left join", 1)},
         u"(left join b",
         u"(left\r\njoin\r\n    b"},
        // A keyword that starts with a space holds only where a space stands before it: in the
        // indentation its own row left before its line, not at the margin.
        {"a leading space found in the indentation",
         {word(u" left join", 2), word(u"join", 2)},
         u"t  left join u",
         u"t\r\n    left join\r\n        u"},
        {"a leading space lost at the margin",
         {word(u" left join", 1), word(u"join", 1)},
         u"t  left join u",
         u"t\r\nleft\r\njoin\r\n    u"},
        {"literals and comments hold no keyword",
         {word(u"join", 1), word(u"left join", 1)},
         u"a 'left join' b -- left join\r\njoin c /* left */ join d",
         u"a 'left join' b -- left join\r\njoin\r\n    c /* left */\r\njoin\r\n    d"},
        // A longer keyword that holds a comment is never accepted as its own row's keyword, so it
        // holds nothing either; nor does a row the pass skips, nor a symbol row.
        {"a longer keyword holding a comment",
         {word(u"x", 1), word(u"/* y */ x", 1)},
         u"a /* y */ x b",
         u"a /* y */\r\nx\r\n    b"},
        {"a skipped row holds nothing",
         {word(u"join", 1), word(u"join ''", 1)},
         u"a join '' b",
         u"a\r\njoin\r\n    '' b"},
        {"a symbol row holds nothing",
         {word(u"join", 1), symbol(u"left join", 1)},
         u"a left join b",
         u"a left\r\njoin\r\n    b"},
        {"a symbol row is not held",
         {symbol(u",", 1), word(u"a, b", 1)},
         u"x a, b y",
         u"x a,\r\n    b y"},
        {"an overlap is not enough: the longer keyword must cover the shorter",
         {word(u"a b", 1), word(u"b c d", 1)},
         u"x a b c d",
         u"x\r\na b\r\n    c d"},
    });
}

// The tail rule indents what follows a keyword even when only line breaks follow it; the spaces
// that leaves at the very end are dropped, so that a second layout finds nothing to change.
TEST(layout_test, spaces_at_the_very_end_go) {
    verifyLayouts({
        {"keyword before a final line break",
         {word(u"select", 1)},
         u"a select\r\n",
         u"a\r\nselect\r\n"},
        {"no keyword found", kClauses, u"ab   ", u"ab"},
        {"inside a literal that runs to the end", {symbol(u",", 1)}, u"a, 'b  ", u"a,\r\n    'b"},
        {"inside a comment that runs to the end",
         {symbol(u",", 1)},
         u"a, b -- c   ",
         u"a,\r\n    b -- c"},
        {"a deep tail of line breaks only",
         {word(u"end", 3)},
         u"x end\r\n\r\n",
         u"x\r\n        end\r\n"},
        {"spaces ending other lines stay",
         {word(u"select", 1)},
         u"select \r  \rx  ",
         u"select\r\n    \r\nx"},
    });
}

// One level is four spaces; the keyword sits one level above the text after it. Levels whose
// indentation cannot be built fail only when a keyword of theirs is found.
TEST(layout_test, levels) {
    verifyLayouts({
        {"level 8191, the deepest",
         {symbol(u",", 8191)},
         u"a,b",
         u"a" + std::u16string(32'760, u' ') + u",\r\n" + std::u16string(32'764, u' ') + u"b"},
        {"level -8191: no indentation at all", {symbol(u",", -8191)}, u"a,b", u"a,\r\nb"},
        {"a level that is never used fails nothing",
         {word(u"select", 1), symbol(u";", 8192)},
         u"select a",
         u"select\r\n    a"},
    });
}

// The rules pin this layout although a second one fails: a keyword at level 8192 that ends the
// text builds the line at level 8191 and needs no tail, but laid out again it has one.
TEST(layout_test, the_deepest_keyword_ending_the_text_is_pinned) {
    KeywordDir dir;
    dir.writeRows({word(u"select", 8192)});
    const std::u16string once = clsMorvant().CArrange(u"a select");
    EXPECT_EQ(once, u"a\r\n" + std::u16string(32'764, u' ') + u"select\r\n");
    EXPECT_EQ(dir.boxes(), std::vector<std::string>{});
    EXPECT_EQ(clsMorvant().CArrange(once), u"");
    EXPECT_EQ(dir.boxes(), std::vector<std::string>{
                               "6:Overflow: " + dir.file().string() +
                               " line 2 (\"select\",8192,1): level 8192 cannot be indented (levels "
                               "-8191..8191 always work)"});
}

struct Failure {
    const char* what;
    KeywordTable rows;
    std::u16string input;
    std::string box;  // {path} stands for the keyword file's full path
};

TEST(layout_test, failures_show_one_box_and_lay_out_nothing) {
    const Failure cases[] = {
        {"tail level too deep",
         {word(u"select", 8192)},
         u"select a",
         "6:Overflow: {path} line 2 (\"select\",8192,1): level 8192 cannot be indented (levels "
         "-8191..8191 always work)"},
        {"keyword level too shallow",
         {word(u"select", -8192)},
         u"select a",
         "6:Overflow: {path} line 2 (\"select\",-8192,1): level -8192 cannot be indented (levels "
         "-8191..8191 always work)"},
        {"level minus one leaves 16 bits",
         {symbol(u",", INT16_MIN)},
         u"a,b",
         "6:Overflow: {path} line 2 (\",\",-32768,0): level -32768 cannot be indented (levels "
         "-8191..8191 always work)"},
        {"the row's control characters are escaped",
         {symbol(u"\x01", 9000)},
         u"a\x01 z",
         "6:Overflow: {path} line 2 (\"\\x01\",9000,0): level 9000 cannot be indented (levels "
         "-8191..8191 always work)"},
    };
    for (const Failure& c : cases) {
        SCOPED_TRACE(c.what);
        KeywordDir dir;
        dir.writeRows(c.rows);
        EXPECT_EQ(clsMorvant().CArrange(c.input), u"");
        std::string box = c.box;
        if (const auto at = box.find("{path}"); at != std::string::npos) {
            box.replace(at, 6, dir.file().string());
        }
        EXPECT_EQ(dir.boxes(), std::vector<std::string>{box});
    }
}

// A row that would take the text past 32-bit positions (100,000 keyword lines each indented by
// 32,000 spaces) fails before it has spent the memory such a text needs: some 4 GB of code units.
TEST(layout_test, overflow_is_found_before_the_memory_is_spent) {
#ifndef _WIN32
    const auto peakKilobytes = [] {
        rusage usage{};
        getrusage(RUSAGE_SELF, &usage);
        return usage.ru_maxrss;
    };
    const long before = peakKilobytes();
#endif
    KeywordDir dir;
    dir.writeRows({symbol(u",", 8000)});
    EXPECT_EQ(clsMorvant().CArrange(repeat<std::u16string>(u"a,", 100'000)), u"");
    EXPECT_EQ(dir.boxes(), std::vector<std::string>{
                               "6:Overflow: the text would be longer than 2147483647 characters"});
#ifndef _WIN32
    EXPECT_LT(peakKilobytes() - before, 200 * 1024);
#endif
}

TEST(layout_test, fifty_megabytes_of_statements) {
    const std::u16string statement = u"select a, b from t where x = 1\r\n";
    const std::u16string laidOut =
        u"select\r\n    a,\r\n    b\r\nfrom\r\n    t\r\nwhere\r\n    x = 1\r\n";
    const std::size_t times = 50'000'000 / statement.size();
    KeywordDir dir;
    dir.writeRows(kClauses);
    EXPECT_TRUE(clsMorvant().CArrange(repeat(statement, times)) == repeat(laidOut, times));
    EXPECT_EQ(dir.boxes(), std::vector<std::string>{});
}

}  // namespace
}  // namespace pellomar
