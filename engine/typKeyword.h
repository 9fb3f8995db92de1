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
    // Exactly 1: a word. Exactly 2, in structured layout only: a leading word, which starts its
    // line like a word but lets the text after it go on on the same line. Anything else: a symbol.
    std::int16_t intLineHead = 0;

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

// Which pass lays the text out, as the keyword file's header line chooses: the classic one scans
// the whole text once per row, in row order; the structured one reads the text once, left to
// right, and breaks only where the statement's structure allows (StructuredLayout.cpp).
enum class LayoutMode : std::uint8_t { Classic, Structured };

// A list of rows like any other, in the file's order, that remembers where they came from and
// which pass they are meant for.
class KeywordTable : public std::vector<typKeyword> {
  public:
    using std::vector<typKeyword>::vector;
    KeywordSource source;
    LayoutMode layout = LayoutMode::Classic;
};

}  // namespace pellomar
