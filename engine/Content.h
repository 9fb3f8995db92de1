#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace pellomar {

// One flag per code unit: 1 where the character is the inside of a string literal, a quoted
// identifier or a comment. Such characters are never a keyword and never re-laid out, because
// breaking them changes what the query means.
using ContentMask = std::vector<std::uint8_t>;

// Decides, once, which characters of a text (line breaks already single CRs) are content, as
// the lexer both layouts share cuts it (SqlLexer.h): ' and " open a literal closed by the next
// single quote of the same kind (a doubled one is content); a lone E before ' opens one in which a
// backslash also escapes the next character; $$ or $tag$ opens one closed by the same $tag$;
// -- opens a comment closed by the next CR or LF; /* one closed by the next */ (no nesting, and
// /*/ does not close); after a COPY ... FROM stdin statement's ;, the data up to and including
// the line that is exactly \. is content. Quotes are not content, nor are the outer characters
// of --, /*, */ and $tag$; their inner ones are, so that no keyword splits them. An unclosed
// literal or comment runs to the end.
ContentMask markContent(std::u16string_view text);

// Rows the pass skips. A keyword that is empty, or nothing but spaces and CRs, would match the
// indentation its own splice inserts (or every position) and keep the pass from ending. A
// keyword holding a quote can only match a literal's delimiter or its inside, and breaking
// there changes the literal (an empty literal has no inside to protect it).
bool rowIsSkipped(std::u16string_view keyword);

// A text together with its content flags; splices move both together.
struct MarkedText {
    std::u16string text;
    ContentMask content;
};

}  // namespace pellomar
