#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace pellomar {

// One row of the keyword file: where to break, how deep to indent, and whether the keyword
// is a word (matched only between delimiters, always starting its own line) or a symbol.
struct typKeyword {
    std::u16string strWord;
    std::int16_t intIndent = 0;
    std::int16_t intLineHead = 0;  // exactly 1: a word; anything else: a symbol

    friend bool operator==(const typKeyword&, const typKeyword&) = default;
};

// Row order is pass order: the arranging pass scans the whole text once per row, first first.
using KeywordTable = std::vector<typKeyword>;

}  // namespace pellomar
