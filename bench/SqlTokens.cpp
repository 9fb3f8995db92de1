#include "SqlTokens.h"

namespace pellomar::layout_check {

namespace {

constexpr bool isAsciiLetter(char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
}
constexpr bool isDigit(char c) {
    return c >= '0' && c <= '9';
}
// Every byte of a multi-byte UTF-8 character counts as a letter: names may hold any of them.
constexpr bool isWordStart(char c) {
    return isAsciiLetter(c) || c == '_' || static_cast<unsigned char>(c) >= 0x80;
}
constexpr bool isWordPart(char c) {
    return isWordStart(c) || isDigit(c) || c == '$';
}
constexpr bool isOperatorChar(char c) {
    return std::string_view("+-*/<>=~!@#%^&|?:").find(c) != std::string_view::npos;
}

bool equalsLower(std::string_view word, std::string_view lower) {
    if (word.size() != lower.size()) return false;
    for (std::size_t i = 0; i < word.size(); ++i) {
        char c = word[i];
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
        if (c != lower[i]) return false;
    }
    return true;
}

class Lexer {
  public:
    explicit Lexer(std::string_view text) : s_(text) {}

    std::vector<Token> run() {
        while (true) {
            while (p_ < s_.size() && isLayoutSpace(s_[p_])) ++p_;
            if (p_ >= s_.size()) break;
            const std::size_t begin = p_;
            const TokenKind kind = next();
            out_.push_back({kind, begin, p_});
            noteStatement(out_.back());
        }
        return std::move(out_);
    }

  private:
    char at(std::size_t i) const { return i < s_.size() ? s_[i] : '\0'; }

    TokenKind next() {
        const char c = s_[p_];
        if (c == '-' && at(p_ + 1) == '-') return lineComment();
        if (c == '/' && at(p_ + 1) == '*') return blockComment();
        if (c == '\'') return quoted('\'', false, TokenKind::String);
        if (c == '"') return quoted('"', false, TokenKind::QuotedName);
        if (c == '`') return quoted('`', false, TokenKind::QuotedName);
        if (c == '$') return dollar();
        if (isDigit(c) || (c == '.' && isDigit(at(p_ + 1)))) return number();
        if (isWordStart(c)) return word();
        ++p_;
        switch (c) {
            case '(':
            case '[':
                return TokenKind::Open;
            case ')':
            case ']':
                return TokenKind::Close;
            case ',':
                return TokenKind::Comma;
            case ';':
                return TokenKind::Semicolon;
            default:
                break;
        }
        if (!isOperatorChar(c)) return TokenKind::Other;
        // An operator never holds the start of a comment.
        while (p_ < s_.size() && isOperatorChar(s_[p_]) && !(s_[p_] == '-' && at(p_ + 1) == '-') &&
               !(s_[p_] == '/' && at(p_ + 1) == '*')) {
            ++p_;
        }
        return TokenKind::Operator;
    }

    // The spaces at the comment's end are not part of it: a layout may trim a line's end.
    TokenKind lineComment() {
        while (p_ < s_.size() && s_[p_] != '\n' && s_[p_] != '\r') ++p_;
        while (s_[p_ - 1] == ' ' || s_[p_ - 1] == '\t') --p_;
        return TokenKind::LineComment;
    }

    TokenKind blockComment() {
        int depth = 0;
        while (p_ < s_.size()) {
            if (s_[p_] == '/' && at(p_ + 1) == '*') {
                ++depth;
                p_ += 2;
            } else if (s_[p_] == '*' && at(p_ + 1) == '/') {
                p_ += 2;
                if (--depth == 0) break;
            } else {
                ++p_;
            }
        }
        return TokenKind::BlockComment;
    }

    // From the opening quote at p_; a doubled quote stands for one, and with backslashes on a
    // backslash takes the next character with it.
    TokenKind quoted(char quote, bool backslashes, TokenKind kind) {
        ++p_;
        while (p_ < s_.size()) {
            const char c = s_[p_];
            if (backslashes && c == '\\') {
                p_ += 2;
            } else if (c == quote) {
                ++p_;
                if (at(p_) != quote) break;
                ++p_;
            } else {
                ++p_;
            }
        }
        if (p_ > s_.size()) p_ = s_.size();
        return kind;
    }

    TokenKind dollar() {
        if (isDigit(at(p_ + 1))) {
            ++p_;
            while (isDigit(at(p_))) ++p_;
            return TokenKind::Param;
        }
        std::size_t q = p_ + 1;
        if (isWordStart(at(q))) {
            while (q < s_.size() && isWordPart(s_[q]) && s_[q] != '$') ++q;
        }
        if (at(q) != '$') {
            ++p_;
            return TokenKind::Other;
        }
        const std::string_view tag = s_.substr(p_, q + 1 - p_);
        const std::size_t close = s_.find(tag, q + 1);
        p_ = close == std::string_view::npos ? s_.size() : close + tag.size();
        return TokenKind::DollarString;
    }

    TokenKind number() {
        while (isDigit(at(p_))) ++p_;
        if (at(p_) == '.' && at(p_ + 1) != '.') {
            ++p_;
            while (isDigit(at(p_))) ++p_;
        }
        if ((at(p_) == 'e' || at(p_) == 'E') &&
            (isDigit(at(p_ + 1)) ||
             ((at(p_ + 1) == '+' || at(p_ + 1) == '-') && isDigit(at(p_ + 2))))) {
            p_ += 2;
            while (isDigit(at(p_))) ++p_;
        }
        return TokenKind::Number;
    }

    TokenKind word() {
        const std::size_t begin = p_;
        while (p_ < s_.size() && isWordPart(s_[p_])) ++p_;
        // E'…' is one literal when the E stands alone right before the quote.
        if (p_ == begin + 1 && (s_[begin] == 'e' || s_[begin] == 'E') && at(p_) == '\'') {
            return quoted('\'', true, TokenKind::String);
        }
        return TokenKind::Word;
    }

    // COPY … FROM stdin: the rows after the statement's line are data, up to the line "\.".
    void noteStatement(const Token& t) {
        const std::string_view text = s_.substr(t.begin, t.end - t.begin);
        if (t.kind == TokenKind::Semicolon) {
            const bool data = copyStdin_;
            statementWords_ = 0;
            copyFirst_ = copyStdin_ = lastWasFrom_ = false;
            if (data) copyData();
            return;
        }
        if (t.kind != TokenKind::Word) {
            lastWasFrom_ = false;
            return;
        }
        if (statementWords_++ == 0) copyFirst_ = equalsLower(text, "copy");
        if (copyFirst_ && lastWasFrom_ && equalsLower(text, "stdin")) copyStdin_ = true;
        lastWasFrom_ = equalsLower(text, "from");
    }

    void copyData() {
        std::size_t q = p_;
        while (q < s_.size() && (s_[q] == ' ' || s_[q] == '\t' || s_[q] == '\r')) ++q;
        if (q >= s_.size() || s_[q] != '\n') return;
        const std::size_t begin = q + 1;
        std::size_t line = begin;
        std::size_t end = s_.size();
        while (line < s_.size()) {
            std::size_t eol = s_.find('\n', line);
            if (eol == std::string_view::npos) eol = s_.size();
            std::string_view row = s_.substr(line, eol - line);
            if (!row.empty() && row.back() == '\r') row.remove_suffix(1);
            if (row == "\\.") {
                end = line + 2;
                break;
            }
            line = eol + 1;
        }
        if (end <= begin) return;
        out_.push_back({TokenKind::CopyData, begin, end});
        p_ = end;
    }

    std::string_view s_;
    std::size_t p_ = 0;
    std::vector<Token> out_;
    int statementWords_ = 0;
    bool copyFirst_ = false;
    bool copyStdin_ = false;
    bool lastWasFrom_ = false;
};

}  // namespace

bool isVerbatim(TokenKind kind) {
    switch (kind) {
        case TokenKind::QuotedName:
        case TokenKind::String:
        case TokenKind::DollarString:
        case TokenKind::LineComment:
        case TokenKind::BlockComment:
        case TokenKind::CopyData:
            return true;
        default:
            return false;
    }
}

bool isComment(TokenKind kind) {
    return kind == TokenKind::LineComment || kind == TokenKind::BlockComment;
}

std::vector<Token> tokenize(std::string_view text) {
    return Lexer(text).run();
}

std::string oneLine(std::string_view text) {
    std::string out;
    const std::vector<Token> tokens = tokenize(text);
    for (std::size_t i = 0; i < tokens.size(); ++i) {
        const bool brokenBefore =
            i > 0 &&
            text.substr(tokens[i - 1].end, tokens[i].begin - tokens[i - 1].end).find('\n') !=
                std::string_view::npos;
        if (i > 0 && (tokens[i - 1].kind == TokenKind::LineComment ||
                      (isComment(tokens[i].kind) && brokenBefore))) {
            out += '\n';
        } else if (i > 0 && tokens[i].begin > tokens[i - 1].end) {
            out += ' ';
        }
        out += text.substr(tokens[i].begin, tokens[i].end - tokens[i].begin);
    }
    return out;
}

}  // namespace pellomar::layout_check
