#include "LayoutFaults.h"

#include <algorithm>
#include <initializer_list>
#include <set>

namespace pellomar::layout_check {

namespace {

using Findings = std::vector<Finding>;

void findSplitPhrases(const Layout& l, Findings& out);
void findFragmentLines(const Layout& l, Findings& out);
void findLoneCommas(const Layout& l, Findings& out);
void findBetweenAnd(const Layout& l, Findings& out);
void findBrokenCalls(const Layout& l, Findings& out);
void findBrokenValuesTuples(const Layout& l, Findings& out);
void findBrokenInLists(const Layout& l, Findings& out);
void findBrokenInsertColumns(const Layout& l, Findings& out);
void findBlocksNotUnderOpener(const Layout& l, Findings& out);
void findGroupsNotUnderOpener(const Layout& l, Findings& out);
void findRoleClauses(const Layout& l, Findings& out);
void findTableColumns(const Layout& l, Findings& out);
void findMovedComments(const Layout& l, Findings& out);
void findSplitTokens(const Layout& l, Findings& out);
void findLongLines(const Layout& l, Findings& out);
void findChangedLiterals(const Layout& l, Findings& out);

// The rules, one a kind. "A break" below is always one the layout made: the input had no line
// break there, and neither token beside it is a comment. Breaks the author wrote are the
// author's, and are never a fault of the layout.
//
// What each rule deliberately lets pass:
// - split-phrase, fragment-line: a phrase broken by a comment; a line break before or after a
//   whole phrase ("on conflict" may start a line). "with data"/"with time"… at the start of a
//   statement or block are CTE names, not phrases.
// - broken-call and the three list kinds: a group that is long (the line past 100 with it laid
//   flat) may be broken one item a line; a group holding a subquery is the subquery's to lay
//   out; a call in block style (( ends a line, ) starts one at its opener's indentation, the
//   lines between deeper), as people write named arguments and DDL options. Breaks between
//   VALUES tuples are expected; the lists themselves are never block style when short.
// - block-indent, group-indent: lines that start with a comment; a group on one line. The ) may
//   start a line at its opener line's indentation. Short calls and lists are judged by their
//   own rules, not by this one.
// - role-clause: in a DDL or utility statement, breaks inside its query part (CREATE VIEW … AS,
//   CREATE TABLE … AS, EXPLAIN, PREPARE … AS, DECLARE … FOR, CREATE RULE … DO, BEGIN ATOMIC,
//   subqueries); the one-a-line breaks of CREATE TABLE's columns; any other break that leaves
//   no word alone on a line before a deeper one (ALTER TABLE t⏎    ADD COLUMN …, options one
//   a line, a long statement broken at its commas: a style, not a clause); AS alone before the
//   query of a view. In DML only the words of kRoleWords count, some only when left alone.
// - table-columns: a table of one column, which may stay on one line.
// - comment-moved: /* */ comments inside a line, which may move with the code around them.
// - long-line: a line whose excess is one literal or comment (it cannot be broken), and a line
//   that holds a single token.
const std::vector<FaultRule> kRules = {
    {Fault::SplitPhrase, "split-phrase",
     "a multiword keyword (inner join, union all, group by, is not null, …) broken across lines",
     findSplitPhrases},
    {Fault::FragmentLine, "fragment-line",
     "a line that holds only part of a broken keyword phrase (\"left\", \"DELETE\")",
     findFragmentLines},
    {Fault::LoneComma, "lone-comma", "a line that holds only a comma (comments aside)",
     findLoneCommas},
    {Fault::BetweenAnd, "between-and", "a break before or after the and that closes a between",
     findBetweenAnd},
    {Fault::BrokenCall, "broken-call",
     "a break inside a short call, window clause, type arguments or key list (a name before its ()",
     findBrokenCalls},
    {Fault::ValuesTuple, "values-tuple", "a break inside a short VALUES tuple",
     findBrokenValuesTuples},
    {Fault::InList, "in-list", "a break inside a short IN (…) list", findBrokenInLists},
    {Fault::InsertColumns, "insert-columns", "a break inside a short INSERT INTO t (…) list",
     findBrokenInsertColumns},
    {Fault::BlockIndent, "block-indent",
     "a subquery or CTE body with a line not deeper than its ( line, or its ) shallower",
     findBlocksNotUnderOpener},
    {Fault::GroupIndent, "group-indent",
     "a condition group, table or long list with a line not deeper than its ( line",
     findGroupsNotUnderOpener},
    {Fault::RoleClause, "role-clause",
     "a DDL/utility word left alone on a line before a deeper one, DDL names one a line, or a "
     "DML keyword in another role broken off",
     findRoleClauses},
    {Fault::TableColumns, "table-columns",
     "CREATE TABLE (…) of two or more items not one item a line at one indentation, ( and ) "
     "apart",
     findTableColumns},
    {Fault::CommentMoved, "comment-moved",
     "a trailing comment moved to a line of its own, or a -- comment joined to the line before",
     findMovedComments},
    {Fault::KeywordInIdentifier, "keyword-in-identifier",
     "whitespace put inside a word, number or operator (a keyword matched inside it)",
     findSplitTokens},
    {Fault::LongLine, "long-line", "a line over 120 characters that code could be broken in",
     findLongLines},
    {Fault::LiteralChanged, "literal-changed",
     "whitespace changed inside a literal, quoted name or comment (a $$ body laid out as SQL)",
     findChangedLiterals},
};

// Multiword keywords: a line break inside one reads as two keywords.
const std::vector<std::string_view> kPhrases = {"inner join",
                                                "left join",
                                                "right join",
                                                "full join",
                                                "cross join",
                                                "natural join",
                                                "left outer join",
                                                "right outer join",
                                                "full outer join",
                                                "natural left join",
                                                "natural inner join",
                                                "cross apply",
                                                "outer apply",
                                                "union all",
                                                "union distinct",
                                                "intersect all",
                                                "intersect distinct",
                                                "except all",
                                                "except distinct",
                                                "group by",
                                                "order by",
                                                "partition by",
                                                "grouping sets",
                                                "within group",
                                                "insert into",
                                                "delete from",
                                                "merge into",
                                                "when matched",
                                                "when not matched",
                                                "on conflict",
                                                "do nothing",
                                                "do update",
                                                "for update",
                                                "for share",
                                                "for no key update",
                                                "for key share",
                                                "skip locked",
                                                "nowait",
                                                "with ordinality",
                                                "with ties",
                                                "with recursive",
                                                "with check option",
                                                "with local check option",
                                                "with cascaded check option",
                                                "with no data",
                                                "with data",
                                                "with grant option",
                                                "with time zone",
                                                "without time zone",
                                                "at time zone",
                                                "time zone",
                                                "distinct on",
                                                "is distinct from",
                                                "is not distinct from",
                                                "is not null",
                                                "is null",
                                                "is not",
                                                "not null",
                                                "not in",
                                                "not like",
                                                "not ilike",
                                                "not exists",
                                                "not between",
                                                "default values",
                                                "fetch first",
                                                "fetch next",
                                                "rows only",
                                                "row only",
                                                "primary key",
                                                "foreign key",
                                                "on delete cascade",
                                                "on delete restrict",
                                                "on delete no action",
                                                "on delete set null",
                                                "on delete set default",
                                                "on update cascade",
                                                "on update restrict",
                                                "on update no action",
                                                "on update set null",
                                                "on update set default",
                                                "on delete",
                                                "on update",
                                                "no action",
                                                "set null",
                                                "set default",
                                                "nulls first",
                                                "nulls last",
                                                "rows between",
                                                "range between",
                                                "groups between",
                                                "unbounded preceding",
                                                "unbounded following",
                                                "current row",
                                                "double precision",
                                                "character varying",
                                                "or replace",
                                                "if exists",
                                                "if not exists"};

// DML keywords in another role, and which breaks lay one out as a clause: any break before it,
// any break before or after it, or a break that leaves it alone on its line (a merge action or
// WITH NO DATA may start a line, as long as the rest of it follows on the same line; DELETE is
// a whole merge action).
enum class RoleBreak { Before, Around, Alone };
struct RoleWord {
    std::string_view word;
    std::initializer_list<std::string_view> before;  // the previous word is one of these
    std::initializer_list<std::string_view> after;   // or the next word is
    RoleBreak breaks;
};
const RoleWord kRoleWords[] = {
    {"with", {}, {"time", "ordinality", "ties"}, RoleBreak::Around},
    {"with", {}, {"data", "no", "check", "local", "cascaded", "hold"}, RoleBreak::Alone},
    {"on", {"distinct", "conflict"}, {}, RoleBreak::Around},
    {"from", {"distinct"}, {}, RoleBreak::Around},
    {"update", {"for", "key"}, {}, RoleBreak::Before},
    {"update", {"do", "then"}, {}, RoleBreak::Alone},
    {"insert", {"then"}, {}, RoleBreak::Alone},
    {"values", {"default"}, {}, RoleBreak::Around},
};

Finding between(Fault fault, const Layout& l, std::size_t first, std::size_t last) {
    const auto& p = l.placed();
    return {fault, p[first].line, std::max(p[last].line, p[first].line)};
}

// A CTE named like a phrase's second word: with data as (…).
bool startsCte(const Layout& l, std::size_t with) {
    const std::size_t before = l.previousCode(with);
    return before == kNone || l.tokens()[before].kind == TokenKind::Open || l.isWord(before, "as");
}

struct Occurrence {
    std::size_t first;
    std::size_t last;
};

// Each phrase where it occurs, the longest one at a place, words side by side without a comment.
std::vector<Occurrence> phraseOccurrences(const Layout& l) {
    static const std::vector<std::vector<std::string>> phrases = [] {
        std::vector<std::vector<std::string>> split;
        for (const std::string_view p : kPhrases) {
            std::vector<std::string> words;
            std::size_t begin = 0;
            while (begin < p.size()) {
                std::size_t end = p.find(' ', begin);
                if (end == std::string_view::npos) end = p.size();
                words.emplace_back(p.substr(begin, end - begin));
                begin = end + 1;
            }
            split.push_back(words);
        }
        return split;
    }();
    std::vector<Occurrence> found;
    const auto& tokens = l.tokens();
    for (std::size_t i = 0; i < tokens.size(); ++i) {
        if (tokens[i].kind != TokenKind::Word) continue;
        std::size_t longest = 0;
        for (const auto& words : phrases) {
            if (words.size() < 2 || words.size() <= longest) continue;
            if (i + words.size() > tokens.size()) continue;
            bool match = true;
            for (std::size_t k = 0; match && k < words.size(); ++k) {
                match = l.isWord(i + k, words[k]) && l.statementOf(i + k) == l.statementOf(i);
            }
            if (match && words[0] == "with" && startsCte(l, i)) match = false;
            if (match) longest = words.size();
        }
        if (longest > 0) {
            found.push_back({i, i + longest - 1});
            i += longest - 1;
        }
    }
    return found;
}

bool brokenByLayout(const Layout& l, const Occurrence& o) {
    for (std::size_t k = o.first + 1; k <= o.last; ++k) {
        if (l.madeBreak(k)) return true;
    }
    return false;
}

void findSplitPhrases(const Layout& l, Findings& out) {
    for (const Occurrence& o : phraseOccurrences(l)) {
        if (brokenByLayout(l, o)) out.push_back(between(Fault::SplitPhrase, l, o.first, o.last));
    }
}

void findFragmentLines(const Layout& l, Findings& out) {
    const auto& p = l.placed();
    for (const Occurrence& o : phraseOccurrences(l)) {
        if (!brokenByLayout(l, o)) continue;
        for (int line = p[o.first].line; line <= p[o.last].line; ++line) {
            // The line's code tokens all lie inside the phrase.
            const int first = l.lines()[static_cast<std::size_t>(line)].first;
            if (first < 0) continue;
            const auto f = static_cast<std::size_t>(first);
            if (f < o.first || f > o.last) continue;
            std::size_t k = f;
            while (k + 1 < p.size() && p[k + 1].line == line) ++k;
            while (k > f && isComment(l.tokens()[k].kind)) --k;
            if (k <= o.last) out.push_back({Fault::FragmentLine, line, line});
        }
    }
}

void findLoneCommas(const Layout& l, Findings& out) {
    const auto& p = l.placed();
    const auto& tokens = l.tokens();
    for (std::size_t line = 0; line < l.lines().size(); ++line) {
        const int first = l.lines()[line].first;
        if (first < 0 || tokens[static_cast<std::size_t>(first)].kind != TokenKind::Comma) continue;
        std::size_t k = static_cast<std::size_t>(first) + 1;
        while (k < p.size() && p[k].line == static_cast<int>(line) && isComment(tokens[k].kind)) {
            ++k;
        }
        if (k == p.size() || p[k].line != static_cast<int>(line)) {
            out.push_back({Fault::LoneComma, static_cast<int>(line), static_cast<int>(line)});
        }
    }
}

void findBetweenAnd(const Layout& l, Findings& out) {
    const auto& tokens = l.tokens();
    for (std::size_t i = 0; i < tokens.size(); ++i) {
        if (!l.isWord(i, "between")) continue;
        int depth = 0;
        for (std::size_t k = i + 1; k < tokens.size() && l.statementOf(k) == l.statementOf(i);
             ++k) {
            if (tokens[k].kind == TokenKind::Open) ++depth;
            if (tokens[k].kind == TokenKind::Close && --depth < 0) break;
            if (depth == 0 && l.isWord(k, "and")) {
                if (l.madeBreak(k) || l.madeBreak(k + 1)) {
                    out.push_back(
                        between(Fault::BetweenAnd, l, i, std::min(k + 1, tokens.size() - 1)));
                }
                break;
            }
        }
    }
}

// Whether a group holds a subquery somewhere inside.
std::vector<bool> holdingBlocks(const Layout& l) {
    const auto& groups = l.groups();
    std::vector<bool> holds(groups.size(), false);
    for (const Group& g : groups) {
        if (g.kind != GroupKind::Block) continue;
        for (int p = g.parent; p >= 0 && !holds[static_cast<std::size_t>(p)];
             p = groups[static_cast<std::size_t>(p)].parent) {
            holds[static_cast<std::size_t>(p)] = true;
        }
    }
    return holds;
}

bool isListKind(GroupKind kind) {
    return kind == GroupKind::Call || kind == GroupKind::ValuesTuple || kind == GroupKind::InList ||
           kind == GroupKind::InsertColumns;
}

// Every line that starts inside the group deeper than the line of its (, a line that starts
// with a ) no shallower.
bool underOpener(const Layout& l, const Group& g) {
    const auto& p = l.placed();
    const auto& lines = l.lines();
    const int top = p[g.open].line;
    const int base = lines[static_cast<std::size_t>(top)].indent;
    for (int line = top + 1; line <= p[g.close].line; ++line) {
        const Line& ln = lines[static_cast<std::size_t>(line)];
        if (ln.first < 0) continue;
        const auto f = static_cast<std::size_t>(ln.first);
        if (f <= g.open || f > g.close || isComment(l.tokens()[f].kind)) continue;
        // A line that starts by closing a group may stand at the opener line's indentation.
        const bool closing = l.tokens()[f].kind == TokenKind::Close;
        if (closing ? ln.indent < base : ln.indent <= base) return false;
    }
    return true;
}

// ( ending its line, ) starting one, the lines between deeper: how people write a call's named
// arguments or a DDL statement's options, short or long.
bool blockStyle(const Layout& l, const Group& g) {
    const auto& p = l.placed();
    const std::size_t first = g.open + 1;
    return first < g.close && p[first].breakBefore && p[g.close].breakBefore &&
           l.lines()[static_cast<std::size_t>(p[g.close].line)].indent ==
               l.lines()[static_cast<std::size_t>(p[g.open].line)].indent &&
           underOpener(l, g);
}

// Each short call or list that a break lies in, the innermost one around the break, up to the
// nearest subquery.
void findBrokenGroups(const Layout& l, GroupKind kind, Fault fault, Findings& out) {
    const auto& groups = l.groups();
    const std::vector<bool> holds = holdingBlocks(l);
    std::set<int> broken;
    for (std::size_t i = 1; i < l.tokens().size(); ++i) {
        if (!l.madeBreak(i)) continue;
        for (int g = l.gapGroup(i); g >= 0; g = groups[static_cast<std::size_t>(g)].parent) {
            const Group& group = groups[static_cast<std::size_t>(g)];
            if (group.kind == GroupKind::Block) break;
            if (isListKind(group.kind) && !holds[static_cast<std::size_t>(g)] && !l.isLong(group)) {
                if (group.kind == kind && !(kind == GroupKind::Call && blockStyle(l, group))) {
                    broken.insert(g);
                }
                break;
            }
        }
    }
    for (const int g : broken) {
        const Group& group = groups[static_cast<std::size_t>(g)];
        out.push_back(between(fault, l, group.open, group.close));
    }
}

void findBrokenCalls(const Layout& l, Findings& out) {
    findBrokenGroups(l, GroupKind::Call, Fault::BrokenCall, out);
}
void findBrokenValuesTuples(const Layout& l, Findings& out) {
    findBrokenGroups(l, GroupKind::ValuesTuple, Fault::ValuesTuple, out);
}
void findBrokenInLists(const Layout& l, Findings& out) {
    findBrokenGroups(l, GroupKind::InList, Fault::InList, out);
}
void findBrokenInsertColumns(const Layout& l, Findings& out) {
    findBrokenGroups(l, GroupKind::InsertColumns, Fault::InsertColumns, out);
}

void findBlocksNotUnderOpener(const Layout& l, Findings& out) {
    for (const Group& g : l.groups()) {
        if (g.kind == GroupKind::Block && !underOpener(l, g)) {
            out.push_back(between(Fault::BlockIndent, l, g.open, g.close));
        }
    }
}

void findGroupsNotUnderOpener(const Layout& l, Findings& out) {
    const std::vector<bool> holds = holdingBlocks(l);
    for (std::size_t i = 0; i < l.groups().size(); ++i) {
        const Group& g = l.groups()[i];
        if (g.kind == GroupKind::Block) continue;
        // Short calls and lists that are broken at all are their own rules' to report.
        if (isListKind(g.kind) && !holds[i] && !l.isLong(g)) continue;
        if (!underOpener(l, g)) out.push_back(between(Fault::GroupIndent, l, g.open, g.close));
    }
}

std::string codeWord(const Layout& l, std::size_t token) {
    if (token == kNone || l.tokens()[token].kind != TokenKind::Word) return {};
    return lowerAscii(l.text(token));
}

// A break at the top of a CREATE TABLE's column list is expected after ( and commas and
// before ); anywhere else in a column it lays a keyword out as a clause.
bool expectedInTable(const Layout& l, const Group& table, std::size_t token) {
    const std::size_t before = token - 1;
    return before == table.open || token == table.close ||
           (l.tokens()[before].kind == TokenKind::Comma && l.enclosing(before) >= 0 &&
            l.groups()[static_cast<std::size_t>(l.enclosing(before))].open == table.open);
}

// Whether a line holds one word and no other code ("ON", "SET", "WITH" alone), or with
// orComma one word and a comma after it ("INSERT,").
bool loneWordLine(const Layout& l, int line, bool orComma = false) {
    const int first = l.lines()[static_cast<std::size_t>(line)].first;
    if (first < 0) return false;
    const auto& tokens = l.tokens();
    int words = 0;
    int others = 0;
    for (auto k = static_cast<std::size_t>(first); k < tokens.size() && l.placed()[k].line == line;
         ++k) {
        if (isComment(tokens[k].kind)) continue;
        if (orComma && tokens[k].kind == TokenKind::Comma && words == 1) {
            orComma = false;
            continue;
        }
        ++(tokens[k].kind == TokenKind::Word ? words : others);
    }
    return words == 1 && others == 0;
}

// A lone word whose statement goes on on a deeper line: the shape a keyword row gives a clause.
// Options one a line at one indentation (IMMUTABLE, then RETURNS NULL …) have another.
bool clauseShapedLine(const Layout& l, int line) {
    if (!loneWordLine(l, line)) return false;
    const auto word = static_cast<std::size_t>(l.lines()[static_cast<std::size_t>(line)].first);
    const std::size_t next = l.nextCode(word);
    if (next == kNone) return false;
    const int nextLine = l.placed()[next].line;
    return nextLine > line && l.lines()[static_cast<std::size_t>(nextLine)].indent >
                                  l.lines()[static_cast<std::size_t>(line)].indent;
}

// A break in DDL outside its query part is a fault when a line beside it is shaped as a clause,
// or when it lays out a list of names one a line (VACUUM a,⏎    b). AS alone right before the
// query of CREATE VIEW … AS is how many people write it.
bool laysOutDdlClause(const Layout& l, const Statement& statement, std::size_t token) {
    const auto& p = l.placed();
    if (l.tokens()[token - 1].kind == TokenKind::Comma &&
        (loneWordLine(l, p[token - 1].line, true) || loneWordLine(l, p[token].line, true))) {
        return true;
    }
    for (const std::size_t k : {token - 1, token}) {
        if (!clauseShapedLine(l, p[k].line)) continue;
        const auto word =
            static_cast<std::size_t>(l.lines()[static_cast<std::size_t>(p[k].line)].first);
        if (l.isWord(word, "as") && l.nextCode(word) == statement.queryFrom) continue;
        return true;
    }
    return false;
}

void findRoleClauses(const Layout& l, Findings& out) {
    const auto& tokens = l.tokens();
    for (std::size_t i = 0; i < tokens.size(); ++i) {
        const bool before = l.madeBreak(i);
        const bool after = l.madeBreak(i + 1);
        if (!before && !after) continue;
        const int s = l.statementOf(i);
        if (s < 0) continue;
        const Statement& statement = l.statements()[static_cast<std::size_t>(s)];
        if (statement.utility && before && !l.inQuery(i)) {
            const int g = l.gapGroup(i);
            bool fault = false;
            if (g < 0) {
                fault = laysOutDdlClause(l, statement, i);
            } else if (l.groups()[static_cast<std::size_t>(g)].kind == GroupKind::TableDef) {
                fault = !expectedInTable(l, l.groups()[static_cast<std::size_t>(g)], i) &&
                        laysOutDdlClause(l, statement, i);
            }
            if (fault) {
                out.push_back(between(Fault::RoleClause, l, i - 1, i));
                continue;
            }
        }
        if (tokens[i].kind != TokenKind::Word || !l.inQuery(i)) continue;
        const std::string word = lowerAscii(l.text(i));
        for (const RoleWord& role : kRoleWords) {
            if (word != role.word) continue;
            const std::string previous = codeWord(l, l.previousCode(i));
            const std::string next = codeWord(l, l.nextCode(i));
            const bool inRole = (role.before.size() > 0 && among(previous, role.before)) ||
                                (role.after.size() > 0 && among(next, role.after));
            if (!inRole || (word == "with" && startsCte(l, i))) continue;
            bool fault = before;
            if (role.breaks == RoleBreak::Around) fault = before || after;
            if (role.breaks == RoleBreak::Alone) fault = loneWordLine(l, l.placed()[i].line);
            if (fault) {
                out.push_back(between(Fault::RoleClause, l, i, std::min(i + 1, tokens.size() - 1)));
                break;
            }
        }
    }
}

void findTableColumns(const Layout& l, Findings& out) {
    const auto& p = l.placed();
    const auto& tokens = l.tokens();
    for (std::size_t gi = 0; gi < l.groups().size(); ++gi) {
        const Group& g = l.groups()[gi];
        if (g.kind != GroupKind::TableDef) continue;
        std::vector<std::size_t> itemStarts;  // the first code token of each item
        bool next = true;
        for (std::size_t k = g.open + 1; k < g.close; ++k) {
            if (isComment(tokens[k].kind)) continue;
            if (next) itemStarts.push_back(k);
            next = tokens[k].kind == TokenKind::Comma && l.enclosing(k) == static_cast<int>(gi);
        }
        if (itemStarts.size() < 2) continue;
        // Each item on a line after the one before it, all at one indentation; a leading comma
        // may start that line.
        bool apart = p[g.close].breakBefore;
        const auto indentOf = [&](std::size_t token) {
            return l.lines()[static_cast<std::size_t>(p[token].line)].indent;
        };
        for (const std::size_t start : itemStarts) {
            std::size_t before = l.previousCode(start);
            if (tokens[before].kind == TokenKind::Comma) before = l.previousCode(before);
            apart = apart && p[start].line > p[before].line &&
                    indentOf(start) == indentOf(itemStarts.front());
        }
        if (!apart) out.push_back(between(Fault::TableColumns, l, g.open, g.close));
    }
}

void findMovedComments(const Layout& l, Findings& out) {
    const auto& tokens = l.tokens();
    const auto& p = l.placed();
    for (std::size_t i = 1; i < tokens.size(); ++i) {
        if (!isComment(tokens[i].kind)) continue;
        const bool trailedCode = !p[i].inputBreakBefore;
        const bool endedLine = i + 1 == tokens.size() || p[i + 1].inputBreakBefore;
        bool moved = false;
        if (tokens[i].kind == TokenKind::LineComment) {
            moved = trailedCode != !p[i].breakBefore;
        } else {
            moved = trailedCode && endedLine && p[i].breakBefore;
        }
        if (moved) out.push_back(between(Fault::CommentMoved, l, i - 1, i));
    }
}

// The lines one token covers in the output.
Finding tokenLines(Fault fault, const Layout& l, std::size_t token) {
    const Placed& p = l.placed()[token];
    auto last = static_cast<std::size_t>(p.line);
    while (last + 1 < l.lines().size() && l.lines()[last + 1].begin < p.end) ++last;
    return {fault, p.line, static_cast<int>(last)};
}

void findSplitTokens(const Layout& l, Findings& out) {
    for (std::size_t i = 0; i < l.placed().size(); ++i) {
        if (l.placed()[i].split) out.push_back(tokenLines(Fault::KeywordInIdentifier, l, i));
    }
}

void findLongLines(const Layout& l, Findings& out) {
    const auto& lines = l.lines();
    const auto& tokens = l.tokens();
    const auto& p = l.placed();
    std::size_t t = 0;  // the first token that does not end before the line
    for (std::size_t li = 0; li < lines.size(); ++li) {
        const Line& line = lines[li];
        while (t < p.size() && p[t].end <= line.begin) ++t;
        if (line.width <= 120) continue;
        int longestVerbatim = 0;
        int pieces = 0;
        for (std::size_t k = t; k < p.size() && p[k].begin < line.end; ++k) {
            ++pieces;
            if (!isVerbatim(tokens[k].kind)) continue;
            const std::size_t from = std::max(p[k].begin, line.begin);
            const std::size_t to = std::min(p[k].end, line.end);
            longestVerbatim =
                std::max(longestVerbatim, displayWidth(l.output().substr(from, to - from)));
        }
        if (pieces <= 1 || line.width - longestVerbatim <= 120) continue;
        out.push_back({Fault::LongLine, static_cast<int>(li), static_cast<int>(li)});
    }
}

void findChangedLiterals(const Layout& l, Findings& out) {
    for (std::size_t i = 0; i < l.placed().size(); ++i) {
        if (l.placed()[i].changed) out.push_back(tokenLines(Fault::LiteralChanged, l, i));
    }
}

}  // namespace

const std::vector<FaultRule>& faultRules() {
    return kRules;
}

const char* faultName(Fault fault) {
    for (const FaultRule& r : kRules) {
        if (r.fault == fault) return r.name;
    }
    return "?";
}

Verdict checkLayout(std::string_view input, std::string_view output) {
    const Layout layout(input, output);
    Verdict verdict;
    verdict.contentChange = layout.contentChange();
    if (!verdict.contentChange.empty()) return verdict;
    for (const FaultRule& r : kRules) r.find(layout, verdict.findings);
    return verdict;
}

}  // namespace pellomar::layout_check
