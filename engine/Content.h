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

// Decides, once, which characters of a text (line breaks already single CRs) are content:
// ' and " open a literal closed by the next single quote of the same kind (a doubled one is
// content); -- opens a comment closed by the next CR or LF; /* one closed by the next */ (no
// nesting, and /*/ does not close). Quotes are not content, nor are the outer characters of
// --, /* and */; their inner ones are, so that no keyword splits them. An unclosed literal or
// comment runs to the end.
ContentMask markContent(std::u16string_view text);

// A text together with its content flags; splices move both together.
struct MarkedText {
    std::u16string text;
    ContentMask content;
};

}  // namespace pellomar
