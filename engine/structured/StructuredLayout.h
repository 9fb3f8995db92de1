#pragma once

#include <string>
#include <string_view>

#include "typKeyword.h"

namespace pellomar {

// The structured pass: one walk over the text, left to right, that breaks where the rows say but
// only where the statement's structure allows it. Rows break at clause level (the top of a
// statement or of a subquery); subqueries are blocks indented under their opener; calls, lists
// and other parenthesised groups stay whole unless too long for a line; CASE is a group of its
// own; DDL and other statements that are no query are left on their lines, but for the query
// they may hold. The author's own line breaks stay where no row breaks.
//
// text: line breaks single CRs, TABs as written. Returns the laid-out text with single CRs.
// Failures (an indentation that cannot be built, a text past 32-bit positions) are thrown as
// MorvantError.
std::u16string layOutStructured(std::u16string_view text, const KeywordTable& rows);

}  // namespace pellomar
