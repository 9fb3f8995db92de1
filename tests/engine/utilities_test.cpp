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
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(visible(c.text));
        std::string shown;
        for (const auto m : markContent(c.text)) shown += m ? '1' : '0';
        EXPECT_EQ(shown, c.marks);
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
