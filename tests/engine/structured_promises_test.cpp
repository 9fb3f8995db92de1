// The promises of a structured layout (StructuredProperties.h, and a second layout that changes
// nothing) on the inputs that come closest to breaking them: what must never be laid out placed
// where rows would break it, and the structure left unfinished. Each input is held to the
// promises only, not to one layout; the layouts themselves are in structured_layout_test.
#include <gtest/gtest.h>

#include <string>

#include "StructuredProperties.h"
#include "Support.h"
#include "TextCodec.h"
#include "clsMorvant.h"

namespace pellomar {
namespace {

using testing_support::KeywordDir;
using testing_support::structuredViolation;
using testing_support::visible;

KeywordTable structured(std::initializer_list<typKeyword> rows) {
    KeywordTable table(rows);
    table.layout = LayoutMode::Structured;
    return table;
}

// Rows that break wherever they can: words, leading words and symbols, some deep.
const KeywordTable kEager = structured({
    {u"select", 1, 1},
    {u"from", 1, 1},
    {u"where", 1, 1},
    {u"and", 2, 2},
    {u"or", 3, 2},
    {u"on", 2, 2},
    {u"when", 2, 2},
    {u"end", 1, 2},
    {u"x", 2, 0},
    {u",", 1, 0},
    {u"=", 2, 0},
    {u"union all", 0, 1},
});

struct Input {
    const char* what;
    const char* query;  // LF line ends, sent with CR LF as a request does; \r alone stays
    const KeywordTable* rows = &kEager;
};

void verifyPromises(std::initializer_list<Input> inputs) {
    for (const Input& input : inputs) {
        SCOPED_TRACE(input.what);
        KeywordDir dir;
        dir.writeRows(*input.rows);
        const std::u16string query = platform::lfToCrLf(testing_support::u16(input.query));
        const std::u16string once = clsMorvant().CArrange(query);
        ASSERT_EQ(dir.boxes(), std::vector<std::string>{});
        EXPECT_EQ(structuredViolation(query, once), "");
        EXPECT_EQ(visible(clsMorvant().CArrange(once)), visible(once))
            << "a second layout changes the text";
    }
}

TEST(structured_promises_test, literals_and_comments_where_rows_would_break) {
    verifyPromises({
        {"keywords in every kind of literal",
         "select 'a, x = b' , \"from x\", E'it\\'s, x from', $$ select x, y $$, $t$ and $$ , "
         "$t$ from t"},
        {"TABs and runs of spaces inside literals", "select '\t a  ,\tb ' , \"x\t  y\" from t"},
        {"an E string's backslash before its last quote", "select E'\\\\', x from t"},
        {"an E that is part of a word opens no E string", "select the'x, y' , x from t"},
        {"$1 is no quote; a$$b is one word", "select $1, a$$b, x from t where y = $2"},
        {"comments holding keywords", "select a, /* x, from */ b -- where x = 1\nfrom t"},
        {"/* ... */ does not nest", "select /* a /* b */ x, c */ from t"},
        {"a comment right behind a keyword", "select--x\nfrom/*x*/t where--\nx = 1"},
        {"-- inside an operator run is a comment", "select a+--x\nb, c*/*x*/d from t"},
        {"unclosed literals and comments run to the end",
         "select a, 'x, from t; select 'b', \"c, d"},
        {"an unclosed block comment", "select a, b /* from t where x = 1"},
        {"an unclosed dollar quote", "select $q$ a, b from t"},
        {"COPY data with keywords and TABs",
         "copy t (a, b) from stdin;\n1\tselect x, y\n2\tfrom\t\n\\.\nselect a, x from t"},
        {"COPY data with no end", "copy t from stdin;\nx, from\tand"},
        {"COPY data right behind the ;", "copy t from stdin;x , y\n\\.\nselect 1"},
        {"a lone CR and a lone LF", "select a,\rb\n, x\r\rfrom t"},
        {"no-break space and other wide spaces are no spacing",
         "select a,\u00a0b from\u3000t where x\u2003= 1"},
        {"a comment that ends the text, with spaces", "select a from t -- end, x   "},
    });
}

TEST(structured_promises_test, unfinished_structure) {
    verifyPromises({
        {"parentheses never closed or never opened", "select (a, (select x from t where y = 1"},
        {"a ) without its (", "select a) from t) where x = 1"},
        {"brackets crossing parentheses", "select ([a, b)], x from t"},
        {"CASE never ended", "select case when a then x, b from t"},
        {"END without CASE", "select a end, x from t"},
        {"BETWEEN without its AND", "select a from t where a between 1 or x = 2"},
        {"a keyword at the very end", "select a from"},
        {"only a ;", ";"},
        {"statements without text between their ;", "select 1;;; select x;"},
    });
}

// Faults that the fuzz target and the generated statements found, each cut down to a small input:
// all four made a second layout differ from the first.
TEST(structured_promises_test, found_by_fuzzing) {
    const KeywordTable dotRows = structured({{u".", 1, 0}, {u"from", 1, 1}});
    const KeywordTable anyRows = structured({{u"select", 1, 1}});
    const KeywordTable dots = structured({{u". .", 0, 2}});
    const KeywordTable commas = structured({{u",, ,", 1, 1}});
    verifyPromises({
        // Once the . row had broken «t.from» behind its dot, «from» no longer stood right behind
        // one, and its row broke it the second time.
        {"a word that stood behind a dot", "t.from", &dotRows},
        // A wide DDL statement breaks at its top-level commas; those breaks must not count as the
        // author's the second time.
        {"a long group in a wide DDL statement, after a top-level comma",
         "alter table t add column a int, add constraint c check (aaaaaaaaaaaaaaaaaaaa > 0 and "
         "bbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbb > 0 and ccccccccccccccccccccccccccccc > 0), "
         "add column d int",
         &anyRows},
        {"the same, shorter",
         "create x, (aaaaaaaaaaaaaaaaaaaaaaaaaaaaaa, bbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbb, "
         "cccccccccccccccccccccccccccccccccccc), d",
         &anyRows},
        // A ( never closed opens nothing: a line break inside it is the author's at the top level.
        {"a wide DDL statement with a line break inside a ( never closed",
         "grant a, b (c, "
         "d\nxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxx"
         "xxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxx",
         &anyRows},
        // A comment behind a comma stays on its line; the line break the comma asked for comes
        // after it, and is still the comma's the second time.
        {"a comment behind a top-level comma of a wide statement",
         "copy t a, /* c */ [xxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxx"
         "xxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxx], 1",
         &anyRows},
        // A keyword of signs found the second time over the line break its own row put in.
        {"a keyword of signs and a space, leading", "a .. . b", &dots},
        {"a keyword of signs and a space, a word", ",,,, ,", &commas},
    });
}

}  // namespace
}  // namespace pellomar
