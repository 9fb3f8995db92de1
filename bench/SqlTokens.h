#pragma once

// A small SQL tokenizer of the layout checker's own. The checker judges any layout the engine
// makes, so it must not share the engine's lexer: a fault in that lexer would otherwise hide
// itself in both.

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace pellomar::layout_check {

enum class TokenKind {
    Word,          // names and keywords, letters digits _ $ and every non-ASCII byte
    QuotedName,    // "…" with "" inside, or `…`
    String,        // '…' with '' inside; E'…' with backslash escapes as well
    DollarString,  // $$…$$ or $tag$…$tag$
    Number,
    Param,  // $1
    Operator,
    Open,   // ( or [
    Close,  // ) or ]
    Comma,
    Semicolon,
    LineComment,   // -- up to the line end, without the spaces before it
    BlockComment,  // /* … */, nested as the server nests them
    CopyData,      // the rows after COPY … FROM stdin; up to and including the line \.
    Other,         // . and anything else of one byte
};

// A token is the bytes [begin, end) of the text it was read from.
struct Token {
    TokenKind kind;
    std::size_t begin;
    std::size_t end;
};

// The whitespace a layout may add, remove or change.
constexpr bool isLayoutSpace(char c) {
    return c == ' ' || c == '\t' || c == '\r' || c == '\n';
}

// Literals, quoted names and comments: what no layout may change inside.
bool isVerbatim(TokenKind kind);
bool isComment(TokenKind kind);

// Every token of a text in order. An unterminated literal or comment runs to the end; nothing is
// refused.
std::vector<Token> tokenize(std::string_view text);

// The text on one line: its tokens with one space where it had whitespace between them, a line
// break after each -- comment, which would otherwise run on into the code after it, and one
// before each comment that started a line, which a layout may not join to the code before.
std::string oneLine(std::string_view text);

}  // namespace pellomar::layout_check
