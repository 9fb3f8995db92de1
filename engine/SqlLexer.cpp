#include "SqlLexer.h"

namespace pellomar {

namespace {

constexpr char16_t kCrUnit = u'\r';
constexpr char16_t kLfUnit = u'\n';

bool isAsciiLetter(char16_t c) {
    return (c >= u'a' && c <= u'z') || (c >= u'A' && c <= u'Z');
}

bool isDigit(char16_t c) {
    return c >= u'0' && c <= u'9';
}

// Spaces outside ASCII: a keyword next to one stands between delimiters, as next to a space.
bool isWideSpace(char16_t c) {
    return c <= 0xA0 || c == 0x1680 || (c >= 0x2000 && c <= 0x200B) || c == 0x2028 || c == 0x2029 ||
           c == 0x202F || c == 0x205F || c == 0x3000 || c == 0xFEFF;
}

bool isOperatorUnit(char16_t c) {
    switch (c) {
        case u'+':
        case u'-':
        case u'*':
        case u'/':
        case u'<':
        case u'>':
        case u'=':
        case u'~':
        case u'!':
        case u'@':
        case u'#':
        case u'%':
        case u'^':
        case u'&':
        case u'|':
        case u'?':
        case u':':
            return true;
        default:
            return false;
    }
}

// A dollar quote's tag: a letter or _, then letters, digits or _ (no $, which ends it).
bool isTagStart(char16_t c) {
    return isAsciiLetter(c) || c == u'_' || (c >= 0x80 && isWordUnit(c));
}
bool isTagUnit(char16_t c) {
    return isTagStart(c) || isDigit(c);
}

bool opensComment(std::u16string_view text, std::size_t at) {
    return at + 1 < text.size() && ((text[at] == u'-' && text[at + 1] == u'-') ||
                                    (text[at] == u'/' && text[at + 1] == u'*'));
}

bool isLineEnd(char16_t c) {
    return c == kCrUnit || c == kLfUnit;
}

}  // namespace

bool isContentToken(TokenKind kind) {
    switch (kind) {
        case TokenKind::String:
        case TokenKind::QuotedName:
        case TokenKind::DollarString:
        case TokenKind::LineComment:
        case TokenKind::BlockComment:
        case TokenKind::CopyData:
            return true;
        default:
            return false;
    }
}

bool tokenIs(std::u16string_view text, const Token& token, std::string_view lower) {
    if (token.size() != lower.size()) return false;
    for (std::size_t i = 0; i < lower.size(); ++i) {
        char16_t c = text[token.begin + i];
        if (c >= u'A' && c <= u'Z') c = static_cast<char16_t>(c - u'A' + u'a');
        if (c != static_cast<char16_t>(lower[i])) return false;
    }
    return true;
}

bool isWordUnit(char16_t c) {
    if (c < 0x80) return isAsciiLetter(c) || isDigit(c) || c == u'_' || c == u'$';
    return !isWideSpace(c);
}

SqlLexer::SqlLexer(std::u16string_view text, std::size_t from) : text_(text), at_(from) {}

bool SqlLexer::next(Token& token) {
    const std::size_t n = text_.size();
    if (at_ >= n) return false;
    token = Token();
    token.begin = at_;
    if (dataNext_) {
        // The data starts right behind the ;, so that nothing can split the ; from its rows, and
        // ends with the line that is exactly \. (or with the text).
        dataNext_ = false;
        token.kind = TokenKind::CopyData;
        std::size_t lineEnd = at_;
        while (lineEnd < n && !isLineEnd(text_[lineEnd])) ++lineEnd;
        token.end = n;
        while (lineEnd < n) {
            const std::size_t line = lineEnd + 1;
            if (line + 1 < n && text_[line] == u'\\' && text_[line + 1] == u'.' &&
                (line + 2 == n || isLineEnd(text_[line + 2]))) {
                token.end = line + 2;
                break;
            }
            lineEnd = line;
            while (lineEnd < n && !isLineEnd(text_[lineEnd])) ++lineEnd;
        }
        at_ = token.end;
        return true;
    }

    const char16_t c = text_[at_];
    const char16_t behind = at_ + 1 < n ? text_[at_ + 1] : u'\0';
    if (c == u' ' || c == u'\t') {
        token.kind = TokenKind::Space;
        while (at_ < n && (text_[at_] == u' ' || text_[at_] == u'\t')) ++at_;
        token.end = at_;
        return true;
    }
    if (c == kCrUnit) {
        token.kind = TokenKind::LineBreak;
        token.end = ++at_;
        return true;
    }
    if (c == u'\'') {
        lexQuoted(token, u'\'', false);
    } else if (c == u'"') {
        lexQuoted(token, u'"', false);
    } else if ((c == u'E' || c == u'e') && behind == u'\'') {
        // A lone E right before the quote makes backslashes escapes: E'it\'s' is one literal.
        lexQuoted(token, u'\'', true);
    } else if (c == u'-' && behind == u'-') {
        token.kind = TokenKind::LineComment;
        token.openerLength = 1;
        std::size_t j = at_ + 2;
        while (j < n && !isLineEnd(text_[j])) ++j;
        token.end = j;
    } else if (c == u'/' && behind == u'*') {
        token.kind = TokenKind::BlockComment;
        token.openerLength = 1;
        const std::size_t close = text_.find(u"*/", at_ + 2);
        token.closed = close != std::u16string_view::npos;
        token.end = token.closed ? close + 2 : n;
    } else if (isWordUnit(c)) {
        lexDollarOrWord(token);
    } else if (isOperatorUnit(c)) {
        token.kind = TokenKind::Operator;
        std::size_t j = at_ + 1;
        while (j < n && isOperatorUnit(text_[j]) && !opensComment(text_, j)) ++j;
        token.end = j;
    } else {
        switch (c) {
            case u'(':
                token.kind = TokenKind::Open;
                break;
            case u')':
                token.kind = TokenKind::Close;
                break;
            case u'[':
                token.kind = TokenKind::OpenBracket;
                break;
            case u']':
                token.kind = TokenKind::CloseBracket;
                break;
            case u',':
                token.kind = TokenKind::Comma;
                break;
            case u';':
                token.kind = TokenKind::Semicolon;
                break;
            case u'.':
                token.kind = TokenKind::Dot;
                break;
            default:
                token.kind = TokenKind::Other;
                break;
        }
        token.end = at_ + 1;
    }
    at_ = token.end;
    noteStatement(token);
    return true;
}

void SqlLexer::lexDollarOrWord(Token& token) {
    const std::size_t n = text_.size();
    if (text_[at_] == u'$') {
        // $$ or $tag$ opens a dollar quote; $1 is a parameter. Inside a word a $ is the word's
        // own (a$$b), which this place never is: a word runs on over it.
        std::size_t j = at_ + 1;
        if (j < n && isTagStart(text_[j])) {
            while (j < n && isTagUnit(text_[j])) ++j;
        }
        if (j < n && text_[j] == u'$') {
            const std::u16string_view delimiter = text_.substr(at_, j + 1 - at_);
            token.kind = TokenKind::DollarString;
            token.openerLength = 1;
            const std::size_t close = text_.find(delimiter, j + 1);
            token.closed = close != std::u16string_view::npos;
            token.end = token.closed ? close + delimiter.size() : n;
            return;
        }
    }
    token.kind = TokenKind::Word;
    std::size_t j = at_;
    while (j < n && isWordUnit(text_[j])) ++j;
    token.end = j;
}

void SqlLexer::lexQuoted(Token& token, char16_t quote, bool backslashEscapes) {
    const std::size_t n = text_.size();
    token.kind = quote == u'"' ? TokenKind::QuotedName : TokenKind::String;
    token.openerLength = backslashEscapes ? 2 : 1;
    std::size_t j = at_ + token.openerLength;
    token.closed = false;
    token.end = n;
    while (j < n) {
        const char16_t c = text_[j];
        if (backslashEscapes && c == u'\\') {
            j += 2;
        } else if (c == quote) {
            if (j + 1 < n && text_[j + 1] == quote) {
                j += 2;  // a doubled quote is part of the literal
                continue;
            }
            token.closed = true;
            token.end = j + 1;
            return;
        } else {
            ++j;
        }
    }
}

void SqlLexer::noteStatement(const Token& token) {
    switch (token.kind) {
        case TokenKind::Space:
        case TokenKind::LineBreak:
        case TokenKind::LineComment:
        case TokenKind::BlockComment:
            return;
        default:
            break;
    }
    if (token.kind == TokenKind::Semicolon) {
        dataNext_ = statementIsCopy_ && fromStdin_;
        statementStarted_ = statementIsCopy_ = afterFrom_ = fromStdin_ = false;
        depth_ = 0;
        return;
    }
    if (!statementStarted_) {
        statementStarted_ = true;
        statementIsCopy_ = token.kind == TokenKind::Word && tokenIs(text_, token, "copy");
    }
    if (token.kind == TokenKind::Open) ++depth_;
    if (token.kind == TokenKind::Close && depth_ > 0) --depth_;
    const bool word = token.kind == TokenKind::Word && depth_ == 0;
    if (word && afterFrom_ && tokenIs(text_, token, "stdin")) fromStdin_ = true;
    afterFrom_ = word && tokenIs(text_, token, "from");
}

}  // namespace pellomar
