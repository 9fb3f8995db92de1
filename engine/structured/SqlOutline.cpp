#include "SqlOutline.h"

#include <algorithm>
#include <initializer_list>
#include <string_view>

#include "SqlLexer.h"

namespace pellomar {

namespace {

bool isAnyOf(std::u16string_view text, const Token& token,
             std::initializer_list<std::string_view> words) {
    return token.kind == TokenKind::Word &&
           std::any_of(words.begin(), words.end(),
                       [&](std::string_view word) { return tokenIs(text, token, word); });
}

// Statements whose first word says they are no query and change no rows: their keywords play
// other roles (GRANT SELECT ON, CREATE INDEX ... ON, ALTER ... SET, COPY ... FROM) and nothing of
// them breaks, but for the query some of them hold.
bool breaksNowhere(std::u16string_view text, const Token& first) {
    return isAnyOf(
        text, first,
        {"create",   "alter",    "drop",     "grant",      "revoke",     "comment", "truncate",
         "security", "reindex",  "cluster",  "vacuum",     "analyze",    "refresh", "lock",
         "copy",     "prepare",  "declare",  "set",        "reset",      "show",    "begin",
         "start",    "commit",   "rollback", "abort",      "savepoint",  "release", "listen",
         "notify",   "unlisten", "discard",  "deallocate", "checkpoint", "load",    "import",
         "do",       "fetch",    "move",     "close",      "end",        "use",     "pragma"});
}

// Words that may stand between CREATE and the kind of object it makes.
bool isCreateModifier(std::u16string_view text, const Token& token) {
    return isAnyOf(text, token,
                   {"or", "replace", "temp", "temporary", "unlogged", "global", "local",
                    "materialized", "recursive"});
}

// The space a layout on one line would put between two tokens: none where SQL is usually
// written without one (a, b  f(x)  a.b  x::int  arr[1]), one elsewhere.
std::uint32_t gapBetween(std::u16string_view text, const Token& before, const Token& after) {
    switch (after.kind) {
        case TokenKind::Comma:
        case TokenKind::Semicolon:
        case TokenKind::Close:
        case TokenKind::CloseBracket:
        case TokenKind::Dot:
        case TokenKind::OpenBracket:
            return 0;
        default:
            break;
    }
    switch (before.kind) {
        case TokenKind::Open:
        case TokenKind::OpenBracket:
        case TokenKind::Dot:
            return 0;
        default:
            break;
    }
    if (after.kind == TokenKind::Open && before.kind == TokenKind::Word) return 0;
    if (tokenIs(text, before, "::") || tokenIs(text, after, "::")) return 0;
    return 1;
}

class Outliner {
  public:
    explicit Outliner(std::u16string_view text) : text_(text) {}

    SqlOutline run() {
        SqlLexer lexer(text_);
        Token token;
        while (lexer.next(token)) {
            switch (token.kind) {
                case TokenKind::Space:
                    continue;
                case TokenKind::LineBreak:
                    ++outline_.lineBreaks;
                    noteLineBreak();
                    continue;
                case TokenKind::CopyData:
                    continue;  // between statements, and no part of either
                default:
                    break;
            }
            ++outline_.tokens;
            advanceWidth(token);
            const bool comment =
                token.kind == TokenKind::LineComment || token.kind == TokenKind::BlockComment;
            if (comment) continue;
            // A comment behind a comma stays on the comma's line: the break after it is still
            // the comma's.
            afterComma_ = token.kind == TokenKind::Comma;
            if (token.kind == TokenKind::Semicolon) {
                endStatement();
                continue;
            }
            if (!inStatement_) startStatement(token);
            resolvePendingBlock(token);
            noteJoin(token);
            noteStatementWords(token);
            switch (token.kind) {
                case TokenKind::Open:
                case TokenKind::OpenBracket:
                    open(token);
                    break;
                case TokenKind::Close:
                case TokenKind::CloseBracket:
                    close(token);
                    break;
                default:
                    break;
            }
        }
        endStatement();
        return std::move(outline_);
    }

  private:
    struct Open {
        std::size_t group;
        std::uint64_t start;  // the running width where its ( starts
        bool bracket;
        bool lineBreak = false;  // the author broke a line right inside it
    };

    void advanceWidth(const Token& token) {
        if (havePrevious_) width_ += gapBetween(text_, previous_, token);
        width_ += token.size();
        previous_ = token;
        havePrevious_ = true;
    }

    void startStatement(const Token& first) {
        inStatement_ = true;
        statementStart_ = width_ - first.size();
        StatementOutline& statement = outline_.statements.emplace_back();
        statement.breaks = !breaksNowhere(text_, first);
        if (tokenIs(text_, first, "create")) createState_ = CreateState::Object;
        if (tokenIs(text_, first, "prepare")) queryAfter_ = QueryAfter::As;
        if (tokenIs(text_, first, "declare")) queryAfter_ = QueryAfter::CursorFor;
    }

    // Whether the author broke a statement that breaks nowhere into lines: a line break at its
    // top level (or inside a ( never closed, which opens nothing) before its query part. A break
    // right after a top-level comma (and the comments behind it) does not count: that is where a
    // wide statement's own breaks go, and a second layout must find the statement as wide as the
    // first did.
    void noteLineBreak() {
        if (!inStatement_ || outline_.statements.back().queryFrom != static_cast<std::size_t>(-1)) {
            return;
        }
        if (afterComma_) return;
        if (stack_.empty()) {
            brokenByAuthor_ = true;
        } else {
            stack_.back().lineBreak = true;
        }
    }

    void endStatement() {
        if (!inStatement_) return;
        StatementOutline& statement = outline_.statements.back();
        // What is still open was never closed, and its line breaks were at the top level.
        const bool broken =
            brokenByAuthor_ ||
            std::any_of(stack_.begin(), stack_.end(), [](const Open& o) { return o.lineBreak; });
        statement.wide = !statement.breaks && !broken && width_ - statementStart_ > kWideStatement;
        brokenByAuthor_ = false;
        inStatement_ = false;
        stack_.clear();  // what is still open was never closed: it opens nothing
        firstUncut_ = 0;
        pending_ = false;
        createState_ = CreateState::None;
        tableName_ = TableName::None;
        queryAfter_ = QueryAfter::None;
        havePrevious_ = false;
    }

    // A ( is a block when the first token inside it is select, with or values, or a word that
    // starts a statement changing rows, as a CTE's body may. Only the ( just read waits for
    // that token (`pending_`); in f((select ...)) the call's own ( is no block.
    void resolvePendingBlock(const Token& token) {
        if (!pending_) return;
        pending_ = false;
        if (!isAnyOf(text_, token,
                     {"select", "with", "values", "insert", "update", "delete", "merge"})) {
            return;
        }
        makeBlock();
    }

    // A ( holding a JOIN at its own level is a table expression, as pg_dump writes joins
    // ((a JOIN b ON ...) JOIN c ON ...): a block too, in which the join rows break.
    void noteJoin(const Token& token) {
        if (stack_.empty() || stack_.back().bracket || !tokenIs(text_, token, "join")) return;
        if (!outline_.groups[stack_.back().group].block) makeBlock();
    }

    // The ( on top of the stack opens a block.
    void makeBlock() {
        const Open& block = stack_.back();
        outline_.groups[block.group].block = true;
        // The groups around a block run on their opener's line only as far as the block's (.
        for (std::size_t i = firstUncut_; i + 1 < stack_.size(); ++i) {
            setWidth(stack_[i], block.start + 1);
        }
        firstUncut_ = std::max(firstUncut_, stack_.size());
    }

    void open(const Token& token) {
        const bool bracket = token.kind == TokenKind::OpenBracket;
        GroupOutline group;
        group.columnList = !bracket && stack_.empty() && tableName_ == TableName::Complete;
        tableName_ = TableName::None;
        outline_.groups.push_back(group);
        stack_.push_back({outline_.groups.size() - 1, width_ - 1, bracket});
        pending_ = !bracket;
    }

    void close(const Token& token) {
        const bool bracket = token.kind == TokenKind::CloseBracket;
        if (stack_.empty() || stack_.back().bracket != bracket) return;  // closes nothing
        const Open opened = stack_.back();
        stack_.pop_back();
        GroupOutline& group = outline_.groups[opened.group];
        group.closed = true;
        if (stack_.size() >= firstUncut_ && !group.block) setWidth(opened, width_);
        firstUncut_ = std::min(firstUncut_, stack_.size());
    }

    void setWidth(const Open& opened, std::uint64_t end) {
        const std::uint64_t width = end - opened.start;
        outline_.groups[opened.group].width =
            static_cast<std::uint32_t>(std::min<std::uint64_t>(width, UINT32_MAX));
    }

    // The words at a statement's top level that tell where the query part of CREATE VIEW,
    // CREATE TABLE ... AS, PREPARE and DECLARE ... CURSOR starts, and which ( is the column list
    // of CREATE TABLE.
    void noteStatementWords(const Token& token) {
        if (!stack_.empty()) return;
        StatementOutline& statement = outline_.statements.back();
        const bool word = token.kind == TokenKind::Word;
        if (createState_ == CreateState::Object && word && !tokenIs(text_, token, "create") &&
            !isCreateModifier(text_, token)) {
            const bool table = tokenIs(text_, token, "table");
            createState_ = CreateState::None;
            if (table || tokenIs(text_, token, "view")) queryAfter_ = QueryAfter::As;
            if (table) {
                tableName_ = TableName::Expected;
                return;
            }
        }
        noteTableName(token);
        if (statement.queryFrom != static_cast<std::size_t>(-1) || !word) return;
        if (queryAfter_ == QueryAfter::CursorFor && tokenIs(text_, token, "cursor")) {
            queryAfter_ = QueryAfter::For;
        } else if ((queryAfter_ == QueryAfter::As && tokenIs(text_, token, "as")) ||
                   (queryAfter_ == QueryAfter::For && tokenIs(text_, token, "for"))) {
            statement.queryFrom = token.end;
        }
    }

    // CREATE TABLE [IF NOT EXISTS] name [PARTITION OF parent | OF type] (: the ( right behind
    // the (qualified) name of the table, its parent or its type.
    void noteTableName(const Token& token) {
        const bool part = token.kind == TokenKind::Word || token.kind == TokenKind::QuotedName;
        switch (tableName_) {
            case TableName::Expected:
                if (isAnyOf(text_, token, {"if", "not", "exists"})) return;
                tableName_ = part ? TableName::Complete : TableName::None;
                return;
            case TableName::Complete:
                if (tokenIs(text_, token, "partition")) {
                    tableName_ = TableName::PartitionOf;
                } else if (tokenIs(text_, token, "of")) {
                    tableName_ = TableName::AfterDot;
                } else {
                    tableName_ = token.kind == TokenKind::Dot    ? TableName::AfterDot
                                 : token.kind == TokenKind::Open ? TableName::Complete
                                                                 : TableName::None;
                }
                return;
            case TableName::PartitionOf:
                tableName_ = tokenIs(text_, token, "of") ? TableName::AfterDot : TableName::None;
                return;
            case TableName::AfterDot:
                tableName_ = part ? TableName::Complete : TableName::None;
                return;
            case TableName::None:
                return;
        }
    }

    enum class CreateState : std::uint8_t { None, Object };
    // AfterDot: a name (or its next part) is expected.
    enum class TableName : std::uint8_t { None, Expected, Complete, PartitionOf, AfterDot };
    enum class QueryAfter : std::uint8_t { None, As, CursorFor, For };

    std::u16string_view text_;
    SqlOutline outline_;
    std::uint64_t width_ = 0;
    Token previous_;
    bool havePrevious_ = false;
    bool inStatement_ = false;
    bool brokenByAuthor_ = false;  // see noteLineBreak
    bool afterComma_ = false;      // the last token but comments was a comma
    std::uint64_t statementStart_ = 0;
    std::vector<Open> stack_;
    std::size_t firstUncut_ = 0;  // the groups from here up the stack have no width yet
    bool pending_ = false;
    CreateState createState_ = CreateState::None;
    TableName tableName_ = TableName::None;
    QueryAfter queryAfter_ = QueryAfter::None;
};

}  // namespace

SqlOutline outlineSql(std::u16string_view text) {
    return Outliner(text).run();
}

}  // namespace pellomar
