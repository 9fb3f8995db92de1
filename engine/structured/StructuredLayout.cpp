// The structured pass (StructuredLayout.h). It reads the text once, token by token, and writes
// the layout once, by appending: everything left of the place it has reached is final. What it
// needs to know ahead (is this ( ever closed, does it open a subquery, how wide is its group,
// what kind of statement is this) the outline has found beforehand (SqlOutline.h); the few words
// it must see past a keyword (WITH TIME ZONE, ON CONFLICT) it reads on the spot.
//
// Nesting lives in an explicit stack of contexts, never in recursion, so that no depth of
// parentheses can exhaust the program's stack.
#include "StructuredLayout.h"

#include <algorithm>
#include <initializer_list>
#include <optional>
#include <vector>

#include "Checked.h"
#include "Host.h"
#include "PassSteps.h"
#include "SqlLexer.h"
#include "SqlOutline.h"
#include "StructuredRows.h"

namespace pellomar {

namespace {

// Nesting indents no deeper than this: deeper blocks and groups are laid out at this level, so
// that the text written stays in proportion to the text read.
constexpr std::int32_t kDeepestNesting = 40;
constexpr std::int32_t kDeepestLevel = 8191;  // 4 × level must fit 16 bits
constexpr std::size_t kNoPosition = static_cast<std::size_t>(-1);
constexpr char16_t kByteOrderMark = u'\uFEFF';

bool isComment(const Token& token) {
    return token.kind == TokenKind::LineComment || token.kind == TokenKind::BlockComment;
}

bool isSpacing(char16_t c) {
    return c == u' ' || c == u'\t' || c == u'\r';
}

// Where the pass writes: the text itself, or, for a text that might not fit 32-bit positions,
// only its length, so that such a text fails before the memory for it is spent.
class Sink {
  public:
    explicit Sink(std::u16string* text) : text_(text) {}

    void append(std::u16string_view s) {
        length_ += static_cast<std::int64_t>(s.size());
        if (text_ != nullptr) text_->append(s);
    }
    void spaces(std::size_t count) {
        length_ += static_cast<std::int64_t>(count);
        if (text_ != nullptr) text_->append(count, u' ');
    }
    void lineBreak() {
        ++length_;
        if (text_ != nullptr) text_->push_back(u'\r');
    }
    std::int64_t length() const { return length_; }

  private:
    std::u16string* text_;
    std::int64_t length_ = 0;
};

struct Context {
    enum class Kind : std::uint8_t { Statement, Block, Group, LongGroup, Case, Unclosed };
    Kind kind = Kind::Statement;
    // Clause level: the rows break here (inside CASE only its own words).
    bool rowsBreak = false;
    bool commasBreak = false;   // a long group, or a wide statement that breaks nowhere else
    bool andOrBreak = false;    // a long group
    bool bracket = false;       // opened by [ rather than (
    bool betweenOpen = false;   // a BETWEEN waits for its AND
    bool merge = false;         // a MERGE at this level
    bool mergeClauses = false;  // ... whose WHEN clauses have begun
    std::int32_t base = 0;      // where the rows' levels count from
    std::int32_t openLevel = 0;
    std::int32_t itemLevel = 0;
    // Kept at every push, so that no lookup walks the stack (a text of nothing but CASE or of
    // unclosed parentheses would make every walk as long as the text): the index of the innermost
    // parenthesis at or below this context (0: none), and the level of the line holding the ( of
    // the call or list the text is in, -1 when it is in a block or in none.
    std::size_t parenthesis = 0;
    std::int32_t groupLevel = -1;
};

class Pass {
  public:
    Pass(std::u16string_view text, const KeywordTable& table, const StructuredRows& rows,
         const SqlOutline& outline, Sink& sink)
        : text_(text),
          table_(table),
          rows_(rows),
          outline_(outline),
          sink_(sink),
          lexer_(text),
          lower_(platform::lowerTable()) {}

    void run() {
        advance();
        while (have_) {
            const Token token = token_;
            if (token.begin == 0 && text_[0] == kByteOrderMark) {
                // A byte-order mark pasted with a file's text stays in front of it, on no line
                // of its own.
                sink_.append(text_.substr(0, 1));
                advance();
                continue;
            }
            switch (token.kind) {
                case TokenKind::Space:
                    for (std::size_t i = token.begin; i < token.end; ++i) {
                        gapSpaces_ += text_[i] == u'\t' ? kSpacesPerLevel : 1;
                    }
                    advance();
                    continue;
                case TokenKind::LineBreak:
                    ++gapBreaks_;
                    gapSpaces_ = 0;
                    advance();
                    continue;
                case TokenKind::CopyData:
                    put(token);  // right behind the ;, as it came
                    advance();
                    continue;
                default:
                    break;
            }
            if (isComment(token)) {
                if (inStatement_) {
                    placeInline(token);
                } else {
                    placeBetweenStatements(token);
                }
                advance();
                continue;
            }
            if (token.kind == TokenKind::Semicolon) {
                endStatement(token);
                advance();
                continue;
            }
            if (!inStatement_) startStatement();
            noteQueryPart(token);
            step(token);
        }
        // The author's line breaks at the very end stay: a file that ended with one still does.
        writeBreaks(gapBreaks_);
    }

  private:
    void advance() { have_ = lexer_.next(token_); }

    // One token inside a statement, and the tokens a row there takes with it.
    void step(const Token& token) {
        switch (token.kind) {
            case TokenKind::Open:
            case TokenKind::OpenBracket:
                openGroup(token);
                advance();
                return;
            case TokenKind::Close:
            case TokenKind::CloseBracket:
                closeGroup(token);
                advance();
                return;
            default:
                break;
        }
        Context& top = stack_.back();
        if (top.betweenOpen && tokenIs(text_, token, "and")) {
            // The AND of BETWEEN x AND y belongs to the BETWEEN: it is no condition of its own.
            top.betweenOpen = false;
            placeInline(token);
            notePrevious(token);
            advance();
            return;
        }
        if (tryRow(token)) return;
        if (top.commasBreak && token.kind == TokenKind::Comma) {
            if (startsAuthorLine()) {
                leadLine(top.itemLevel, text_.substr(token.begin, token.size()));
            } else {
                placeInline(token);
                breakDue_ = top.itemLevel;
            }
        } else if (top.andOrBreak && isAnyWord(token, {"and", "or"})) {
            beginLine(top.itemLevel);
            put(token);
            oneSpace_ = true;
        } else {
            placeInline(token);
        }
        noteWord(token);
        advance();
    }

    // --- Rows ---

    // The longest row that matches at the token (among equally long ones the first in the file)
    // lays it out, if the token stands where rows break and nothing says it plays another role
    // here. Returns whether a row took it.
    bool tryRow(const Token& token) {
        const Context& top = stack_.back();
        if (!top.rowsBreak) return false;
        const std::vector<std::uint32_t>& candidates =
            rows_.startingWith(lower_[text_[token.begin]]);
        const StructuredRow* row = nullptr;
        std::size_t end = kNoPosition;
        for (const std::uint32_t at : candidates) {
            end = matchEnd(rows_.row(at), token);
            if (end != kNoPosition) {
                row = &rows_.row(at);
                break;
            }
        }
        if (row == nullptr || playsAnotherRole(*row, end)) return false;

        lastRow_ = row->index;
        const std::int32_t base = top.base;
        const std::int32_t before = base + std::max<std::int32_t>(0, row->indent - 1);
        const std::int32_t after = base + std::max<std::int32_t>(0, row->indent);
        std::u16string keyword;  // as the query wrote it, its inner spacing one space
        for (std::size_t i = token.begin; i < end; ++i) {
            if (!isSpacing(text_[i])) {
                keyword.push_back(text_[i]);
            } else if (keyword.back() != u' ') {
                keyword.push_back(u' ');
            }
        }
        switch (row->kind) {
            case StructuredRow::Kind::Word:
                beginLine(before);
                put(keyword, false);
                breakDue_ = after;
                break;
            case StructuredRow::Kind::Leading:
                beginLine(before);
                put(keyword, false);
                oneSpace_ = true;
                break;
            case StructuredRow::Kind::Symbol:
                if (startsAuthorLine()) {
                    leadLine(after, keyword);
                } else {
                    placeInline(keyword, false);
                    breakDue_ = after;
                }
                break;
        }
        // The keyword's words still open CASE, close it, start BETWEEN, ...
        while (have_ && token_.begin < end) {
            if (token_.kind != TokenKind::Space && token_.kind != TokenKind::LineBreak) {
                noteWord(token_);
            }
            advance();
        }
        gapSpaces_ = gapBreaks_ = 0;
        return true;
    }

    // Where the row's keyword, matched at the token, ends; kNoPosition when it does not match
    // there. A keyword is matched whole tokens at a time, never across a literal, a comment or a
    // parenthesis, and a word never behind a dot (t.from and t. from are columns). Its spaces
    // stand for the edges between tokens, whatever spacing the text has there: two words need
    // one (group by), signs need none (a row for ". ." finds «..» as well as «. .»). So the
    // spaces and line breaks that a layout puts between tokens never change what matches, and a
    // second layout finds the keywords the first one found.
    std::size_t matchEnd(const StructuredRow& row, const Token& token) const {
        if (row.startsWithWordUnit && previous_ && previous_->kind == TokenKind::Dot) {
            return kNoPosition;
        }
        const std::u16string& keyword = row.keyword;
        std::size_t k = 0;
        const auto matchToken = [&](const Token& part) {
            for (std::size_t i = part.begin; i < part.end; ++i, ++k) {
                if (k >= keyword.size() || lower_[text_[i]] != keyword[k]) return false;
            }
            return true;
        };
        if (!matchToken(token)) return kNoPosition;
        bool wordBefore = token.kind == TokenKind::Word;
        std::size_t end = token.end;
        SqlLexer lexer(text_, token.end);
        Token part;
        while (k < keyword.size()) {
            const bool edge = keyword[k] == u' ';
            if (edge) ++k;
            do {
                if (!lexer.next(part)) return kNoPosition;
            } while (part.kind == TokenKind::Space || part.kind == TokenKind::LineBreak);
            switch (part.kind) {
                case TokenKind::Open:
                case TokenKind::Close:
                case TokenKind::OpenBracket:
                case TokenKind::CloseBracket:
                case TokenKind::Semicolon:
                    return kNoPosition;
                default:
                    if (isContentToken(part.kind)) return kNoPosition;
                    break;
            }
            const bool word = part.kind == TokenKind::Word;
            if (wordBefore && word && !edge) return kNoPosition;
            if (!matchToken(part)) return kNoPosition;
            wordBefore = word;
            end = part.end;
        }
        return end;
    }

    // Single words that do not break where they are part of another phrase or clause: inside
    // CASE everything but its own words; WITH TIME ZONE, WITH ORDINALITY, WITH TIES, WITH [NO]
    // DATA, WITH ... CHECK OPTION; ON CONFLICT and DISTINCT ON; IS [NOT] DISTINCT FROM; DO
    // UPDATE SET, FOR UPDATE, FOR NO KEY UPDATE; DEFAULT VALUES; and in a MERGE, once its first
    // WHEN is reached, everything but WHEN: a clause's condition and its action after THEN stay
    // on the WHEN's line.
    bool playsAnotherRole(const StructuredRow& row, std::size_t end) const {
        using Role = StructuredRow::Role;
        const Context& top = stack_.back();
        if (top.kind == Context::Kind::Case && row.role != Role::CaseWord) return true;
        if (top.mergeClauses && !(row.role == Role::CaseWord && row.keyword == u"when")) {
            return true;
        }
        switch (row.role) {
            case Role::With:
                return nextWordIs(end, {"time", "ordinality", "ties", "data", "no", "check",
                                        "cascaded", "local"});
            case Role::On:
                return previousIs(1, "distinct") || previousIs(1, "conflict") ||
                       nextWordIs(end, {"conflict"});
            case Role::From:
                return previousIs(1, "distinct");
            case Role::Update:
                return previousIs(1, "do") || previousIs(1, "for") ||
                       (previousIs(1, "key") && previousIs(2, "no"));
            case Role::Set:
                return previousIs(1, "update") && previousIs(2, "do");
            case Role::Values:
                return previousIs(1, "default");
            case Role::None:
            case Role::CaseWord:
                return false;
        }
        return false;
    }

    bool isAnyWord(const Token& token, std::initializer_list<std::string_view> words) const {
        return token.kind == TokenKind::Word &&
               std::any_of(words.begin(), words.end(),
                           [&](std::string_view w) { return tokenIs(text_, token, w); });
    }

    bool nextWordIs(std::size_t from, std::initializer_list<std::string_view> words) const {
        SqlLexer lexer(text_, from);
        Token next;
        while (lexer.next(next)) {
            if (next.kind == TokenKind::Space || next.kind == TokenKind::LineBreak ||
                isComment(next)) {
                continue;
            }
            return isAnyWord(next, words);
        }
        return false;
    }

    bool previousIs(int back, std::string_view word) const {
        const std::optional<Token>& token = back == 1 ? previous_ : beforePrevious_;
        return token && tokenIs(text_, *token, word);
    }

    void notePrevious(const Token& token) {
        beforePrevious_ = previous_;
        previous_ = token;
    }

    // What a word does to the structure once it is laid out: CASE opens a group that END
    // closes, BETWEEN claims the next AND, THEN starts a MERGE action that the next WHEN ends.
    void noteWord(const Token& token) {
        if (isComment(token)) return;
        notePrevious(token);
        if (token.kind != TokenKind::Word) return;
        Context& top = stack_.back();
        if (tokenIs(text_, token, "case")) {
            Context group;
            group.kind = Context::Kind::Case;
            group.rowsBreak = top.rowsBreak;
            group.base = std::min(level_, kDeepestNesting);
            group.parenthesis = top.parenthesis;
            group.groupLevel = top.groupLevel;
            stack_.push_back(group);
        } else if (tokenIs(text_, token, "end")) {
            if (top.kind == Context::Kind::Case) stack_.pop_back();
        } else if (tokenIs(text_, token, "between")) {
            top.betweenOpen = true;
        } else if (tokenIs(text_, token, "merge")) {
            top.merge = true;
        } else if (top.merge && tokenIs(text_, token, "when")) {
            top.mergeClauses = true;
        }
    }

    // --- Parentheses ---

    void openGroup(const Token& token) {
        const GroupOutline& group = outline_.groups[nextGroup_++];
        placeInline(token);
        notePrevious(token);
        Context context = stack_.back();
        context.bracket = token.kind == TokenKind::OpenBracket;
        context.betweenOpen = context.merge = context.mergeClauses = false;
        if (!group.closed) {
            // A ( never closed opens nothing: what follows is laid out as if it were not there.
            context.kind = Context::Kind::Unclosed;
        } else if (group.block) {
            context.kind = Context::Kind::Block;
            context.rowsBreak = true;
            context.commasBreak = context.andOrBreak = false;
            context.openLevel = level_;
            context.base = std::min(level_ + 1, kDeepestNesting);
            breakDue_ = context.base;
        } else if (group.columnList || lineLength_ - 1 + group.width > kLongGroup) {
            context.kind = Context::Kind::LongGroup;
            context.rowsBreak = false;
            context.commasBreak = context.andOrBreak = true;
            context.openLevel = level_;
            context.itemLevel = std::min(level_ + 1, kDeepestNesting);
            breakDue_ = context.itemLevel;
        } else {
            context.kind = Context::Kind::Group;
            context.rowsBreak = context.commasBreak = context.andOrBreak = false;
            context.openLevel = level_;
        }
        context.parenthesis = stack_.size();
        if (context.kind == Context::Kind::Group) {
            context.groupLevel = context.openLevel;
        } else if (context.kind != Context::Kind::Unclosed) {
            context.groupLevel = -1;
        }
        stack_.push_back(context);
    }

    void closeGroup(const Token& token) {
        const std::size_t at = stack_.back().parenthesis;
        const bool bracket = token.kind == TokenKind::CloseBracket;
        if (at == 0 || stack_[at].bracket != bracket) {
            placeInline(token);  // a ) without its ( closes nothing
        } else {
            const Context closed = stack_[at];
            stack_.resize(at);  // a CASE left open inside ends with its parenthesis
            if (closed.kind == Context::Kind::Block || closed.kind == Context::Kind::LongGroup) {
                beginLine(closed.openLevel);
                put(token);
            } else {
                // A ) the author put on a line of its own lines up with the line of its (.
                placeInline(text_.substr(token.begin, token.size()), false, closed.openLevel);
            }
        }
        notePrevious(token);
    }

    // --- Statements ---

    void startStatement() {
        inStatement_ = true;
        statement_ = outline_.statements[nextStatement_++];
        // Each statement starts a line of its own at level 0; the author's blank lines between
        // statements, and before the first, stay.
        writeBreaks(wroteAnything_ ? std::max<std::size_t>(gapBreaks_, 1) : gapBreaks_);
        level_ = lastPassLevel_ = 0;
        linePassBegun_ = true;
        clearGap();
        Context context;
        context.kind = Context::Kind::Statement;
        context.rowsBreak = statement_.breaks;
        context.commasBreak = statement_.wide;
        context.itemLevel = 1;
        stack_.assign(1, context);
        previous_.reset();
        beforePrevious_.reset();
    }

    // A statement that breaks nowhere may hold a query (CREATE VIEW ... AS, ...): from there on
    // it is laid out as one, at level 0.
    void noteQueryPart(const Token& token) {
        Context& statement = stack_.front();
        if (statement.rowsBreak || statement_.queryFrom == kNoPosition ||
            token.begin < statement_.queryFrom) {
            return;
        }
        statement.rowsBreak = true;
        statement.commasBreak = false;
    }

    void endStatement(const Token& semicolon) {
        breakDue_.reset();
        oneSpace_ = false;
        if (gapBreaks_ > 0) {
            // A ; on a line of its own stays there, at level 0.
            writeBreaks(gapBreaks_);
            level_ = 0;
            linePassBegun_ = false;
        } else if (lineHasText_) {
            sink_.spaces(gapSpaces_);
        }
        put(semicolon);
        inStatement_ = false;
        stack_.clear();
    }

    // Comments between statements (and before the first) stay where they are, at level 0.
    void placeBetweenStatements(const Token& comment) {
        if (gapBreaks_ == 0 && lineHasText_) {
            sink_.spaces(gapSpaces_);
        } else {
            writeBreaks(gapBreaks_);
            level_ = lastPassLevel_ = 0;
            linePassBegun_ = true;
        }
        put(comment);
    }

    // --- Lines ---

    // A token where no row or structure decides its place: on a new line when the last keyword
    // asked for one, after one space behind a leading word, where the author broke the line, or
    // else behind the text before it with the author's spaces.
    void placeInline(const Token& token) {
        placeInline(text_.substr(token.begin, token.size()), isComment(token));
    }

    void placeInline(std::u16string_view text, bool comment,
                     std::optional<std::int32_t> authorLevel = std::nullopt) {
        if (breakDue_) {
            // A comment on the keyword's own line stays at the end of that line.
            if (comment && gapBreaks_ == 0 && lineHasText_) {
                sink_.spaces(gapSpaces_);
                put(text, comment);
                return;
            }
            beginLine(*breakDue_);
            put(text, comment);
            return;
        }
        if (oneSpace_) {
            if (gapSpaces_ > 0 || gapBreaks_ > 0) sink_.spaces(1);
            oneSpace_ = false;
            put(text, comment);
            return;
        }
        if (gapBreaks_ > 0) {
            // The author's line break stays. The line it starts is indented one level deeper
            // than the last line the pass began; a comment line as deep as that line, and the
            // line after a comment that stood alone on a line the pass began goes on at its level.
            const bool carry = linePassBegun_ && lineOnlyComments_ && lineHasText_;
            writeBreaks(gapBreaks_);
            if (carry) {
                lastPassLevel_ = level_;
            } else if (authorLevel) {
                level_ = *authorLevel;
                linePassBegun_ = false;
            } else {
                // Inside a call or list, also deeper than the line that holds its (.
                const std::int32_t group = stack_.empty() ? -1 : stack_.back().groupLevel;
                level_ = std::max(comment ? lastPassLevel_ : lastPassLevel_ + 1, group + 1);
                linePassBegun_ = false;
            }
            put(text, comment);
            return;
        }
        if (lineHasText_) sink_.spaces(gapSpaces_);
        put(text, comment);
    }

    // Whether the author broke the line right before this token, where the pass has not.
    bool startsAuthorLine() const { return gapBreaks_ > 0 && lineHasText_ && !breakDue_; }

    // A symbol that ends its line, put first on a line by the author (leading commas), leads that
    // line at the level of the items instead: breaking behind it as well would leave it alone on
    // a line, and joining it to the line before would take the spacing from between two tokens.
    void leadLine(std::int32_t level, std::u16string_view symbol) {
        beginLine(level);
        put(symbol, false);
        oneSpace_ = true;
    }

    // Starts a line the pass decides on, at a level; the author's spacing before it goes.
    void beginLine(std::int32_t level) {
        if (lineHasText_) {
            sink_.lineBreak();
            lineHasText_ = false;
        }
        level_ = lastPassLevel_ = level;
        linePassBegun_ = true;
        lineOnlyComments_ = true;
        breakDue_.reset();
        oneSpace_ = false;
        clearGap();
    }

    void writeBreaks(std::size_t count) {
        for (std::size_t i = 0; i < count; ++i) sink_.lineBreak();
        if (count > 0) {
            lineHasText_ = false;
            lineOnlyComments_ = true;
            wroteAnything_ = true;
        }
    }

    void put(const Token& token) { put(text_.substr(token.begin, token.size()), isComment(token)); }

    void put(std::u16string_view text, bool comment) {
        if (!lineHasText_) {
            const std::size_t indent = spacesFor(level_);
            sink_.spaces(indent);
            lineLength_ = indent;
            lineHasText_ = true;
        }
        sink_.append(text);
        const std::size_t lastBreak = text.find_last_of(u'\r');
        lineLength_ = lastBreak == std::u16string_view::npos ? lineLength_ + text.size()
                                                             : text.size() - lastBreak - 1;
        if (!comment) lineOnlyComments_ = false;
        wroteAnything_ = true;
        clearGap();
    }

    void clearGap() { gapSpaces_ = gapBreaks_ = 0; }

    std::size_t spacesFor(std::int32_t level) const {
        if (level <= kDeepestLevel) return static_cast<std::size_t>(level) * kSpacesPerLevel;
        // Only a row's own level can reach this deep; the message names it.
        return indentSpaces(table_, lastRow_, level);
    }

    std::u16string_view text_;
    const KeywordTable& table_;
    const StructuredRows& rows_;
    const SqlOutline& outline_;
    Sink& sink_;
    SqlLexer lexer_;
    const char16_t* lower_;
    Token token_;
    bool have_ = false;

    // The line being written.
    std::int32_t level_ = 0;
    std::size_t lineLength_ = 0;
    bool lineHasText_ = false;
    bool linePassBegun_ = true;
    bool lineOnlyComments_ = true;
    bool wroteAnything_ = false;
    std::int32_t lastPassLevel_ = 0;
    std::size_t lastRow_ = 0;

    // What lies between the last token written and the next one.
    std::size_t gapSpaces_ = 0;
    std::size_t gapBreaks_ = 0;
    std::optional<std::int32_t> breakDue_;  // a keyword ended its line: the next one's level
    bool oneSpace_ = false;                 // behind a leading word

    std::vector<Context> stack_;
    bool inStatement_ = false;
    StatementOutline statement_;
    std::size_t nextStatement_ = 0;
    std::size_t nextGroup_ = 0;
    std::optional<Token> previous_;
    std::optional<Token> beforePrevious_;
};

}  // namespace

std::u16string layOutStructured(std::u16string_view text, const KeywordTable& table) {
    const StructuredRows rows(table);
    const SqlOutline outline = outlineSql(text);
    // Every line the pass writes holds at least one token or one of the author's line breaks,
    // and its indentation is bounded by the nesting limit, the deepest row and one level for an
    // author's line: below this bound the text cannot pass 32-bit positions.
    const std::int64_t deepest =
        kDeepestNesting + std::max<std::int32_t>(rows.deepestIndent(), 0) + 2;
    const auto lines = static_cast<std::int64_t>(outline.tokens + outline.lineBreaks + 2);
    const std::int64_t bound = static_cast<std::int64_t>(text.size()) +
                               lines * (1 + deepest * static_cast<std::int64_t>(kSpacesPerLevel));
    if (bound > INT32_MAX) {
        Sink counter(nullptr);
        Pass(text, table, rows, outline, counter).run();
        checkedPosition(counter.length());
    }
    std::u16string result;
    result.reserve(text.size() + text.size() / 2 + 16);
    Sink sink(&result);
    Pass(text, table, rows, outline, sink).run();
    checkedPosition(sink.length());
    return result;
}

}  // namespace pellomar
