#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>

namespace pellomar {

// The one lexer both layouts share. It knows just enough of SQL to tell what must never be laid
// out (literals, quoted names, comments, dollar-quoted bodies, COPY data) and where the structure
// lies (parentheses, statement ends); it is no grammar, and it refuses nothing: any text cuts
// into tokens.
enum class TokenKind : std::uint8_t {
    Space,         // spaces and TABs
    LineBreak,     // one CR
    Word,          // letters, digits, _ and $, and code units above 0x7F that are no space
    String,        // '...', E'...' (the E included)
    QuotedName,    // "..."
    DollarString,  // $tag$...$tag$
    LineComment,   // -- up to the CR or LF that ends it
    BlockComment,  // /* ... */, no nesting
    CopyData,      // what follows COPY ... FROM stdin; up to and including the \. line
    Open,          // (
    Close,         // )
    OpenBracket,   // [
    CloseBracket,  // ]
    Comma,
    Semicolon,
    Dot,
    Operator,  // a run of + - * / < > = ~ ! @ # % ^ & | ? : that opens no comment
    Other,     // any other code unit, a lone LF among them
};

struct Token {
    std::size_t begin = 0;
    std::size_t end = 0;
    TokenKind kind = TokenKind::Other;
    // Literals and comments: how many code units open it before its inside starts (' is 1, E' 2,
    // $tag$ its length), and whether its closer was found before the text ended.
    std::uint8_t openerLength = 0;
    bool closed = true;

    std::size_t size() const { return end - begin; }
};

// True for the token kinds whose inside is the user's text, not layout.
bool isContentToken(TokenKind kind);
// Whether the token reads `lower`, ASCII letters compared without case: the words the structure
// hangs on (select, case, between, ...) are ASCII, and so found alike under every locale.
bool tokenIs(std::u16string_view text, const Token& token, std::string_view lower);
// A code unit that can be part of a word: a keyword is never matched inside a run of them.
bool isWordUnit(char16_t unit);

class SqlLexer {
  public:
    // text: line breaks already single CRs. Reading starts at `from`, which must be where a
    // token starts, at the start of a statement: COPY data is only recognised after the
    // statement the lexer has read itself.
    explicit SqlLexer(std::u16string_view text, std::size_t from = 0);

    // The next token; false at the end of the text.
    bool next(Token& token);

  private:
    void lexDollarOrWord(Token& token);
    void lexQuoted(Token& token, char16_t quote, bool backslashEscapes);
    void noteStatement(const Token& token);

    std::u16string_view text_;
    std::size_t at_;
    // What the statement read so far says about COPY ... FROM stdin.
    bool statementStarted_ = false;
    bool statementIsCopy_ = false;
    bool afterFrom_ = false;
    bool fromStdin_ = false;
    bool dataNext_ = false;
    int depth_ = 0;
};

}  // namespace pellomar
