#pragma once

// What the layout checker knows of one input and its layout: the input's tokens, where each one
// landed in the output, the output's lines, the parenthesised groups and the statements. The
// fault rules (LayoutFaults.h) read only this.

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

#include "SqlTokens.h"

namespace pellomar::layout_check {

// Where a token of the input stands in the output.
struct Placed {
    std::size_t begin = 0;  // bytes of the output
    std::size_t end = 0;
    int line = 0;                   // output line of its first byte, from 0
    int column = 0;                 // display column of its first byte
    bool breakBefore = false;       // a line break in the output between it and the token before
    bool inputBreakBefore = false;  // ... and in the input
    bool inputSpaceBefore = false;  // any whitespace in the input between it and the token before
    bool split = false;             // whitespace inside it in the output
    bool changed = false;           // a literal or comment whose whitespace changed
};

struct Line {
    std::size_t begin = 0;  // bytes of the output, without the line break
    std::size_t end = 0;
    int indent = 0;  // display columns of leading spaces and TABs (a TAB counts four)
    int width = 0;   // display columns up to the last character that is not a space
    int first = -1;  // the token that starts the line, or -1 (blank, or inside a literal)
};

enum class GroupKind {
    Block,          // a subquery or CTE body: its first word is select, with or values, or a
                    // CTE's insert, update, delete or merge
    TableDef,       // the columns of CREATE TABLE name (…)
    InsertColumns,  // INSERT INTO name (…)
    ValuesTuple,    // VALUES (…), (…)
    InList,         // IN (…)
    Call,           // a name before it: calls, over (…), type arguments, key lists, DDL options
    Grouping,       // anything else: conditions and expressions in parentheses
};

struct Group {
    std::size_t open = 0;  // token indexes of ( and )
    std::size_t close = 0;
    GroupKind kind = GroupKind::Grouping;
    int parent = -1;  // the innermost group around it
    int width = 0;    // display width of ( … ) laid flat, one space where the input had any
};

inline constexpr std::size_t kNone = static_cast<std::size_t>(-1);

struct Statement {
    std::size_t first = 0;  // token indexes, the ; excluded
    std::size_t last = 0;
    // Statements whose first word names DDL or a utility command: their words are no clauses,
    // except in the query part that some of them hold (CREATE VIEW … AS …, EXPLAIN …).
    bool utility = false;
    std::size_t queryFrom = kNone;     // first token of that query part
    std::size_t tableDefOpen = kNone;  // the ( of CREATE TABLE name (…)
};

class Layout {
  public:
    Layout(std::string_view input, std::string_view output);

    // Empty when only whitespace changed; else what else changed. The shape below is then
    // incomplete and no fault is looked for.
    const std::string& contentChange() const { return contentChange_; }

    std::string_view input() const { return input_; }
    std::string_view output() const { return output_; }
    const std::vector<Token>& tokens() const { return tokens_; }
    const std::vector<Placed>& placed() const { return placed_; }
    const std::vector<Line>& lines() const { return lines_; }
    const std::vector<Group>& groups() const { return groups_; }
    const std::vector<Statement>& statements() const { return statements_; }

    std::string_view text(std::size_t token) const;
    // Whether a token is the word given in lower case, in any letter case.
    bool isWord(std::size_t token, std::string_view lower) const;
    // The tokens around one, comments skipped, within its statement; kNone at its edges.
    std::size_t previousCode(std::size_t token) const;
    std::size_t nextCode(std::size_t token) const;
    // The innermost group around a token; a group's own ( and ) count as outside it.
    int enclosing(std::size_t token) const { return enclosing_[token]; }
    // The innermost group that holds the gap before a token.
    int gapGroup(std::size_t token) const;
    // The group that a ( opens or a ) closes, else -1.
    int groupOpenedBy(std::size_t token) const { return groupOfOpen_[token]; }
    int groupClosedBy(std::size_t token) const { return groupOfClose_[token]; }
    int statementOf(std::size_t token) const { return statementOf_[token]; }
    // A line break the layout made before a token, where the input had none, between two
    // tokens of one statement neither of which is a comment.
    bool madeBreak(std::size_t token) const;
    // Inside a query: any token of a statement that is no utility, and in a utility statement the
    // query part and every subquery.
    bool inQuery(std::size_t token) const;
    // Whether the line would be over 100 wide with the group laid flat on it: the group's ( at
    // its column in the output, and what follows its ) on the )'s line.
    bool isLong(const Group& group) const;

  private:
    void align();
    void findLines();
    void findStatements();
    void findGroups();
    void findQueryPart(Statement& statement) const;
    void findTableDef(Statement& statement) const;
    bool isBlock(const Group& group) const;
    GroupKind kindOf(const Group& group) const;
    bool isInsertTarget(std::size_t name) const;
    int flatWidth(std::size_t first, std::size_t last) const;

    std::string_view input_;
    std::string_view output_;
    std::string contentChange_;
    std::vector<Token> tokens_;
    std::vector<Placed> placed_;
    std::vector<Line> lines_;
    std::vector<Group> groups_;
    std::vector<int> groupOfOpen_;  // per token: the group it opens, else -1
    std::vector<int> groupOfClose_;
    std::vector<int> enclosing_;
    std::vector<Statement> statements_;
    std::vector<int> statementOf_;
};

// Display columns of some text: one per character, four per TAB.
int displayWidth(std::string_view text);

}  // namespace pellomar::layout_check
