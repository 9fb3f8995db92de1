#include <gtest/gtest.h>

#include "Support.h"
#include "TextCodec.h"

namespace pellomar {
namespace {

using platform::decodeUtf8;
using testing_support::visible;

TEST(codec_test, utf8_is_strict) {
    struct Case {
        const char* what;
        std::string bytes;
        std::size_t badOffset;  // npos when the bytes decode
    };
    constexpr auto ok = std::string::npos;
    const Case cases[] = {
        {"ASCII", "select 1", ok},
        {"two, three and four bytes", "\xc3\xa9\xe6\xa4\x9c\xf0\x9f\x98\x80", ok},
        {"NUL is a character", std::string("a\0b", 3), ok},
        {"stray continuation byte", "ab\x80", 2},
        {"overlong slash", "\xc0\xaf", 0},
        {"overlong three-byte", "x\xe0\x80\xaf", 1},
        {"encoded surrogate", "\xed\xa0\x80", 0},
        {"past U+10FFFF", "\xf4\x90\x80\x80", 0},
        {"truncated at the end", "ab\xe6\xa4", 2},
        {"lead byte without continuation", "\xe6x\x9c", 0},
        {"invalid lead byte", "\xff", 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        std::size_t bad = 12345;
        const auto text = decodeUtf8(c.bytes, &bad);
        if (c.badOffset == ok) {
            ASSERT_TRUE(text.has_value());
            EXPECT_EQ(platform::encodeUtf8(*text), c.bytes);  // round trip keeps every byte
        } else {
            EXPECT_FALSE(text.has_value());
            EXPECT_EQ(bad, c.badOffset);
        }
    }
    EXPECT_EQ(*decodeUtf8("\xf0\x9f\x98\x80"), u"\U0001F600");
}

TEST(codec_test, lone_surrogate_becomes_replacement_character) {
    EXPECT_EQ(platform::encodeUtf8(std::u16string(1, char16_t{0xD800}) + u"a"),
              "\xef\xbf\xbd"
              "a");
    EXPECT_EQ(platform::encodeUtf8(u"a" + std::u16string(1, char16_t{0xDC00})), "a\xef\xbf\xbd");
}

TEST(codec_test, line_end_conversions) {
    struct Case {
        std::u16string in, out;
    };
    const Case toCrLf[] = {{u"a\nb", u"a\r\nb"},   {u"a\r\nb", u"a\r\nb"},       {u"a\rb", u"a\rb"},
                           {u"\n\n", u"\r\n\r\n"}, {u"a\r\n\nb", u"a\r\n\r\nb"}, {u"", u""}};
    for (const Case& c : toCrLf) EXPECT_EQ(visible(platform::lfToCrLf(c.in)), visible(c.out));
    const Case toLf[] = {{u"a\r\nb", u"a\nb"}, {u"a\rb", u"a\rb"}, {u"a\r\n\r\n", u"a\n\n"}};
    for (const Case& c : toLf) EXPECT_EQ(visible(platform::crLfToLf(c.in)), visible(c.out));
}

TEST(codec_test, lower_casing_keeps_positions) {
    std::u16string text = u"SELECT Ab\u00c9 \U0001F600 \u0130";
    const std::size_t size = text.size();
    platform::lowerInPlace(text);
    EXPECT_EQ(text.size(), size);
    EXPECT_EQ(text.substr(0, 9), u"select ab");
    EXPECT_EQ(text.substr(11, 2), u"\U0001F600");  // surrogates are never touched
}

}  // namespace
}  // namespace pellomar
