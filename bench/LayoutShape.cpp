#include "LayoutShape.h"

#include <algorithm>
#include <initializer_list>

namespace pellomar::layout_check {

namespace {

std::string lower(std::string_view text) {
    std::string out(text);
    for (char& c : out) {
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    }
    return out;
}

bool among(std::string_view word, std::initializer_list<std::string_view> words) {
    return std::find(words.begin(), words.end(), word) != words.end();
}

// First words of DDL and of the utility commands: in them a keyword is part of the command, not
// a clause to lay out.
bool isUtilityWord(std::string_view word) {
    return among(
        word, {"create",   "alter",    "drop",    "grant",      "revoke",     "comment", "truncate",
               "security", "reindex",  "cluster", "vacuum",     "analyze",    "analyse", "refresh",
               "lock",     "copy",     "set",     "show",       "reset",      "begin",   "start",
               "commit",   "rollback", "abort",   "savepoint",  "release",    "listen",  "notify",
               "unlisten", "load",     "discard", "deallocate", "checkpoint", "import",  "do",
               "call",     "execute",  "prepare", "explain",    "declare",    "fetch",   "move",
               "close",    "end",      "reassign"});
}

// Words after which ( opens an expression or a condition rather than a call's arguments.
bool isGroupingWord(std::string_view word) {
    return among(
        word, {"and",      "or",     "not",     "where",     "on",     "when",    "then",   "else",
               "select",   "from",   "join",    "having",    "as",     "by",      "case",   "is",
               "like",     "ilike",  "between", "set",       "exists", "any",     "all",    "some",
               "distinct", "with",   "union",   "intersect", "except", "lateral", "into",   "do",
               "limit",    "offset", "return",  "returning", "escape", "to",      "similar"});
}

}  // namespace

int displayWidth(std::string_view text) {
    int width = 0;
    for (const char c : text) {
        if (c == '\t') {
            width += 4;
        } else if ((static_cast<unsigned char>(c) & 0xC0) != 0x80) {
            ++width;
        }
    }
    return width;
}

Layout::Layout(std::string_view input, std::string_view output)
    : input_(input), output_(output), tokens_(tokenize(input)) {
    align();
    if (!contentChange_.empty()) return;
    findLines();
    findStatements();
    findGroups();
}

std::string_view Layout::text(std::size_t token) const {
    const Token& t = tokens_[token];
    return input_.substr(t.begin, t.end - t.begin);
}

bool Layout::isWord(std::size_t token, std::string_view lowerWord) const {
    if (token >= tokens_.size() || tokens_[token].kind != TokenKind::Word) return false;
    const std::string_view t = text(token);
    if (t.size() != lowerWord.size()) return false;
    for (std::size_t i = 0; i < t.size(); ++i) {
        char c = t[i];
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
        if (c != lowerWord[i]) return false;
    }
    return true;
}

std::size_t Layout::previousCode(std::size_t token) const {
    const int statement = statementOf_[token];
    for (std::size_t i = token; i-- > 0;) {
        if (statementOf_[i] != statement) return kNone;
        if (!isComment(tokens_[i].kind)) return i;
    }
    return kNone;
}

std::size_t Layout::nextCode(std::size_t token) const {
    const int statement = statementOf_[token];
    for (std::size_t i = token + 1; i < tokens_.size(); ++i) {
        if (statementOf_[i] != statement) return kNone;
        if (!isComment(tokens_[i].kind)) return i;
    }
    return kNone;
}

int Layout::gapGroup(std::size_t token) const {
    if (token > 0 && groupOfOpen_[token - 1] >= 0) return groupOfOpen_[token - 1];
    if (groupOfClose_[token] >= 0) return groupOfClose_[token];
    return enclosing_[token];
}

bool Layout::madeBreak(std::size_t token) const {
    if (token == 0 || token >= tokens_.size()) return false;
    const Placed& p = placed_[token];
    return p.breakBefore && !p.inputBreakBefore && !isComment(tokens_[token].kind) &&
           !isComment(tokens_[token - 1].kind) && statementOf_[token] >= 0 &&
           statementOf_[token] == statementOf_[token - 1];
}

bool Layout::inQuery(std::size_t token) const {
    const int s = statementOf_[token];
    if (s < 0) return false;
    const Statement& statement = statements_[static_cast<std::size_t>(s)];
    if (!statement.utility) return true;
    if (statement.queryFrom != kNone && token >= statement.queryFrom) return true;
    for (int g = enclosing_[token]; g >= 0; g = groups_[static_cast<std::size_t>(g)].parent) {
        if (groups_[static_cast<std::size_t>(g)].kind == GroupKind::Block) return true;
    }
    return false;
}

bool Layout::isLong(const Group& group) const {
    // What follows the ) on its line would follow it on the flat line too.
    const Placed& close = placed_[group.close];
    const Line& line = lines_[static_cast<std::size_t>(close.line)];
    std::size_t end = line.end;
    while (end > close.end && isLayoutSpace(output_[end - 1])) --end;
    const int after =
        end > close.end ? displayWidth(output_.substr(close.end, end - close.end)) : 0;
    return placed_[group.open].column + group.width + after > 100;
}

// Walks the output along the input's tokens: between tokens only whitespace may differ, inside
// a literal or comment nothing, and whitespace inside any other token splits it.
void Layout::align() {
    placed_.resize(tokens_.size());
    std::size_t q = 0;
    std::size_t inputEnd = 0;
    bool anySplit = false;
    for (std::size_t i = 0; i < tokens_.size(); ++i) {
        const Token& t = tokens_[i];
        Placed& p = placed_[i];
        for (std::size_t k = inputEnd; k < t.begin; ++k) {
            p.inputSpaceBefore = true;
            if (input_[k] == '\n') p.inputBreakBefore = true;
        }
        inputEnd = t.end;
        while (q < output_.size() && isLayoutSpace(output_[q])) {
            if (output_[q] == '\n') p.breakBefore = true;
            ++q;
        }
        p.begin = q;
        const std::string_view s = text(i);
        if (isVerbatim(t.kind) && output_.substr(q, s.size()) == s) {
            q += s.size();
        } else if (isVerbatim(t.kind)) {
            // Whitespace moved inside: a fault of its own (a body laid out as SQL), after which
            // the rest can still be judged. Every such token ends in a character that is not
            // whitespace, so its end is known.
            p.changed = true;
            for (std::size_t j = 0; j < s.size();) {
                if (isLayoutSpace(s[j])) {
                    ++j;
                } else if (q < output_.size() && isLayoutSpace(output_[q])) {
                    ++q;
                } else if (q < output_.size() && output_[q] == s[j]) {
                    ++q;
                    ++j;
                } else {
                    contentChange_ = "text changed in \"" + std::string(s.substr(0, 60)) + "\"";
                    return;
                }
            }
        } else {
            for (std::size_t j = 0; j < s.size();) {
                if (q < output_.size() && output_[q] == s[j]) {
                    ++q;
                    ++j;
                } else if (q < output_.size() && j > 0 && isLayoutSpace(output_[q])) {
                    p.split = anySplit = true;
                    ++q;
                } else {
                    contentChange_ = "text changed at \"" + std::string(s.substr(0, 60)) + "\"";
                    return;
                }
            }
        }
        p.end = q;
    }
    while (q < output_.size() && isLayoutSpace(output_[q])) ++q;
    if (q != output_.size()) {
        contentChange_ = "text added at the end";
        return;
    }
    // The same characters can still read as other tokens: two words run together, or a -- comment
    // that no longer ends before the code after it.
    for (std::size_t i = 0; i + 1 < tokens_.size(); ++i) {
        if (tokens_[i].kind == TokenKind::LineComment && !placed_[i + 1].breakBefore) {
            contentChange_ = "a -- comment now runs on into: " + std::string(text(i + 1));
            return;
        }
    }
    if (anySplit) return;
    const std::vector<Token> again = tokenize(output_);
    bool same = again.size() == tokens_.size();
    for (std::size_t i = 0; same && i < again.size(); ++i) {
        same = again[i].kind == tokens_[i].kind &&
               (placed_[i].changed ||
                output_.substr(again[i].begin, again[i].end - again[i].begin) == text(i));
    }
    if (!same) contentChange_ = "tokens ran together where whitespace was removed";
}

void Layout::findLines() {
    std::size_t begin = 0;
    while (begin <= output_.size()) {
        std::size_t end = output_.find('\n', begin);
        const std::size_t next = end == std::string_view::npos ? output_.size() + 1 : end + 1;
        if (end == std::string_view::npos) end = output_.size();
        Line line;
        line.begin = begin;
        line.end = end;
        std::size_t body = begin;
        while (body < end && (output_[body] == ' ' || output_[body] == '\t')) ++body;
        line.indent = displayWidth(output_.substr(begin, body - begin));
        std::size_t last = end;
        while (last > begin && isLayoutSpace(output_[last - 1])) --last;
        line.width = displayWidth(output_.substr(begin, last - begin));
        lines_.push_back(line);
        begin = next;
    }
    std::size_t l = 0;
    for (std::size_t i = 0; i < tokens_.size(); ++i) {
        Placed& p = placed_[i];
        while (l + 1 < lines_.size() && lines_[l].end < p.begin) ++l;
        p.line = static_cast<int>(l);
        p.column = displayWidth(output_.substr(lines_[l].begin, p.begin - lines_[l].begin));
        if (p.column == lines_[l].indent && lines_[l].first < 0) {
            lines_[l].first = static_cast<int>(i);
        }
    }
}

void Layout::findStatements() {
    statementOf_.assign(tokens_.size(), -1);
    int depth = 0;
    int atomic = 0;  // inside BEGIN ATOMIC: how many ENDs are still to come
    std::size_t first = 0;
    const auto close = [&](std::size_t end) {  // tokens [first, end)
        if (end > first) {
            Statement s;
            s.first = first;
            s.last = end - 1;
            for (std::size_t k = first; k < end; ++k) {
                statementOf_[k] = static_cast<int>(statements_.size());
            }
            statements_.push_back(s);
        }
        depth = 0;
        atomic = 0;
    };
    for (std::size_t i = 0; i < tokens_.size(); ++i) {
        const TokenKind kind = tokens_[i].kind;
        if (kind == TokenKind::Open) ++depth;
        if (kind == TokenKind::Close && depth > 0) --depth;
        // The statements of a BEGIN ATOMIC … END body end in ; inside their function's.
        if (atomic > 0 && (isWord(i, "case") || isWord(i, "begin"))) ++atomic;
        if (atomic > 0 && isWord(i, "end")) --atomic;
        if (atomic == 0 && isWord(i, "atomic") && i > first && isWord(i - 1, "begin")) atomic = 1;
        if ((kind == TokenKind::Semicolon && depth == 0 && atomic == 0) ||
            kind == TokenKind::CopyData) {
            close(i);
            first = i + 1;
        }
    }
    close(tokens_.size());
    for (Statement& s : statements_) {
        for (std::size_t k = s.first; k <= s.last; ++k) {
            const TokenKind kind = tokens_[k].kind;
            if (kind == TokenKind::Word) {
                s.utility = isUtilityWord(lower(text(k)));
                break;
            }
            if (!isComment(kind) && kind != TokenKind::Open) break;
        }
        if (s.utility) {
            findQueryPart(s);
            findTableDef(s);
        }
    }
}

// The query that CREATE VIEW … AS, CREATE TABLE … AS, CREATE RULE … DO, CREATE FUNCTION …
// BEGIN ATOMIC, EXPLAIN, PREPARE … AS and DECLARE … FOR hold, from its first token to the
// statement's end.
void Layout::findQueryPart(Statement& s) const {
    std::vector<std::size_t> top;  // code tokens outside parentheses
    int depth = 0;
    for (std::size_t k = s.first; k <= s.last; ++k) {
        const TokenKind kind = tokens_[k].kind;
        if (kind == TokenKind::Open) ++depth;
        if (depth == 0 && !isComment(kind)) top.push_back(k);
        if (kind == TokenKind::Close && depth > 0) --depth;
    }
    if (top.empty()) return;
    const auto after = [&](std::size_t at) { return at + 1 < top.size() ? top[at + 1] : kNone; };
    const auto firstAt = [&](std::string_view word, std::size_t from) {
        for (std::size_t at = from; at < top.size(); ++at) {
            if (isWord(top[at], word)) return at;
        }
        return top.size();
    };
    const std::string first = lower(text(top[0]));
    if (first == "create") {
        const std::size_t atomic = firstAt("atomic", 1);
        if (atomic < top.size() && isWord(top[atomic - 1], "begin")) {
            s.queryFrom = after(atomic);
            return;
        }
        const std::size_t as = firstAt("as", 1);
        const std::size_t rule = firstAt("rule", 1);
        if (rule < as && rule < 5) {
            std::size_t at = firstAt("do", rule);
            if (at < top.size()) {
                ++at;
                if (at < top.size() && (isWord(top[at], "also") || isWord(top[at], "instead"))) {
                    ++at;
                }
                if (at < top.size()) s.queryFrom = top[at];
            }
            return;
        }
        if (as >= top.size()) return;
        const bool view = firstAt("view", 1) < as;
        const std::size_t next = after(as);
        if (next == kNone) return;
        const auto isQueryWord = [&](std::size_t k) {
            return isWord(k, "select") || isWord(k, "with") || isWord(k, "values") ||
                   isWord(k, "table") || isWord(k, "execute");
        };
        // CREATE TABLE, MATERIALIZED VIEW, MODEL … AS a query; not CREATE TYPE t AS (a int).
        bool query = isQueryWord(next);
        if (tokens_[next].kind == TokenKind::Open) {
            std::size_t inner = next + 1;
            while (inner <= s.last &&
                   (tokens_[inner].kind == TokenKind::Open || isComment(tokens_[inner].kind))) {
                ++inner;
            }
            query = inner <= s.last && isQueryWord(inner);
        }
        if (view || query) s.queryFrom = next;
    } else if (first == "explain") {
        for (std::size_t at = 1; at < top.size(); ++at) {
            const std::string w = lower(text(top[at]));
            if (among(w, {"select", "with", "insert", "update", "delete", "values", "table",
                          "merge", "execute", "create", "declare"})) {
                s.queryFrom = top[at];
                return;
            }
        }
    } else if (first == "prepare" || first == "declare") {
        const std::size_t at = firstAt(first == "prepare" ? "as" : "for", 1);
        if (at < top.size()) s.queryFrom = after(at);
    }
}

// CREATE [OR REPLACE] [GLOBAL|LOCAL] [TEMP|TEMPORARY|UNLOGGED] [FOREIGN] TABLE [IF NOT EXISTS]
// name (
void Layout::findTableDef(Statement& s) const {
    std::size_t k = s.first;
    const auto code = [&](std::size_t from) {
        std::size_t i = from;
        while (i <= s.last && isComment(tokens_[i].kind)) ++i;
        return i <= s.last ? i : kNone;
    };
    k = code(k);
    if (k == kNone || !isWord(k, "create")) return;
    k = code(k + 1);
    while (k != kNone && tokens_[k].kind == TokenKind::Word &&
           among(lower(text(k)), {"or", "replace", "global", "local", "temp", "temporary",
                                  "unlogged", "foreign"})) {
        k = code(k + 1);
    }
    if (k == kNone || !isWord(k, "table")) return;
    k = code(k + 1);
    if (k != kNone && isWord(k, "if")) {
        while (k != kNone && !isWord(k, "exists")) k = code(k + 1);
        if (k == kNone) return;
        k = code(k + 1);
    }
    while (k != kNone &&
           (tokens_[k].kind == TokenKind::Word || tokens_[k].kind == TokenKind::QuotedName)) {
        k = code(k + 1);
        if (k == kNone || text(k) != ".") break;
        k = code(k + 1);
    }
    if (k == kNone || tokens_[k].kind != TokenKind::Open) return;
    // CREATE TABLE t (a, b) AS …: names for the query's columns, not definitions.
    int depth = 0;
    for (std::size_t i = k; i <= s.last; ++i) {
        if (tokens_[i].kind == TokenKind::Open) ++depth;
        if (tokens_[i].kind == TokenKind::Close && --depth == 0) {
            const std::size_t next = code(i + 1);
            if (next != kNone && isWord(next, "as")) return;
            break;
        }
    }
    s.tableDefOpen = k;
}

void Layout::findGroups() {
    groupOfOpen_.assign(tokens_.size(), -1);
    groupOfClose_.assign(tokens_.size(), -1);
    enclosing_.assign(tokens_.size(), -1);
    std::vector<std::size_t> open;
    int statement = -2;
    for (std::size_t i = 0; i < tokens_.size(); ++i) {
        // A ( not closed before its statement ends opens nothing.
        if (statementOf_[i] != statement) {
            open.clear();
            statement = statementOf_[i];
        }
        if (tokens_[i].kind == TokenKind::Open) open.push_back(i);
        // A ] closes only a [, a ) only a (.
        if (tokens_[i].kind == TokenKind::Close && !open.empty() &&
            (input_[tokens_[open.back()].begin] == '[') == (input_[tokens_[i].begin] == ']')) {
            Group g;
            g.open = open.back();
            g.close = i;
            open.pop_back();
            groupOfOpen_[g.open] = groupOfClose_[i] = static_cast<int>(groups_.size());
            groups_.push_back(g);
        }
    }
    std::vector<int> stack;
    for (std::size_t i = 0; i < tokens_.size(); ++i) {
        if (groupOfClose_[i] >= 0 && !stack.empty() && stack.back() == groupOfClose_[i]) {
            stack.pop_back();
        }
        enclosing_[i] = stack.empty() ? -1 : stack.back();
        if (groupOfOpen_[i] >= 0) {
            groups_[static_cast<std::size_t>(groupOfOpen_[i])].parent = enclosing_[i];
            stack.push_back(groupOfOpen_[i]);
        }
    }
    // Groups are listed as they close, inner ones first: a block may start with a block, and a
    // VALUES tuple follows one. The other kinds ask whether a block is around them.
    for (Group& g : groups_) {
        g.width = flatWidth(g.open, g.close);
        g.kind = isBlock(g) ? GroupKind::Block : GroupKind::Grouping;
    }
    for (Group& g : groups_) {
        if (g.kind != GroupKind::Block) g.kind = kindOf(g);
    }
}

bool Layout::isBlock(const Group& g) const {
    const std::size_t first = nextCode(g.open);
    if (first == g.close || first == kNone) return false;
    if (isWord(first, "select") || isWord(first, "with") || isWord(first, "values")) return true;
    // A CTE that changes data: WITH t AS [[NOT] MATERIALIZED] (INSERT … RETURNING …).
    const std::size_t before = previousCode(g.open);
    if ((isWord(first, "insert") || isWord(first, "update") || isWord(first, "delete") ||
         isWord(first, "merge")) &&
        (isWord(before, "as") || isWord(before, "materialized"))) {
        return true;
    }
    // ((select …) union (select …))
    const int inner = groupOfOpen_[first];
    return inner >= 0 && groups_[static_cast<std::size_t>(inner)].kind == GroupKind::Block;
}

GroupKind Layout::kindOf(const Group& g) const {
    const Statement& s = statements_[static_cast<std::size_t>(statementOf_[g.open])];
    if (s.tableDefOpen == g.open) return GroupKind::TableDef;
    const std::size_t before = previousCode(g.open);
    if (before == kNone) return GroupKind::Grouping;
    const TokenKind kind = tokens_[before].kind;
    if (kind == TokenKind::Word) {
        if (isWord(before, "values")) return GroupKind::ValuesTuple;
        if (isWord(before, "in")) return GroupKind::InList;
        if (isWord(before, "insert") || isInsertTarget(before)) return GroupKind::InsertColumns;
        // In DDL a word before ( names what the list is of: options, columns, arguments.
        if (s.utility && !inQuery(g.open)) return GroupKind::Call;
        return isGroupingWord(lower(text(before))) ? GroupKind::Grouping : GroupKind::Call;
    }
    if (kind == TokenKind::QuotedName) {
        return isInsertTarget(before) ? GroupKind::InsertColumns : GroupKind::Call;
    }
    if (kind == TokenKind::Comma) {
        const std::size_t tuple = previousCode(before);
        if (tuple != kNone && groupOfClose_[tuple] >= 0 &&
            groups_[static_cast<std::size_t>(groupOfClose_[tuple])].kind ==
                GroupKind::ValuesTuple) {
            return GroupKind::ValuesTuple;
        }
    }
    return GroupKind::Grouping;
}

// INSERT INTO name: the name ends right before the (.
bool Layout::isInsertTarget(std::size_t name) const {
    std::size_t k = name;
    while (true) {
        if (tokens_[k].kind != TokenKind::Word && tokens_[k].kind != TokenKind::QuotedName) {
            return false;
        }
        const std::size_t before = previousCode(k);
        if (before == kNone) return false;
        if (text(before) != ".") {
            const std::size_t insert = previousCode(before);
            return isWord(before, "into") && insert != kNone && isWord(insert, "insert");
        }
        k = previousCode(before);
        if (k == kNone) return false;
    }
}

int Layout::flatWidth(std::size_t first, std::size_t last) const {
    int width = 0;
    for (std::size_t k = first; k <= last; ++k) {
        width += displayWidth(text(k));
        if (k > first && placed_[k].inputSpaceBefore) ++width;
    }
    return width;
}

}  // namespace pellomar::layout_check
