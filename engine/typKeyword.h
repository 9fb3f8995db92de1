#pragma once

#include <cstdint>
#include <filesystem>
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

// Where a table's rows were read from. A row's level is checked only when the pass finds its
// keyword, long after the load; its message still names the file, the line and the row as the
// user wrote them, as the load's own messages do.
struct KeywordSource {
    std::filesystem::path file;  // empty for a table that no file gave
    // The file had no CR LF but a lone CR: all of it was line 1, the header, and gave no rows.
    bool loneCrLineEnds = false;
    // One per row, in row order: the line number in the file and the line as written (trimmed).
    std::vector<std::int32_t> lines;
    std::vector<std::u16string> texts;
};

// Row order is pass order: the arranging pass scans the whole text once per row, first first.
// It is a list of rows like any other, and remembers where they came from.
class KeywordTable : public std::vector<typKeyword> {
  public:
    using std::vector<typKeyword>::vector;
    KeywordSource source;
};

}  // namespace pellomar
