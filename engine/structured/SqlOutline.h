#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>
#include <vector>

namespace pellomar {

// What the structured pass must know about a parenthesis or a statement before it reaches its
// end: whether a ( is ever closed, whether it opens a subquery, how wide its group would be on
// one line, and what kind of statement holds it. One walk over the tokens finds it all, so that
// the layout itself never looks ahead further than a few words.
struct GroupOutline {
    // The width of the group laid out on one line, as far as it would run on its opener's line:
    // to its closer, or to the first subquery inside, whose ( ends the line. Measured from the
    // tokens alone (one space where SQL is usually written with one), so that a second layout,
    // which has changed only the spaces, measures the same.
    std::uint32_t width = 0;
    bool closed = false;      // closed before its statement ends; an unclosed ( opens nothing
    bool block = false;       // ( whose first token inside starts a query (select, with, ...)
    bool columnList = false;  // the column list of CREATE TABLE, always one column a line
};

struct StatementOutline {
    // A query or a statement that changes rows: its rows break at its top level. Other statements
    // (DDL, GRANT, SET, COPY, ...) hold keywords in other roles and break nowhere, but for the
    // query part some of them hold.
    bool breaks = true;
    // Where the query part of such a statement starts (CREATE VIEW ... AS, PREPARE ... AS, ...),
    // or npos.
    std::size_t queryFrom = static_cast<std::size_t>(-1);
    // A statement that breaks nowhere, is wider than a line and written on one: its top-level
    // commas break. One the author has broken into lines is laid out as written.
    bool wide = false;
};

struct SqlOutline {
    std::vector<GroupOutline> groups;  // one per ( or [, in the text's order
    std::vector<StatementOutline> statements;
    std::size_t tokens = 0;      // tokens other than spaces and line breaks
    std::size_t lineBreaks = 0;  // outside literals and comments
};

// The width on one line above which a group is laid out one item a line, and above which a
// statement that breaks nowhere breaks at its top-level commas.
inline constexpr std::uint32_t kLongGroup = 100;
inline constexpr std::uint32_t kWideStatement = 120;

SqlOutline outlineSql(std::u16string_view text);

}  // namespace pellomar
