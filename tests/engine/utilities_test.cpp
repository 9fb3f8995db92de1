// The text steps where a request cannot show them: which characters are the inside of a literal or
// comment, and the edge cases of two steps that the pass never reaches. Everything else about the
// text steps is a layout rule (layout_test).
#include <gtest/gtest.h>

#include "Content.h"
#include "MorvantTestSeam.h"
#include "Support.h"

namespace pellomar {
namespace {

using testing_support::visible;

TEST(utilities_test, content_marks) {
    struct Case {
        std::u16string text;
        std::string marks;  // 1 where the character is inside a literal or comment
    };
    const Case cases[] = {
        {u"a'b,c'd", "0011100"},
        {u"'it''s'", "0111110"},
        {u"''x", "000"},
        {u"\"a\"", "010"},
        {u"'a\"b'", "01110"},
        {u"--ab\rc", "011100"},
        {u"--ab\nc", "011100"},
        {u"/*a*/b", "011100"},
        {u"/*/a*/", "011110"},  // /*/ does not close
        {u"/*a", "011"},        // unclosed: runs to the end
        {u"'ab", "011"},
        {u"'--'/*", "011001"},
        {u"-- 'x\r'y'", "011110010"},
        // A lone E before the quote makes backslashes escapes; elsewhere they are characters.
        {u"E'a\\'b'c", "00111100"},
        {u"e'\\\\'x", "001100"},
        {u"E'it''s'", "00111110"},
        {u"xE'a\\'b'", "00011000"},  // not alone: a plain literal that ends at the escaped quote
        {u"'a\\'b'", "011000"},
        // Dollar quotes, with or without a tag; $1 is a parameter and a$$ part of a name.
        {u"$$a'b$$c", "01111100"},
        {u"$f$a$$b$f$", "0111111110"},
        {u"$f$a", "0111"},
        {u"$1 '$$'", "0000110"},
        {u"a$$b", "0000"},
        {u"$_x9$-$_x9$", "01111111110"},
        {u"$9$x$9$", "0000000"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(visible(c.text));
        std::string shown;
        for (const auto m : markContent(c.text)) shown += m ? '1' : '0';
        EXPECT_EQ(shown, c.marks);
    }
}

// After COPY ... FROM stdin; the data up to and including the line that is exactly \. is the
// user's text: a dump's rows are TAB-separated values, not SQL. Only that statement's data.
TEST(utilities_test, copy_data_marks) {
    struct Case {
        const char* what;
        std::u16string text;
        std::u16string content;  // the characters marked as content, in order
    };
    const Case cases[] = {
        {"a dump's block", u"COPY t (a, b) FROM stdin;\r1\tx, y\r\\.\rselect 1", u"\r1\tx, y\r\\."},
        {"with options, lower case, comment between",
         u"copy t from /* c */ STDIN with csv;\ra,b\n\\.\n", u"* c *\ra,b\n\\."},
        {"no end line: to the end", u"copy t from stdin;\r1\t2", u"\r1\t2"},
        {"\\. inside a row is data", u"copy t from stdin;\rx\\.\r\\.", u"\rx\\.\r\\."},
        {"from a file: no data", u"copy t from '/tmp/f';\r1,2", u"/tmp/f"},
        {"to stdout: no data", u"copy t to stdout;\r1,2", u""},
        {"not copy", u"select a from stdin;\r1,2", u""},
        {"stdin inside parentheses", u"copy (select 1 from stdin) to stdout;\r1", u""},
        {"the next statement is SQL again", u"copy t from stdin;\r\\.\rcopy u to stdout;\r1",
         u"\r\\."},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const ContentMask mask = markContent(c.text);
        std::u16string content;
        for (std::size_t i = 0; i < c.text.size(); ++i) {
            if (mask[i]) content.push_back(c.text[i]);
        }
        EXPECT_EQ(visible(content), visible(c.content));
    }
}

// The pass turns CR LF into CR before anything else, so only a direct call shows that a CR LF
// reaching RestoreCrLf has its LF doubled.
TEST(utilities_test, restore_cr_lf) {
    EXPECT_EQ(visible(MorvantTestSeam::RestoreCrLf(u"a\rb\r")), visible(u"a\r\nb\r\n"));
    EXPECT_EQ(visible(MorvantTestSeam::RestoreCrLf(u"a\r\nb")), visible(u"a\r\n\nb"));
}

// The pass asks about one character at a time, and TABs outside literals and comments are spaces
// by then: two spaces and a TAB are for a direct call only.
TEST(utilities_test, is_delimiter) {
    EXPECT_FALSE(MorvantTestSeam::IsDelimiter(u"  "));
    EXPECT_FALSE(MorvantTestSeam::IsDelimiter(u"\r\n"));
    EXPECT_TRUE(MorvantTestSeam::IsDelimiter(u"\t"));
}

}  // namespace
}  // namespace pellomar
