// The check that the structured layout's tests, fuzz target and corpus run share
// (StructuredProperties.h) must itself catch what it is there for: each of its promises broken
// once on purpose, and layouts that keep them all let through.
#include <gtest/gtest.h>

#include <string>

#include "StructuredProperties.h"
#include "Support.h"

namespace pellomar {
namespace {

using testing_support::structuredViolation;
using testing_support::u16;

struct Case {
    const char* what;
    const char* input;
    const char* output;
    const char* violation;  // a part of the message, or "" for a layout that keeps every promise
};

TEST(structured_properties_test, catches_each_broken_promise) {
    const Case cases[] = {
        {"a layout that moves only spacing", "select a, b from t where x = 1",
         "select\r\n    a,\r\n    b\r\nfrom\r\n    t\r\nwhere\r\n    x = 1", ""},
        {"TABs between tokens become spaces", "select\ta", "select\r\n    a", ""},
        {"spacing added between tokens that had none", "select t.x,y",
         "select\r\n    t.\r\n    x,\r\n    y", ""},
        {"a lone CR in a literal comes back as CR LF", "select 'a\rb'", "select\r\n    'a\r\nb'",
         ""},
        {"a lone LF is an ordinary character", "a\nb", "a\nb", ""},
        {"a -- comment's line break kept, the next line indented", "a -- c\r\nb", "a -- c\r\n    b",
         ""},
        {"COPY data kept", "copy t from stdin;\r\n1\t2\r\n\\.\r\nselect 1",
         "copy t from stdin;\r\n1\t2\r\n\\.\r\nselect\r\n    1", ""},

        {"a letter changed", "select a", "select b", "something other than spaces"},
        {"letter case changed", "select a", "SELECT a", "something other than spaces"},
        {"a character dropped", "select a;", "select a", "something other than spaces"},
        {"spacing inside a word", "select abc", "select ab c", "spacing added inside a token"},
        {"spacing inside an operator", "a <> b", "a < > b", "spacing added inside a token"},
        {"two words run together", "select a from t", "select afrom t",
         "spacing added inside a token or taken from between two"},
        {"spacing between two tokens taken away", "a + b", "a+b",
         "spacing between two tokens was taken away"},
        {"spacing inside a string", "select 'a  b'", "select 'a b'",
         "string literal changed inside"},
        {"a TAB inside a string", "'a\tb'", "'a    b'", "string literal changed inside"},
        {"a line break inside a string", "'a b'", "'a\r\nb'", "string literal changed inside"},
        {"an E string ends at its last quote, not at \\'", "x = E'it\\'s  so'", "x = E'it\\'s so'",
         "string literal changed inside"},
        {"a plain string's backslash escapes nothing", "x = 'a\\' , 'b'", "x = 'a\\' ,\r\n'b'", ""},
        {"spacing inside a dollar-quoted body", "$f$ a  b $f$", "$f$ a b $f$",
         "dollar-quoted string changed inside"},
        {"$$ quotes too", "$$ select  1 $$", "$$ select\r\n    1 $$",
         "dollar-quoted string changed inside"},
        {"$1 is a parameter, not a quote", "a = $1 and b = $2", "a = $1\r\nand b = $2", ""},
        {"spacing inside a quoted name", "\"a  b\"", "\"a b\"", "quoted name changed inside"},
        {"a block comment split", "/* a  b */ x", "/* a\r\nb */ x", "/* */ comment changed inside"},
        {"a -- comment's inside", "x -- a  b\r\ny", "x -- a b\r\ny", "-- comment changed inside"},
        {"a TAB in COPY data", "copy t from stdin;\r\n1\t2\r\n\\.",
         "copy t from stdin;\r\n1    2\r\n\\.", "COPY data changed inside"},
        {"COPY data moved off the ;'s line", "copy t from stdin;\r\n1\r\n\\.",
         "copy t from stdin; 1\r\n\\.", "COPY data changed inside"},
        {"COPY data ends at \\., the SQL after it is laid out",
         "copy t (a) from stdin;\r\n1\r\n\\.\r\nselect 1",
         "copy t (a) from stdin;\r\n1\r\n\\.\r\nselect\r\n    1", ""},
        {"no COPY data after COPY ... TO stdout", "copy t to stdout; select  1",
         "copy t to stdout;\r\nselect\r\n    1", ""},
        {"a -- comment's line break taken away", "a -- c\r\nb", "a -- c b",
         "the line break that ends a -- comment was removed"},
        {"... also at the very end", "a -- c\r\n", "a -- c",
         "the line break that ends a -- comment was removed"},
        {"two minus signs made a comment", "a - - b", "a --b",
         "operator \"-\" became a -- comment"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const std::string found = structuredViolation(u16(c.input), u16(c.output));
        if (std::string(c.violation).empty()) {
            EXPECT_EQ(found, "");
        } else {
            EXPECT_NE(found.find(c.violation), std::string::npos) << found;
        }
    }
}

TEST(structured_properties_test, names_the_place_in_both_texts) {
    EXPECT_EQ(structuredViolation(u"select\r\n  a,\r\n  b", u"select\r\n  a,\r\n  c"),
              "something other than spaces, TABs and line breaks changed; input at 3:3 (unit 14) "
              "\"select\\r  a,\\r  \xE2\x80\xB8"
              "b\", output at 3:3 (unit 14) "
              "\"select\\r  a,\\r  \xE2\x80\xB8"
              "c\"");
}

}  // namespace
}  // namespace pellomar
