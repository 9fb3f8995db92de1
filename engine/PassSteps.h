#pragma once

#include <string_view>

// Steps that the layout pass (clsMorvant) and the direct pass it is checked against
// (reference/) must take alike; each lives here once so that the two cannot drift apart.
namespace pellomar {

// The laid-out text without the spaces at its very end, also where they lie inside a comment or
// literal that runs to the end. A keyword near the end leaves its tail's indentation there with
// nothing behind it, and a second layout would then differ from the first by those spaces.
// Spaces at the ends of other lines stay: a line of indentation alone that became empty would be
// swallowed by the next layout, which again would not leave the text as it was.
std::u16string_view withoutTrailingSpaces(std::u16string_view text);

}  // namespace pellomar
