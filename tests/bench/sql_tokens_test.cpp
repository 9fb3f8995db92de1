// The checker's own tokenizer: every literal form ends where the server ends it, so that the
// checker never judges text inside a literal as code, nor code as a literal.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "SqlTokens.h"

namespace pellomar::layout_check {
namespace {

struct TokenCase {
    const char* name;
    const char* text;
    std::vector<std::string> tokens;  // each as kind:text
};

std::string kindName(TokenKind kind) {
    switch (kind) {
        case TokenKind::Word:
            return "word";
        case TokenKind::QuotedName:
            return "name";
        case TokenKind::String:
            return "string";
        case TokenKind::DollarString:
            return "dollar";
        case TokenKind::Number:
            return "number";
        case TokenKind::Param:
            return "param";
        case TokenKind::Operator:
            return "op";
        case TokenKind::Open:
            return "open";
        case TokenKind::Close:
            return "close";
        case TokenKind::Comma:
            return "comma";
        case TokenKind::Semicolon:
            return "semicolon";
        case TokenKind::LineComment:
            return "line";
        case TokenKind::BlockComment:
            return "block";
        case TokenKind::CopyData:
            return "data";
        case TokenKind::Other:
            return "other";
    }
    return "?";
}

const TokenCase kCases[] = {
    {"a doubled quote stays inside", "'it''s' x", {"string:'it''s'", "word:x"}},
    {"E'…' honours backslashes", "E'it\\'s' x", {"string:E'it\\'s'", "word:x"}},
    {"a backslash in a plain string escapes nothing", "'a\\' x", {"string:'a\\'", "word:x"}},
    {"an E inside a word is no prefix", "tE'a'", {"word:tE", "string:'a'"}},
    {"a quoted name with a doubled quote",
     "\"a\"\"b\".c",
     {"name:\"a\"\"b\"", "other:.", "word:c"}},
    {"a dollar quote with a tag, and $$ inside it",
     "$fn$ select $$ x $fn$ y",
     {"dollar:$fn$ select $$ x $fn$", "word:y"}},
    {"$1 is a parameter", "$1 + $$a$$", {"param:$1", "op:+", "dollar:$$a$$"}},
    {"a $ inside a name", "a$b", {"word:a$b"}},
    {"-- runs to the line end, its trailing spaces left out",
     "a -- c d  \r\nb",
     {"word:a", "line:-- c d", "word:b"}},
    {"block comments nest", "/* a /* b */ c */ d", {"block:/* a /* b */ c */", "word:d"}},
    {"an operator stops before a comment", "a<>--c\nb", {"word:a", "op:<>", "line:--c", "word:b"}},
    {"numbers with a fraction and an exponent",
     "1.5e-3 .5 a.b",
     {"number:1.5e-3", "number:.5", "word:a", "other:.", "word:b"}},
    {"punctuation",
     "f(a, b);",
     {"word:f", "open:(", "word:a", "comma:,", "word:b", "close:)", "semicolon:;"}},
    {"an unterminated literal runs to the end", "'abc", {"string:'abc"}},
    {"COPY … FROM stdin data up to \\.",
     "copy t from stdin;\n1\tselect\n\\.\nselect 1",
     {"word:copy", "word:t", "word:from", "word:stdin", "semicolon:;", "data:1\tselect\n\\.",
      "word:select", "number:1"}},
    {"COPY from a file has no data",
     "copy t from 'f';\nselect 1",
     {"word:copy", "word:t", "word:from", "string:'f'", "semicolon:;", "word:select", "number:1"}},
};

TEST(sql_tokens_test, literals_names_comments_and_punctuation) {
    for (const TokenCase& c : kCases) {
        SCOPED_TRACE(c.name);
        const std::string_view text = c.text;
        std::vector<std::string> got;
        for (const Token& t : tokenize(text)) {
            got.push_back(kindName(t.kind) + ":" +
                          std::string(text.substr(t.begin, t.end - t.begin)));
        }
        EXPECT_EQ(got, c.tokens);
    }
}

// The one-line form that --as-written judges a file's own layout against.
TEST(sql_tokens_test, one_line_keeps_literals_and_ends_line_comments) {
    EXPECT_EQ(oneLine("select\n    a,\tb -- first\n  from t\n"), "select a, b -- first\nfrom t");
    EXPECT_EQ(oneLine("select 'a\n  b' ,c"), "select 'a\n  b' ,c");
    EXPECT_EQ(oneLine("f( x )"), "f( x )");
    EXPECT_EQ(oneLine("select a\n  -- the source\nfrom t /* x */"),
              "select a\n-- the source\nfrom t /* x */");
}

}  // namespace
}  // namespace pellomar::layout_check
