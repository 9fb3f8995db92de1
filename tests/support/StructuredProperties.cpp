#include "StructuredProperties.h"

#include <algorithm>
#include <cstdint>
#include <vector>

#include "SqlLexer.h"
#include "Support.h"

namespace pellomar::testing_support {

namespace {

// Spaces, TABs and line breaks: all a layout may move.
bool isSpacing(char16_t c) {
    return c == u' ' || c == u'\t' || c == u'\r';
}

bool isLineEnd(char16_t c) {
    return c == u'\r' || c == u'\n';
}

bool isOperatorUnit(char16_t c) {
    return std::u16string_view(u"+-*/<>=~!@#%^&|?:").find(c) != std::u16string_view::npos;
}

bool isAsciiLetter(char16_t c) {
    return (c >= u'a' && c <= u'z') || (c >= u'A' && c <= u'Z');
}

// A dollar quote's tag starts with a letter or _ and goes on with letters, digits or _; a $
// ends it, so that $1 stays a parameter.
bool isTagStart(char16_t c) {
    return isAsciiLetter(c) || c == u'_' || (c >= 0x80 && isWordUnit(c));
}
bool isTagUnit(char16_t c) {
    return isTagStart(c) || (c >= u'0' && c <= u'9');
}

enum class Kind : std::uint8_t {
    Word,
    String,
    QuotedName,
    DollarString,
    LineComment,
    BlockComment,
    CopyData,
    Operator,
    Single,  // ( ) [ ] , ; . and any other single code unit, a lone LF among them
};

bool isContent(Kind kind) {
    return kind != Kind::Word && kind != Kind::Operator && kind != Kind::Single;
}

const char* nameOf(Kind kind) {
    switch (kind) {
        case Kind::Word:
            return "word";
        case Kind::String:
            return "string literal";
        case Kind::QuotedName:
            return "quoted name";
        case Kind::DollarString:
            return "dollar-quoted string";
        case Kind::LineComment:
            return "-- comment";
        case Kind::BlockComment:
            return "/* */ comment";
        case Kind::CopyData:
            return "COPY data";
        case Kind::Operator:
            return "operator";
        case Kind::Single:
            return "punctuation";
    }
    return "token";
}

struct Piece {
    std::size_t begin = 0;
    std::size_t end = 0;
    Kind kind = Kind::Single;
};

bool equalsLower(std::u16string_view text, const Piece& piece, std::u16string_view lower) {
    if (piece.end - piece.begin != lower.size()) return false;
    for (std::size_t i = 0; i < lower.size(); ++i) {
        char16_t c = text[piece.begin + i];
        if (c >= u'A' && c <= u'Z') c = static_cast<char16_t>(c + (u'a' - u'A'));
        if (c != lower[i]) return false;
    }
    return true;
}

// Cuts a text (single CRs) into its tokens, leaving out the spacing between them. The rules:
// '...' with '' inside; E'...' (E standing alone) where a backslash also escapes; "..." with ""
// inside; $tag$...$tag$ and $$...$$; -- up to the next CR or LF; /* up to the next */, no
// nesting; a word is a run of word units; an operator a run of operator characters that opens
// no comment; after the ; of a statement that starts with COPY and says FROM STDIN outside
// parentheses, everything up to and including the next line that is exactly \. is data.
// Anything unclosed runs to the end of the text.
class Cutter {
  public:
    explicit Cutter(std::u16string_view text) : t_(text) {}

    std::vector<Piece> cut() {
        std::vector<Piece> pieces;
        const std::size_t n = t_.size();
        std::size_t i = 0;
        while (i < n) {
            Piece piece;
            piece.begin = i;
            if (dataNext_) {
                dataNext_ = false;
                piece.kind = Kind::CopyData;
                piece.end = copyDataEnd(i);
            } else if (isSpacing(t_[i])) {
                ++i;
                continue;
            } else {
                cutOne(piece);
                noteStatement(piece);
            }
            i = piece.end;
            pieces.push_back(piece);
        }
        return pieces;
    }

  private:
    char16_t at(std::size_t i) const { return i < t_.size() ? t_[i] : u'\0'; }

    void cutOne(Piece& piece) {
        const std::size_t i = piece.begin;
        const std::size_t n = t_.size();
        const char16_t c = t_[i];
        if (c == u'\'') {
            piece.kind = Kind::String;
            piece.end = quotedEnd(i + 1, u'\'', false);
        } else if (c == u'"') {
            piece.kind = Kind::QuotedName;
            piece.end = quotedEnd(i + 1, u'"', false);
        } else if ((c == u'E' || c == u'e') && at(i + 1) == u'\'') {
            piece.kind = Kind::String;
            piece.end = quotedEnd(i + 2, u'\'', true);
        } else if (c == u'-' && at(i + 1) == u'-') {
            piece.kind = Kind::LineComment;
            std::size_t j = i + 2;
            while (j < n && !isLineEnd(t_[j])) ++j;
            piece.end = j;
        } else if (c == u'/' && at(i + 1) == u'*') {
            piece.kind = Kind::BlockComment;
            const std::size_t close = t_.find(u"*/", i + 2);
            piece.end = close == std::u16string_view::npos ? n : close + 2;
        } else if (c == u'$' && dollarTagEnd(i) != 0) {
            const std::size_t tagEnd = dollarTagEnd(i);
            piece.kind = Kind::DollarString;
            const std::size_t close = t_.find(t_.substr(i, tagEnd - i), tagEnd);
            piece.end = close == std::u16string_view::npos ? n : close + (tagEnd - i);
        } else if (isWordUnit(c)) {
            piece.kind = Kind::Word;
            std::size_t j = i;
            while (j < n && isWordUnit(t_[j])) ++j;
            piece.end = j;
        } else if (isOperatorUnit(c)) {
            piece.kind = Kind::Operator;
            std::size_t j = i + 1;
            while (
                j < n && isOperatorUnit(t_[j]) &&
                !((t_[j] == u'-' && at(j + 1) == u'-') || (t_[j] == u'/' && at(j + 1) == u'*'))) {
                ++j;
            }
            piece.end = j;
        } else {
            piece.kind = Kind::Single;
            piece.end = i + 1;
        }
    }

    // Just past the $tag$ that opens a dollar quote at i, or 0 when none opens there.
    std::size_t dollarTagEnd(std::size_t i) const {
        std::size_t j = i + 1;
        if (isTagStart(at(j))) {
            while (isTagUnit(at(j))) ++j;
        }
        return at(j) == u'$' ? j + 1 : 0;
    }

    std::size_t quotedEnd(std::size_t from, char16_t quote, bool backslash) const {
        const std::size_t n = t_.size();
        std::size_t j = from;
        while (j < n) {
            if (backslash && t_[j] == u'\\') {
                j += 2;
            } else if (t_[j] == quote) {
                if (at(j + 1) != quote) return j + 1;
                j += 2;
            } else {
                ++j;
            }
        }
        return n;
    }

    std::size_t copyDataEnd(std::size_t from) const {
        const std::size_t n = t_.size();
        std::size_t j = from;
        while (j < n && !isLineEnd(t_[j])) ++j;  // the rest of the ;'s own line
        while (j < n) {
            const std::size_t line = j + 1;
            if (at(line) == u'\\' && at(line + 1) == u'.' &&
                (line + 2 == n || isLineEnd(at(line + 2)))) {
                return line + 2;
            }
            j = line;
            while (j < n && !isLineEnd(t_[j])) ++j;
        }
        return n;
    }

    void noteStatement(const Piece& piece) {
        if (piece.kind == Kind::LineComment || piece.kind == Kind::BlockComment) return;
        if (piece.kind == Kind::Single && t_[piece.begin] == u';') {
            dataNext_ = copy_ && fromStdin_;
            started_ = copy_ = afterFrom_ = fromStdin_ = false;
            depth_ = 0;
            return;
        }
        if (!started_) {
            started_ = true;
            copy_ = piece.kind == Kind::Word && equalsLower(t_, piece, u"copy");
        }
        if (piece.kind == Kind::Single && t_[piece.begin] == u'(') ++depth_;
        if (piece.kind == Kind::Single && t_[piece.begin] == u')' && depth_ > 0) --depth_;
        const bool word = piece.kind == Kind::Word && depth_ == 0;
        if (word && afterFrom_ && equalsLower(t_, piece, u"stdin")) fromStdin_ = true;
        afterFrom_ = word && equalsLower(t_, piece, u"from");
    }

    std::u16string_view t_;
    bool dataNext_ = false;
    bool started_ = false;
    bool copy_ = false;
    bool afterFrom_ = false;
    bool fromStdin_ = false;
    int depth_ = 0;
};

std::u16string singleCrs(std::u16string_view text) {
    std::u16string out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        out.push_back(text[i]);
        if (text[i] == u'\r' && i + 1 < text.size() && text[i + 1] == u'\n') ++i;
    }
    return out;
}

// «line:column (unit n) "...text around..."», the place marked with ‸, for failure messages.
std::string place(std::u16string_view text, std::size_t at) {
    constexpr std::size_t kAround = 30;
    at = std::min(at, text.size());
    const std::size_t line =
        1 + static_cast<std::size_t>(
                std::count(text.begin(), text.begin() + static_cast<std::ptrdiff_t>(at), u'\r'));
    const std::size_t lineStart = at == 0 ? 0 : text.find_last_of(u'\r', at - 1);
    const std::size_t column = lineStart == std::u16string_view::npos ? at + 1 : at - lineStart;
    const std::size_t from = at > kAround ? at - kAround : 0;
    std::u16string around(text.substr(from, at - from));
    around += u'\u2038';
    around += text.substr(at, kAround);
    return std::to_string(line) + ":" + std::to_string(column) + " (unit " + std::to_string(at) +
           ") " + visible(around);
}

std::string violation(const char* what, std::u16string_view in, std::size_t inAt,
                      std::u16string_view out, std::size_t outAt) {
    return std::string(what) + "; input at " + place(in, inAt) + ", output at " + place(out, outAt);
}

// (e) Everything but spaces, TABs and line breaks reads the same, in the same order.
std::string spacingOnlyViolation(std::u16string_view in, std::u16string_view out) {
    std::size_t i = 0;
    std::size_t o = 0;
    for (;;) {
        while (i < in.size() && isSpacing(in[i])) ++i;
        while (o < out.size() && isSpacing(out[o])) ++o;
        if (i == in.size() && o == out.size()) return {};
        if (i == in.size() || o == out.size() || in[i] != out[o]) {
            return violation("something other than spaces, TABs and line breaks changed", in, i,
                             out, o);
        }
        ++i;
        ++o;
    }
}

bool hasLineBreak(std::u16string_view text, std::size_t from, std::size_t to) {
    return text.substr(from, to - from).find(u'\r') != std::u16string_view::npos;
}

}  // namespace

std::string structuredViolation(std::u16string_view input, std::u16string_view output) {
    const std::u16string in = singleCrs(input);
    const std::u16string out = singleCrs(output);
    if (std::string broken = spacingOnlyViolation(in, out); !broken.empty()) return broken;

    const std::vector<Piece> a = Cutter(in).cut();
    const std::vector<Piece> b = Cutter(out).cut();
    const auto textOf = [](std::u16string_view text, const Piece& p) {
        return text.substr(p.begin, p.end - p.begin);
    };
    for (std::size_t k = 0; k < std::max(a.size(), b.size()); ++k) {
        if (k >= a.size() || k >= b.size()) {
            // Same characters but more or fewer tokens: spacing was added inside one or taken
            // from between two.
            const std::size_t inAt = k < a.size() ? a[k].begin : in.size();
            const std::size_t outAt = k < b.size() ? b[k].begin : out.size();
            return violation("the text cuts into a different number of tokens", in, inAt, out,
                             outAt);
        }
        const Piece& p = a[k];
        const Piece& q = b[k];
        if (p.kind == Kind::LineComment && q.kind == p.kind &&
            textOf(out, q).size() > p.end - p.begin &&
            textOf(out, q).substr(0, p.end - p.begin) == textOf(in, p)) {
            return violation("the line break that ends a -- comment was removed", in, p.end, out,
                             q.begin + (p.end - p.begin));
        }
        if (p.kind != q.kind || textOf(in, p) != textOf(out, q)) {
            const std::string what =
                isContent(p.kind) && p.kind == q.kind
                    ? std::string("a ") + nameOf(p.kind) + " changed inside (" +
                          visible(textOf(in, p)) + " became " + visible(textOf(out, q)) + ")"
                    : std::string("a ") + nameOf(p.kind) + " " + visible(textOf(in, p)) +
                          " became a " + nameOf(q.kind) + " " + visible(textOf(out, q)) +
                          ": spacing added inside a token or taken from between two";
            return violation(what.c_str(), in, p.begin, out, q.begin);
        }
        // Between two tokens there is nothing but spacing: any gap is spacing.
        if (k > 0 && a[k - 1].end < p.begin && b[k - 1].end == q.begin) {
            return violation("the spacing between two tokens was taken away", in, p.begin, out,
                             q.begin);
        }
    }
    // (d) The line break behind a -- comment ends it: without it, what follows is comment too.
    for (std::size_t k = 0; k < a.size(); ++k) {
        if (a[k].kind != Kind::LineComment || a[k].end >= in.size() || in[a[k].end] != u'\r') {
            continue;
        }
        const std::size_t inNext = k + 1 < a.size() ? a[k + 1].begin : in.size();
        const std::size_t outNext = k + 1 < b.size() ? b[k + 1].begin : out.size();
        if (hasLineBreak(in, a[k].end, inNext) && !hasLineBreak(out, b[k].end, outNext)) {
            return violation("the line break that ends a -- comment was removed", in, a[k].end, out,
                             b[k].end);
        }
    }
    return {};
}

}  // namespace pellomar::testing_support
