#include <gtest/gtest.h>

#include "Support.h"

namespace pellomar {
namespace {

using testing_support::visible;

TEST(utilities_test, normalize_text) {
    struct Case {
        std::u16string in, out;
    };
    const Case cases[] = {
        {u"a\r\nb\tc", u"a\rb    c"},
        {u"a\nb", u"a\nb"},  // a lone LF is an ordinary character
        {u"a\r\r\nb", u"a\r\rb"},
        {u"'a\tb'\t", u"'a\tb'    "},  // a TAB inside a literal is the user's text
        {u"-- x\ty\r\n\tz", u"-- x\ty\r    z"},
        {u"/*\t*/\t", u"/*\t*/    "},
    };
    MorvantTestPeer peer;
    for (const Case& c : cases) {
        SCOPED_TRACE(visible(c.in));
        const MarkedText normalized = peer.NormalizeText(c.in);
        EXPECT_EQ(visible(normalized.text), visible(c.out));
        EXPECT_EQ(normalized.content.size(), normalized.text.size());
    }
}

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
        const ContentMask mask = markContent(c.text);
        std::string shown;
        for (auto m : mask) shown += m ? '1' : '0';
        EXPECT_EQ(shown, c.marks);
    }
}

TEST(utilities_test, restore_cr_lf) {
    MorvantTestPeer peer;
    EXPECT_EQ(peer.RestoreCrLf(u"a\rb\r"), u"a\r\nb\r\n");
    EXPECT_EQ(peer.RestoreCrLf(u"a\r\nb"), u"a\r\n\nb");  // a CR LF that reaches it doubles its LF
    EXPECT_EQ(peer.RestoreCrLf(u""), u"");
}

TEST(utilities_test, is_delimiter) {
    MorvantTestPeer peer;
    for (const std::u16string yes : {u" ", u"", u"\t", u"\r"}) {
        EXPECT_TRUE(peer.IsDelimiter(yes)) << visible(yes);
    }
    for (const std::u16string no : {u"\n", u"  ", u",", u"(", u"a", u"\r\n"}) {
        EXPECT_FALSE(peer.IsDelimiter(no)) << visible(no);
    }
}

TEST(utilities_test, strip_leading_cr) {
    MorvantTestPeer peer;
    EXPECT_EQ(peer.StripLeadingCr(u"\r\r a"), u" a");
    EXPECT_EQ(peer.StripLeadingCr(u"\r"), u"");
    EXPECT_EQ(peer.StripLeadingCr(u""), u"");
    EXPECT_EQ(peer.StripLeadingCr(u"a\r"), u"a\r");
}

TEST(utilities_test, indent) {
    MorvantTestPeer peer;
    EXPECT_EQ(peer.Indent(2, u"x"), u"        x");
    EXPECT_EQ(peer.Indent(0, u"x"), u"x");
    EXPECT_EQ(peer.Indent(-1, u"x"), u"x");
    EXPECT_EQ(peer.Indent(-8192, u"x"), u"x");
    EXPECT_EQ(peer.Indent(8191, u"").size(), 32764u);
    for (const std::int16_t level :
         std::initializer_list<std::int16_t>{8192, -8193, INT16_MAX, INT16_MIN}) {
        try {
            peer.Indent(level, u"x");
            ADD_FAILURE() << "level " << level << " must overflow";
        } catch (const MorvantError& e) {
            EXPECT_EQ(formatError(e.record()), "6:Overflow: indent level " + std::to_string(level) +
                                                   " is outside -8192..8191");
        }
    }
}

}  // namespace
}  // namespace pellomar
