#pragma once

#include <string>

#include "typKeyword.h"

namespace pellomar {

// The direct layout pass: it lowers the whole text before every search and rebuilds the whole
// text at every splice, so its cost grows with the square of the text. Kept as the yardstick the
// fast pass in clsMorvant is checked and timed against; the program does not link it.
//
// Behaves like clsMorvant::ArrangeText: true and the laid-out text (CR LF line breaks) on
// success; on failure the error box has been shown and the result is false.
bool referenceArrangeText(const std::u16string& vstrQry, const KeywordTable& vtblKeywords,
                          std::u16string& rstrResult);

}  // namespace pellomar
